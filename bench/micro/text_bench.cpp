// The text helpers on the bridge's hot paths: UTF-8 <-> UTF-16 at every
// crossing with the voice library (names in every directory rewrite), and
// the command text helpers run once per command.
#include <benchmark/benchmark.h>

#include <string>

#include "commands/command_text.h"
#include "session/library_text.h"

namespace {

// A nickname as bots are named in the burst benchmark, a Portuguese channel
// name, and a private message of about 500 UTF-16 units mixing accents and
// characters outside the BMP (surrogate pairs).
const char* const kNickname = "bot1234";
const char* const kChannelName = "Equipa Vermelha \xE2\x80\x94 A\xC3\xA7\xC3\xA3o";

std::string LongMessage() {
    std::string message;
    while (Utf8ToWide(message).size() < 500) message += "Ol\xC3\xA1, equipa! \xF0\x9F\x8E\xAE ";
    return message + "fim";
}

void BM_Utf8ToWide(benchmark::State& state, const std::string& text) {
    for (auto _ : state) benchmark::DoNotOptimize(Utf8ToWide(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_WideToUtf8(benchmark::State& state, const std::string& utf8) {
    const WideString text = Utf8ToWide(utf8);
    for (auto _ : state) benchmark::DoNotOptimize(WideToUtf8(text));
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * text.size() * sizeof(WideChar)));
}

void BM_TrimCommandText(benchmark::State& state, const std::string& text) {
    for (auto _ : state) benchmark::DoNotOptimize(TrimCommandText(text));
}

BENCHMARK_CAPTURE(BM_Utf8ToWide, nickname, std::string(kNickname));
BENCHMARK_CAPTURE(BM_Utf8ToWide, channel_pt, std::string(kChannelName));
BENCHMARK_CAPTURE(BM_Utf8ToWide, message_500, LongMessage());
BENCHMARK_CAPTURE(BM_WideToUtf8, nickname, std::string(kNickname));
BENCHMARK_CAPTURE(BM_WideToUtf8, channel_pt, std::string(kChannelName));
BENCHMARK_CAPTURE(BM_WideToUtf8, message_500, LongMessage());
// A command as a game may leave it: padded, with a CRLF.
BENCHMARK_CAPTURE(BM_TrimCommandText, joinpath, std::string("  joinpath Equipa Azul \t\r\n"));

}  // namespace
