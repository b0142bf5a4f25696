// Atomic replace with an in-place fallback.
#include "files/publish.h"

#include "files/file_io.h"

bool TryPublish(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    if (WriteWholeFile(temporary, text)) {
        if (PlatformReplaceFile(temporary, path) == MoveResult::Done) return true;
        PlatformRemoveFile(temporary);
    }
    // The replace is refused while the game holds the file open without
    // delete sharing; writing in place still works when it shares writing.
    return WriteWholeFile(path, text);
}
