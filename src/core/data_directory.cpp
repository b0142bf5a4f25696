// Claiming, emptying and restoring the data directory.
#include "core/data_directory.h"

#include <chrono>
#include <string>
#include <thread>

#include "exchange_vocabulary.h"
#include "files/debug_log.h"
#include "files/file_io.h"
#include "files/folder_clock.h"
#include "files/paths.h"
#include "files/state_file.h"
#include "platform.h"
#include "session/directories.h"

namespace {

// The lock file names its holder, one decimal line, so that a game that
// finds its directory served (exit 2) can tell which process serves it.
bool RecordLockHolder() {
    return WriteWholeFile(kLockFile, std::to_string(PlatformProcessId()) + "\n");
}

}  // namespace

// One bridge per directory, and one that can write there: otherwise the
// bridge would log in and stay on the server while the game sees nothing.
// Nothing of the game's is touched on the way out.
int ClaimDataDirectory() {
    PlatformMakeDirectory(kDataDirectoryName);
    const LockResult lock = PlatformLockDirectory(kLockFile);
    if (lock == LockResult::HeldElsewhere) return kExitAlreadyServed;
    // A folder whose clock can be read is one where files can be made.
    if (lock == LockResult::CannotCreate || !RecordLockHolder() || !ReadFolderClock(kProbeFile))
        return kExitDataUnusable;
    return 0;
}

bool EmptyAppendedFile(const std::string& path) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!WriteWholeFile(path, "")) {
        if (std::chrono::steady_clock::now() >= deadline) {
            // Read-only, or something else in its place: a new file serves.
            PlatformRemoveFile(path);
            return CreateFileIfAbsent(path, "");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

bool EmptyAppendedFiles() {
    // An earlier run's moved events are not this run's either.
    PlatformRemoveFile(kOldEventsFile);
    return EmptyAppendedFile(kPrivateMessageFile) && EmptyAppendedFile(kEventsFile);
}

void RestoreDataDirectoryIfGone() {
    // The lock file goes with the folder (Windows keeps both while it is
    // held); a folder made again by someone else has none.
    if (PlatformExists(kLockFile)) return;
    PlatformMakeDirectory(kDataDirectoryName);
    RecordLockHolder();
    CreateFileIfAbsent(kCommandFile, "");
    CreateFileIfAbsent(kPrivateMessageFile, "");
    CreateFileIfAbsent(kEventsFile, "");
    AppendDebugLine("data directory removed while running: made again");
    WriteStateFile();
    WriteChannelsFile();
    WriteUsersFile();
}
