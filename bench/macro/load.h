// Command latency while the server keeps the bridge busy: a steady stream
// of private messages, or of users moving between channels.
#pragma once

#include <random>

#include "bench_session.h"
#include "latency.h"

enum class SteadyLoad {
    Messages,         // 25 private messages a second
    DirectoryEvents,  // 40 directory events a second (20 channel moves)
};

// Sets the load up on the server, runs it through `count` commands and
// stops it. `firstId` must be unused as a user and a channel ID.
LatencyResult MeasureLatencyUnderLoad(BenchSession& session, SteadyLoad load, int count,
                                      int firstId, std::mt19937& random);
