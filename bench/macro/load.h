// A steady load from the server, to measure the bridge while it is kept
// busy: a stream of private messages, or of users moving between channels.
#pragma once

#include <functional>

#include "bench_session.h"

enum class SteadyLoad {
    Messages,         // 25 private messages a second
    DirectoryEvents,  // 40 directory events a second (20 channel moves)
};

// Sets the load up on the server, runs `measure` while a thread of its own
// keeps it going, and stops it. False, without running `measure`, when the
// control port does not answer. `firstId` and the ID after it must be
// unused as user and channel IDs.
bool RunUnderLoad(BenchSession& session, SteadyLoad load, int firstId,
                  const std::function<void()>& measure);
