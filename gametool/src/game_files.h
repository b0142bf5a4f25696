// The game's side of the exchange files: what a game does to drive the
// bridge (write one command, wait until it is consumed) and to read what
// the bridge publishes. Standard C++ only, so that it builds for Windows
// as well.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "exchange_vocabulary.h"

// `dataDir` is the bridge's data directory ("<game dir>/data").
std::string ReadDataFile(const std::string& dataDir, const std::string& name);

// Writes the command as a game does: open, truncate, write, close.
bool WriteCommand(const std::string& dataDir, const std::string& command);

// Writes a command as game runtimes with buffered or formatted output may:
// `first`, then `pause` later `second`, two writes into one open file.
bool WriteCommandInTwoPieces(const std::string& dataDir, const std::string& first,
                             const std::string& second, std::chrono::milliseconds pause);

// True once the command file no longer holds a command: empty or absent
// (the bridge moves a command aside while it runs it).
bool CommandFileFree(const std::string& dataDir);

// Waits until the previous command is consumed, writes `command` and
// waits until the bridge has taken it. False when either wait times out.
bool SendCommand(const std::string& dataDir, const std::string& command,
                 std::chrono::milliseconds timeout);

// The process ID that data/voicebridge.lock names: the bridge that serves
// the folder, while one does. Nothing when the file holds no ID.
std::optional<std::int64_t> LockHolder(const std::string& dataDir);

// The state file's entries by key. A value that spans lines (a channel name
// with a line break) keeps its line feeds.
std::map<std::string, std::string> ParseStateText(const std::string& text);

// How far a game has consumed data/pm_in.txt or data/events.txt. The
// bridge only appends to them (and empties them when it starts), so a
// reader that keeps its place, and never truncates or deletes the file,
// gets every line once.
struct LineReader {
    std::uint64_t offset = 0;  // bytes of complete lines already returned
    // The sequence number of the last event returned, which tells a moved
    // events.txt from one still growing.
    std::int64_t lastEvent = 0;
};

// The entries appended since the last call, each without its line feed.
// A last line still being written is left for the next call; a file
// shorter than the offset was emptied by a restarted bridge and is read
// from its start. A file that cannot be opened now yields nothing.
std::vector<std::string> ReadNewMessages(const std::string& dataDir, LineReader& reader);

// The events appended to events.txt since the last call, as
// ReadNewMessages reads pm_in.txt; once the bridge has moved a full
// events.txt aside, the rest of events.old.txt comes first.
std::vector<std::string> ReadNewEvents(const std::string& dataDir, LineReader& reader);

void SleepBriefly();

// Polls `condition` every few milliseconds until it holds or the time is up.
template <class Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        SleepBriefly();
    }
}
