// Which run a file of data\ belongs to, told by the data folder's own
// clock: the time its file system records for a file written now. That
// clock keeps what the file system keeps (whole seconds on HFS+, two on
// FAT) and follows the system clock wherever it has been set, so a file's
// time is only ever compared with it, never with the system clock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct FolderClock {
    // The time the file system gave a file written just now (microseconds,
    // the system's own epoch).
    int64_t now = 0;
    // How long before that this process was created (microseconds).
    int64_t processAge = 0;
};

// The coarsest step of a file system's times (FAT's two seconds); rounding
// by it either way still leaves a file written since the start in range.
inline constexpr int64_t kFolderClockStepUs = 2'000'000;

// Writes `probePath`, reads back its time and removes it. None when no
// file can be written there.
std::optional<FolderClock> ReadFolderClock(const std::string& probePath);

// Whether a file with time `modified` was written by an earlier run: before
// this process was created, less a step, or more than a step after now (a
// clock set back since). A file of an earlier run written less than a step
// before this one began passes for this run's.
bool WrittenByAnEarlierRun(int64_t modified, const FolderClock& clock);
