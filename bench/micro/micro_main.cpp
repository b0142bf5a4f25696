// bridge_micro_bench: Google Benchmark's runner with one flag of our own,
// --short, which shrinks the directory bursts for a quick smoke run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "micro_benchmarks.h"

int main(int argc, char** argv) {
    bool shortRun = false;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--short") == 0)
            shortRun = true;
        else
            args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    RegisterTextBenchmarks();
    RegisterStateFileBenchmarks();
    RegisterDirectoryPublishBenchmarks(shortRun);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
