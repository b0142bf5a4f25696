// The main loop. Everything runs here, on the process's one thread: the
// library is only polled and never calls in.
#include "core/main_loop.h"

#include <chrono>
#include <thread>

#include "bridge.h"
#include "core/command_poll.h"
#include "core/event_dispatch.h"
#include "files/pending_writes.h"

namespace {

const INT32 kEventWaitMs = 100;
const auto kLoopSleep = std::chrono::milliseconds(80);

}  // namespace

void DrainEvents(TTMessage& message) {
    while (TT_GetMessage(gBridgeState.instance, &message, &kEventWaitMs))
        HandleClientEvent(message);
}

void RunMainLoop() {
    TTMessage message;
    for (;;) {
        DrainEvents(message);
        PollCommandFile();
        // What could not be written earlier (the game held a file, the
        // disk was full) is tried again every turn until it lands.
        RetryPendingWrites();
        std::this_thread::sleep_for(kLoopSleep);
    }
}
