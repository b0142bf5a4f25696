// The main loop. Everything runs here, on the process's one thread: the
// library is only polled and never calls in.
#include "core/main_loop.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "bridge.h"
#include "core/command_poll.h"
#include "core/data_directory.h"
#include "core/event_dispatch.h"
#include "files/pending_writes.h"
#include "session/directories.h"
#include "session/voice_library.h"

namespace {

using Clock = std::chrono::steady_clock;

const int32_t kEventWaitMs = 100;
// However busy the server, the command file is read at least this often
// plus one sleep: a steady stream of events never starves the game.
const auto kDrainBudget = std::chrono::milliseconds(kEventWaitMs);
// A burst is over once this passes without another event: its files are
// published then, not at the end of the budget.
const long long kBurstGapMs = 10;
const auto kLoopSleep = std::chrono::milliseconds(80);

}  // namespace

void DrainEvents() {
    const Clock::time_point deadline = Clock::now() + kDrainBudget;
    int32_t waitMs = kEventWaitMs;
    VoiceEvent event;
    while (NextVoiceEvent(waitMs, event)) {
        HandleClientEvent(event);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        // Events not taken now wait in the library, in order, for the next turn.
        if (left <= 0) break;
        waitMs = static_cast<int32_t>(std::min<long long>(left, kBurstGapMs));
    }
    // A burst costs one publish per file, whatever its length.
    PublishChangedDirectories();
}

void RunMainLoop() {
    for (;;) {
        DrainEvents();
        PollCommandFile();
        RestoreDataDirectoryIfGone();
        // What could not be written earlier (the game held a file, the
        // disk was full) is tried again every turn until it lands.
        RetryPendingWrites();
        std::this_thread::sleep_for(kLoopSleep);
    }
}
