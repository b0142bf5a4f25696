// The game kits as a game loop meets them: what one update() costs, idle
// and while the bridge publishes a burst, and how soon a ptt posted through
// the kit shows. Measured inside each kit's test agent
// (tests/gamekit/AGENT.md), so no pipe or process start is counted.
#pragma once

#include <ostream>
#include <string>
#include <vector>

struct KitResult {
    std::string kit;    // "C (native)", "C (Wine)", "Python", "C#"
    std::string error;  // why nothing was measured; empty when it was
    long idleMedianUs = 0, idleP99Us = 0, idleMaxUs = 0;
    int burstUsers = 0;
    long burstFrames = 0, burstMaxUs = 0;
    long pttP50Us = 0, pttP99Us = 0, pttMaxUs = 0;
};

struct KitPlan {
    int frames;      // idle updates measured, after as many again to warm up
    int burstUsers;  // published while updates run at 60 a second
    int pttCommands;
};

// Every kit whose agent is built; an agent that is missing gives a row
// saying so.
std::vector<KitResult> MeasureKits(const KitPlan& plan);

void PrintKitTable(std::ostream& out, const std::vector<KitResult>& kits);
