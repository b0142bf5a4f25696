// bridge_micro_bench: Google Benchmark's own runner. A quick run picks the
// small cases with --benchmark_filter (see scripts/bench).
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
