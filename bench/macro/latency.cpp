// Command latency: write ptt_on or ptt_off as a game does, then poll the
// state file every millisecond until its ptt entry shows the change.
#include "latency.h"

#include <chrono>
#include <thread>

#include "bench_session.h"
#include "game_files.h"

namespace {

const auto kPoll = std::chrono::milliseconds(1);
const auto kEffectTimeout = std::chrono::seconds(10);
// One loop turn of the bridge is 100 ms of waiting for events plus 80 ms
// of sleep; a pause drawn from a whole turn puts the writes at every phase
// of it, as a game's writes fall. Without it every write would follow
// right after the previous command ran, always the slowest phase.
const int kLoopTurnMs = 180;

std::string PttValue(const std::string& dataDir) {
    return ParseStateText(ReadDataFile(dataDir, "state.txt"))["ptt"];
}

}  // namespace

LatencyResult MeasureCommandLatency(const std::string& dataDir, int count, std::mt19937& random) {
    LatencyResult result;
    std::uniform_int_distribution<int> pauseMs(0, kLoopTurnMs - 1);
    for (int i = 0; i < count; ++i) {
        const bool on = i % 2 == 0;
        const std::string expected = on ? "1" : "0";
        if (!WaitFor([&] { return CommandFileFree(dataDir); }, kEffectTimeout)) {
            ++result.timeouts;
            continue;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(random)));
        const auto written = std::chrono::steady_clock::now();
        WriteCommand(dataDir, on ? "ptt_on" : "ptt_off");
        bool seen = false;
        for (;;) {
            if (PttValue(dataDir) == expected) {
                seen = true;
                break;
            }
            if (std::chrono::steady_clock::now() - written > kEffectTimeout) break;
            std::this_thread::sleep_for(kPoll);
        }
        if (seen)
            result.samplesMs.push_back(
                MillisecondsBetween(written, std::chrono::steady_clock::now()));
        else
            ++result.timeouts;
    }
    return result;
}
