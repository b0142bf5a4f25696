// Waiting out a game's hold on a file.
#include "files/held_file.h"

#include <thread>

#include "files/debug_log.h"

bool RetryWhileHeld(const std::string& path, const std::function<bool()>& attempt) {
    const auto start = std::chrono::steady_clock::now();
    if (attempt()) return true;
    // A reader lets go within microseconds: a short pause finds most gaps.
    while (std::chrono::steady_clock::now() - start < kHeldLimit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!attempt()) continue;
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        AppendDebugLine("waited " + std::to_string(waited.count()) + " ms for " + path +
                        ", held open by another program");
        return true;
    }
    return false;
}
