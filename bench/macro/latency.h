// Command latency as the game sees it: from writing data/cmd.txt to the
// command's effect in data/state.txt.
#pragma once

#include <random>
#include <string>
#include <vector>

struct LatencyResult {
    std::vector<double> samplesMs;
    int timeouts = 0;  // commands whose effect never showed
};

// A command and the state.txt entry that shows it has run.
struct CommandEffect {
    std::string command;
    std::string stateKey;
    std::string value;
};

// ptt_on and ptt_off, to be sent alternating.
std::vector<CommandEffect> PushToTalkCommands();

// Sends `count` commands, going round `commands` so that each changes the
// state, each after a random pause so that commands land at every point
// of the bridge's loop.
LatencyResult MeasureCommandLatency(const std::string& dataDir,
                                    const std::vector<CommandEffect>& commands, int count,
                                    std::mt19937& random);
