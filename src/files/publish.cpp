// Atomic replace, retried briefly while a reader holds the file.
#include "files/publish.h"

#include <chrono>
#include <thread>

#include "files/file_io.h"

namespace {

// Readers hold the file for microseconds: a few tries a millisecond apart
// see most of them out.
const int kReplaceTries = 4;
const auto kReplacePause = std::chrono::milliseconds(1);

}  // namespace

PublishOutcome TryPublish(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    if (!WriteWholeFile(temporary, text)) {
        PlatformRemoveFile(temporary);
        return PublishOutcome::Unwritable;
    }
    for (int attempt = 0; attempt < kReplaceTries; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(kReplacePause);
        const MoveResult moved = PlatformReplaceFile(temporary, path);
        if (moved == MoveResult::Done) return PublishOutcome::Landed;
        if (moved == MoveResult::Missing) return PublishOutcome::Unwritable;
    }
    PlatformRemoveFile(temporary);
    return PublishOutcome::Refused;
}
