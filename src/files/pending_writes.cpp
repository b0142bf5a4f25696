// The queue of writes that did not land yet.
#include "files/pending_writes.h"

#include <chrono>
#include <thread>

#include "files/file_io.h"
#include "files/publish.h"

PendingWrites gPendingWrites;

namespace {

// Appends everything waiting for `path` in one write; false while refused.
bool TryAppendWaiting(const std::string& path, std::deque<std::string>& entries) {
    std::string text;
    for (const std::string& entry : entries) text += entry;
    if (!AppendToFile(path, text)) return false;
    entries.clear();
    return true;
}

template <class Map, class Attempt>
void RetryEach(Map& pending, Attempt attempt) {
    for (auto it = pending.begin(); it != pending.end();) {
        if (attempt(it->first, it->second))
            it = pending.erase(it);
        else
            ++it;
    }
}

}  // namespace

bool PublishFile(const std::string& path, const std::string& text) {
    if (TryPublish(path, text)) {
        gPendingWrites.publishes.erase(path);
        return true;
    }
    gPendingWrites.publishes[path] = text;
    return false;
}

bool AppendInOrder(const std::string& path, const std::string& text) {
    std::deque<std::string>& entries = gPendingWrites.appends[path];
    entries.push_back(text);
    if (!TryAppendWaiting(path, entries)) return false;
    gPendingWrites.appends.erase(path);
    return true;
}

size_t PendingAppendCount(const std::string& path) {
    const auto it = gPendingWrites.appends.find(path);
    return it == gPendingWrites.appends.end() ? 0 : it->second.size();
}

bool HasPendingWrites() {
    return !gPendingWrites.publishes.empty() || !gPendingWrites.appends.empty();
}

void RetryPendingWrites() {
    RetryEach(gPendingWrites.publishes, TryPublish);
    RetryEach(gPendingWrites.appends, TryAppendWaiting);
}

void FlushPendingWrites() {
    for (int attempt = 0; attempt < 20 && HasPendingWrites(); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        RetryPendingWrites();
    }
}
