// The data folder's clock, read from a probe file.
#include "files/folder_clock.h"

#include "files/file_io.h"
#include "platform.h"

std::optional<FolderClock> ReadFolderClock(const std::string& probePath) {
    if (!WriteWholeFile(probePath, "")) return std::nullopt;
    // Taken right after the write, so that both tell of the same moment.
    const int64_t processAge = PlatformProcessAgeMicroseconds();
    const std::optional<FileStamp> stamp = PlatformFileStamp(probePath);
    PlatformRemoveFile(probePath);
    if (!stamp) return std::nullopt;
    return FolderClock{stamp->modified, processAge};
}

bool WrittenByAnEarlierRun(int64_t modified, const FolderClock& clock) {
    return modified < clock.now - clock.processAge - kFolderClockStepUs ||
           modified > clock.now + kFolderClockStepUs;
}
