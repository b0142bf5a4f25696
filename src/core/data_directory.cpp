// Claiming, emptying and restoring the data directory.
#include "core/data_directory.h"

#include <string>

#include "exchange_vocabulary.h"
#include "files/debug_log.h"
#include "files/file_io.h"
#include "files/folder_clock.h"
#include "files/held_file.h"
#include "files/paths.h"
#include "files/state_file.h"
#include "platform.h"
#include "session/directories.h"

namespace {

// Whether this run's process ID is in the lock file yet.
bool gLockHolderRecorded = false;

// The lock file names its holder, one decimal line, so that a game that
// finds its directory served (exit 2) can tell which process serves it.
bool WriteLockHolder() {
    return WriteWholeFile(kLockFile, std::to_string(PlatformProcessId()) + "\n");
}

bool EmptyAppendedFile(const std::string& path) {
    if (RetryWhileHeld(path, [&] { return WriteWholeFile(path, ""); })) return true;
    // Read-only, or something else in its place: a new file serves.
    PlatformRemoveFile(path);
    return CreateFileIfAbsent(path, "");
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
    if (lock == LockResult::CannotCreate || !ReadFolderClock(kProbeFile)) return kExitDataUnusable;
    return 0;
}

void RecordLockHolder() {
    gLockHolderRecorded = RetryWhileHeld(kLockFile, WriteLockHolder);
    if (!gLockHolderRecorded)
        AppendDebugLine("voicebridge.lock held open for a second: process ID written once let go");
}

bool EmptyAppendedFiles() {
    // An earlier run's moved events are not this run's either.
    PlatformRemoveFile(kOldEventsFile);
    return EmptyAppendedFile(kPrivateMessageFile) && EmptyAppendedFile(kEventsFile);
}

void RestoreDataDirectoryIfGone() {
    if (!gLockHolderRecorded) gLockHolderRecorded = WriteLockHolder();
    // The lock file goes with the folder (Windows keeps both while it is
    // held); a folder made again by someone else has none.
    if (PlatformExists(kLockFile)) return;
    PlatformMakeDirectory(kDataDirectoryName);
    gLockHolderRecorded = WriteLockHolder();
    CreateFileIfAbsent(kCommandFile, "");
    CreateFileIfAbsent(kPrivateMessageFile, "");
    CreateFileIfAbsent(kEventsFile, "");
    AppendDebugLine("data directory removed while running: made again");
    WriteStateFile();
    WriteChannelsFile();
    WriteUsersFile();
}
