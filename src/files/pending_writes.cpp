// The queue of writes that did not land yet.
#include "files/pending_writes.h"

#include <chrono>
#include <thread>

#include "files/debug_log.h"
#include "files/file_io.h"
#include "files/publish.h"

PendingWrites gPendingWrites;

namespace {

bool Land(const std::string& path, PendingPublish& pending) {
    const PublishOutcome outcome = TryPublish(path, pending.text);
    if (outcome == PublishOutcome::Landed) return true;
    if (outcome == PublishOutcome::Unwritable) {
        pending.heldSince.reset();
        return false;
    }
    // A game that keeps the file open for good would never see a change.
    if (!HeldTooLong(pending.heldSince)) return false;
    if (!WriteWholeFile(path, pending.text)) return false;
    AppendDebugLine("written in place, held open for a second: " + path);
    return true;
}

// Appends what waits for `path` entry by entry, oldest first: an append
// lands whole or not at all, so each entry lands exactly once. False while
// some are refused.
bool TryAppendWaiting(const std::string& path, std::deque<std::string>& entries) {
    while (!entries.empty()) {
        if (!AppendToFile(path, entries.front())) return false;
        entries.pop_front();
    }
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
    PendingPublish& pending = gPendingWrites.publishes[path];
    pending.text = text;
    if (!Land(path, pending)) return false;
    gPendingWrites.publishes.erase(path);
    return true;
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
    RetryEach(gPendingWrites.publishes, Land);
    RetryEach(gPendingWrites.appends, TryAppendWaiting);
}

void FlushPendingWrites() {
    for (int attempt = 0; attempt < 20 && HasPendingWrites(); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        RetryPendingWrites();
    }
}
