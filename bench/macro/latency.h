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

// Sends `count` commands, ptt_on and ptt_off alternating, each after a
// random pause so that commands land at every point of the bridge's loop.
LatencyResult MeasureCommandLatency(const std::string& dataDir, int count, std::mt19937& random);
