// Gathering event lines and appending them to data\events.txt.
#include "files/event_log.h"

#include "exchange_vocabulary.h"
#include "files/debug_log.h"
#include "files/fields.h"
#include "files/paths.h"
#include "files/pending_writes.h"
#include "platform.h"

EventLog gEventLog;

namespace {

// Moves a full events.txt aside. A file the game holds so that it cannot
// be moved stays as it is and takes the lines; the move is tried again at
// the next flush.
bool MoveFullFileAside() {
    EventLog& log = gEventLog;
    if (log.fileBytes < kEventsFileRotateBytes) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now - log.lastMove < std::chrono::seconds(kEventsFileRotateSeconds)) return false;
    // Lines still waiting for the full file must land there first.
    if (PendingAppendCount(kEventsFile) > 0) return false;
    if (PlatformReplaceFile(kEventsFile, kOldEventsFile) != MoveResult::Done) return false;
    log.lastMove = now;
    log.fileBytes = 0;
    AppendDebugLine("events.txt moved to events.old.txt");
    return true;
}

void AppendGathered() {
    EventLog& log = gEventLog;
    if (log.gathered.empty()) return;
    log.fileBytes += log.gathered.size();
    AppendInOrder(kEventsFile, log.gathered);
    log.gathered.clear();
}

}  // namespace

int64_t AddEvent(const char* kind, std::initializer_list<std::string> fields) {
    EventLog& log = gEventLog;
    const int64_t seq = ++log.lastSeq;
    std::string line = std::to_string(seq) + kFieldSeparator + kind;
    size_t left = fields.size();
    for (const std::string& field : fields) {
        line += kFieldSeparator;
        line += --left == 0 ? OnOneLine(field) : WithoutBars(OnOneLine(field));
    }
    log.gathered += line + "\n";
    return seq;
}

void FlushEvents() {
    AppendGathered();
    if (!MoveFullFileAside()) return;
    // The new file's first line tells a reader where the rest went.
    AddEvent(kEventMoved, {kOldEventsFileName});
    AppendGathered();
}
