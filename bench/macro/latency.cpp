// Command latency: write a command as a game does, then poll the state
// file every millisecond until it shows the command's effect.
#include "latency.h"

#include <chrono>
#include <thread>

#include "bench_session.h"
#include "game_files.h"

namespace {

const auto kPoll = std::chrono::milliseconds(1);
const auto kEffectTimeout = std::chrono::seconds(10);

bool Shows(const std::string& dataDir, const CommandEffect& effect) {
    return ParseStateText(ReadDataFile(dataDir, kStateFileName))[effect.stateKey] == effect.value;
}

}  // namespace

std::vector<CommandEffect> PushToTalkCommands() {
    return {{kCommandPushToTalkOn, kStateKeyPushToTalk, "1"},
            {kCommandPushToTalkOff, kStateKeyPushToTalk, "0"}};
}

LatencyResult MeasureCommandLatency(const std::string& dataDir,
                                    const std::vector<CommandEffect>& commands, int count,
                                    std::mt19937& random) {
    LatencyResult result;
    for (int i = 0; i < count; ++i) {
        const CommandEffect& effect = commands[static_cast<size_t>(i) % commands.size()];
        if (!WaitFor([&] { return CommandFileFree(dataDir); }, kEffectTimeout)) {
            ++result.timeouts;
            continue;
        }
        PauseAtRandomPhase(random);
        const auto written = std::chrono::steady_clock::now();
        WriteCommand(dataDir, effect.command);
        bool seen = false;
        for (;;) {
            if (Shows(dataDir, effect)) {
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
