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

// Whole entries up to this many bytes go in one append, so that a backlog
// of thousands, released at once, costs a few writes rather than an open
// and a close each.
const size_t kAppendBatchBytes = 64 * 1024;

// Appends what waits for `path`, oldest first, in batches of whole entries:
// an append lands whole or is cut back, so each entry lands exactly once.
// A batch refused (a disk nearly full) is tried entry by entry, so that
// what still fits lands. False while some are refused.
bool TryAppendWaiting(const std::string& path, std::deque<std::string>& entries) {
    bool batching = true;
    while (!entries.empty()) {
        std::string batch = entries.front();
        size_t count = 1;
        while (batching && count < entries.size() &&
               batch.size() + entries[count].size() <= kAppendBatchBytes)
            batch += entries[count++];
        if (!AppendToFile(path, batch)) {
            if (count == 1) return false;
            batching = false;
            continue;
        }
        entries.erase(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(count));
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
