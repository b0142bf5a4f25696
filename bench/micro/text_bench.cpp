// The text helpers on the bridge's hot paths: UTF-8 <-> UTF-16 at every
// crossing with the voice library (names in every directory rewrite), and
// the command text helpers run once per command.
#include <benchmark/benchmark.h>

#include <string>

#include "files/text.h"
#include "micro_benchmarks.h"

namespace {

struct Sample {
    const char* name;
    std::string utf8;
};

// A nickname as bots are named in the burst benchmark, a Portuguese channel
// name, and a private message of 511 UTF-16 units mixing accents and
// characters outside the BMP (surrogate pairs).
std::vector<Sample> Samples() {
    std::string message;
    while (Utf8ToWide(message).size() < 500) message += "Ol\xC3\xA1, equipa! \xF0\x9F\x8E\xAE ";
    message += "fim";
    return {{"nickname", "bot1234"},
            {"channel_pt", "Equipa Vermelha \xE2\x80\x94 A\xC3\xA7\xC3\xA3o"},
            {"message_511", message}};
}

void Utf8ToWideBench(benchmark::State& state, const std::string& text) {
    for (auto _ : state) benchmark::DoNotOptimize(Utf8ToWide(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void WideToUtf8Bench(benchmark::State& state, const WideString& text) {
    for (auto _ : state) benchmark::DoNotOptimize(WideToUtf8(text));
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * text.size() * sizeof(WideChar)));
}

void TrimBench(benchmark::State& state, const std::string& text) {
    for (auto _ : state) benchmark::DoNotOptimize(TrimCommandText(text));
}

void SplitBench(benchmark::State& state, const std::string& text) {
    for (auto _ : state) benchmark::DoNotOptimize(SplitOnBar(text));
}

}  // namespace

void RegisterTextBenchmarks() {
    for (const Sample& sample : Samples()) {
        benchmark::RegisterBenchmark((std::string("Utf8ToWide/") + sample.name).c_str(),
                                     Utf8ToWideBench, sample.utf8);
        benchmark::RegisterBenchmark((std::string("WideToUtf8/") + sample.name).c_str(),
                                     WideToUtf8Bench, Utf8ToWide(sample.utf8));
    }
    // A command as a game may leave it: padded, with a CRLF.
    benchmark::RegisterBenchmark("TrimCommandText/joinpath", TrimBench,
                                 std::string("  joinpath Equipa Azul \t\r\n"));
    benchmark::RegisterBenchmark(
        "SplitOnBar/pm", SplitBench,
        std::string("pm 14|Ol\xC3\xA1 | tudo bem? | at\xC3\xA9 j\xC3\xA1"));
}
