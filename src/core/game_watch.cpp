// The watch on the game's process. Nothing is written on the way out but
// one debug line: the state and the lists stay as a stop leaves them.
#include "core/game_watch.h"

#include <cstdint>
#include <optional>
#include <string>

#include "exchange_vocabulary.h"
#include "files/debug_log.h"
#include "files/fields.h"
#include "platform.h"

namespace {

// 0 while nothing is watched.
int64_t gWatchedProcessId = 0;

// Digits only, from 1 to the largest ID either system gives.
std::optional<int64_t> ParseProcessId(const std::string& text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    int64_t id = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        id = id * 10 + (c - '0');
    }
    if (id < 1 || id > INT32_MAX) return std::nullopt;
    return id;
}

std::string Named(int64_t id) {
    return "process " + std::to_string(id) + " (" + kParentProcessVariable + ")";
}

[[noreturn]] void EndWithGame(const std::string& why) {
    AppendDebugLine(why + ": the bridge ends with it");
    PlatformEndAsStopped();
}

}  // namespace

void WatchGameProcess() {
    const std::optional<std::string> value = PlatformEnvironmentVariable(kParentProcessVariable);
    if (!value) return;
    const std::optional<int64_t> id = ParseProcessId(*value);
    if (!id) {
        AppendDebugLine(std::string(kParentProcessVariable) + "=" + OnOneLine(*value) +
                        " is no process ID: nothing is watched");
        return;
    }
    switch (PlatformWatchProcess(*id)) {
        case WatchResult::Watching:
            gWatchedProcessId = *id;
            AppendDebugLine("watching " + Named(*id));
            return;
        case WatchResult::CannotWatch:
            AppendDebugLine(Named(*id) + " may not be watched: nothing is watched");
            return;
        // The game that started the bridge is gone: no one will read what it
        // publishes, and a login would only show the server a ghost.
        case WatchResult::Ended: EndWithGame(Named(*id) + " has ended already");
    }
}

void EndIfGameProcessEnded() {
    if (gWatchedProcessId != 0 && PlatformWatchedProcessEnded())
        EndWithGame(Named(gWatchedProcessId) + " has ended");
}
