// The main loop. Everything runs here, on the process's one thread: the
// library is only polled and never calls in.
#include "core/main_loop.h"

#include <algorithm>
#include <chrono>

#include "bridge.h"
#include "core/command_poll.h"
#include "core/data_directory.h"
#include "core/event_dispatch.h"
#include "core/game_watch.h"
#include "files/event_log.h"
#include "files/pending_writes.h"
#include "session/directories.h"
#include "session/private_messages.h"
#include "session/voice_library.h"

namespace {

using Clock = std::chrono::steady_clock;

// The longest the loop waits for the library before it looks at the
// command file again: a player's push-to-talk is taken within a frame.
// Windows ends a wait on its timer tick of about 15.6 ms anyway, and every
// wake-up costs a little while the bridge is idle, so the wait is no
// shorter.
const int32_t kEventWaitMs = 16;
// The quiet that ends a burst of events: its files are published when it
// is over, not at the end of the budget.
const long long kBurstGapMs = 10;
// However busy the server, the command file is looked at at least this
// often: a steady stream of events never starves the game.
const auto kDrainBudget = std::chrono::milliseconds(100);
// What could not be written (the game held a file, the disk was full) and
// a data folder that went missing are seen to this often, not every turn.
const auto kRetryInterval = std::chrono::milliseconds(100);
// How often the game's process is looked at: its end is seen within a
// second, a turn's length included, at a cost of a system call or two.
const auto kGameWatchInterval = std::chrono::milliseconds(250);

// Whether `next` has come; if so, the next one is `interval` from now.
bool Due(Clock::time_point& next, Clock::duration interval) {
    const Clock::time_point now = Clock::now();
    if (now < next) return false;
    next = now + interval;
    return true;
}

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
    Clock::time_point nextRetry = Clock::now();
    Clock::time_point nextGameWatch = Clock::now();
    for (;;) {
        DrainEvents();
        LandUnfinishedMessages();
        FlushEvents();
        PollCommandFile();
        if (Due(nextRetry, kRetryInterval)) {
            RestoreDataDirectoryIfGone();
            RetryPendingWrites();
        }
        if (Due(nextGameWatch, kGameWatchInterval)) EndIfGameProcessEnded();
    }
}
