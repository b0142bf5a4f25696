// Latency of joinid, a command with an argument: the bridge asks the server
// to move it, and state.txt shows the new channel once the server has.
#pragma once

#include <random>

#include "bench_session.h"
#include "latency.h"

// Adds two channels on the server and sends `count` joinid commands
// alternating between them. `firstId` and the ID after it must be unused
// as channel IDs.
LatencyResult MeasureJoinLatency(BenchSession& session, int count, int firstId,
                                 std::mt19937& random);
