// Atomic replace with an in-place fallback, and the pending publishes that
// did not land. Only the newest content of each file is worth keeping.
#include "files/publish.h"

#include <map>

#include "files/file_io.h"
#include "platform.h"

namespace {

std::map<std::string, std::string> gPendingPublishes;

bool TryPublish(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    if (WriteWholeFile(temporary, text)) {
        if (PlatformReplaceFile(temporary, path)) return true;
        PlatformRemoveFile(temporary);
    }
    // The replace is refused while the game holds the file open without
    // delete sharing; writing in place still works when it shares writing.
    return WriteWholeFile(path, text);
}

}  // namespace

bool PublishFile(const std::string& path, const std::string& text) {
    if (TryPublish(path, text)) {
        gPendingPublishes.erase(path);
        return true;
    }
    gPendingPublishes[path] = text;
    return false;
}

void RetryPendingPublishes() {
    for (auto it = gPendingPublishes.begin(); it != gPendingPublishes.end();) {
        if (TryPublish(it->first, it->second))
            it = gPendingPublishes.erase(it);
        else
            ++it;
    }
}

bool HasPendingPublishes() { return !gPendingPublishes.empty(); }
