// data\events.txt: what happened, one line an event, appended in order and
// never rewritten, so that a game reads it from a kept offset as it reads
// pm_in.txt. Lines gather while the bridge works and go out in one append,
// behind any still waiting for the file. Once the file has grown large it
// becomes events.old.txt and a new one begins, its first line saying so;
// the sequence numbers run on across the move.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>

struct EventLog {
    int64_t lastSeq = 0;
    // Lines not yet handed to the file.
    std::string gathered;
    // Bytes handed to the present file since it began.
    size_t fileBytes = 0;
    std::chrono::steady_clock::time_point lastMove;
};

extern EventLog gEventLog;

// Adds the line "<seq>|<kind>|<field>|..." and returns its sequence
// number. Line breaks in any field become spaces; bars are kept in the
// last field only, which is the free text.
int64_t AddEvent(const char* kind, std::initializer_list<std::string> fields = {});

// Hands the gathered lines to the file in one append, after moving a full
// file aside where it may be moved now.
void FlushEvents();
