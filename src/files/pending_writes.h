// Writes to the exchange files that may be refused for a while (the game
// holds a file, the disk is full) and so wait in one queue, tried again on
// every loop turn until they land. A published file needs only its newest
// content; appended entries all land, in the order they were made.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <string>

#include "files/held_file.h"

struct PendingPublish {
    std::string text;  // the newest whole content, not yet in place
    // Since when the game has held the file so that it cannot be replaced.
    HeldSince heldSince;
};

struct PendingWrites {
    std::map<std::string, PendingPublish> publishes;  // by path
    // Path -> entries not yet appended, oldest first.
    std::map<std::string, std::deque<std::string>> appends;
};

extern PendingWrites gPendingWrites;

// Publishes `text` as the whole of `path` now, or keeps it for later in
// place of any older content still waiting. True when it is in place. A
// file that the game has held for a second is written in place at last,
// which a reader with write sharing survives; a disk too full for the new
// content never costs the old.
bool PublishFile(const std::string& path, const std::string& text);

// Appends `text` to `path` behind any entries still waiting for it; what
// cannot be appended now waits. True when it is in the file.
bool AppendInOrder(const std::string& path, const std::string& text);

// Entries waiting to be appended to `path`.
size_t PendingAppendCount(const std::string& path);

bool HasPendingWrites();

// Tries everything that waits; called once per loop turn.
void RetryPendingWrites();

// Before the process exits there are no later turns: gives a file that the
// game holds a short while to free.
void FlushPendingWrites();
