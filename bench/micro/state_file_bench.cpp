// The state file: built and published on every state change and after the
// commands refresh, leave, ptt_on and ptt_off.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "bridge.h"
#include "files/state_file.h"
#include "temp_directory.h"

namespace {

// A session in a channel, as the game usually sees it.
void SetTypicalState() {
    gBridgeState = BridgeState();
    gBridgeConfig = BridgeConfig();
    gBridgeState.status = kStatusAuthorized;
    gBridgeState.myUserId = 12;
    gBridgeState.myChannelId = 3;
    gBridgeState.myChannelName = "Equipa Azul";
    gBridgeState.pushToTalk = true;
}

void BM_BuildStateText(benchmark::State& state) {
    SetTypicalState();
    for (auto _ : state) benchmark::DoNotOptimize(BuildStateText());
}

// Writes beside the old file and moves it over: a real file system round
// trip in a fresh directory, with data/ as the bridge has it.
void BM_WriteStateFile(benchmark::State& state) {
    SetTypicalState();
    TempDirectory directory;
    std::filesystem::create_directory(directory.File("data"));
    CurrentDirectory inside(directory.path);
    for (auto _ : state) WriteStateFile();
}

BENCHMARK(BM_BuildStateText);
BENCHMARK(BM_WriteStateFile)->Unit(benchmark::kMicrosecond);

}  // namespace
