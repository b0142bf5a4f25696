// Taking the game's command out of data\cmd.txt without losing one that the
// game writes meanwhile, without running one that it is still writing, and
// leaving the file empty as the game expects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "files/held_file.h"

// A command file larger than this is not read, let alone run.
inline constexpr size_t kMaxCommandBytes = 1024 * 1024;

struct CommandFileState {
    // Since when the game has held cmd.txt so that it cannot be moved.
    HeldSince heldSince;
    // A command of this run that start-up moved aside and could not put
    // back (the game wrote another meanwhile): it runs first.
    bool movedAsideAtStart = false;
};

// A command file last changed more than this before the process was
// created belongs to an earlier run. File times are coarse, and a game may
// write its command right after starting the bridge.
inline constexpr int64_t kStaleCommandMarginMs = 100;

extern CommandFileState gCommandFile;

// What is done with a command taken from the file, given as it was written.
using CommandRunner = void (*)(const std::string& written);

// Takes the waiting command, if any, and hands its text to `run`
// before the file is left empty, so that whatever the command publishes is
// out by the time the game sees its command gone. An empty, missing or
// blank file is left as it is, and so is one that the game may still be
// writing: changed a moment ago, or held open; it is taken on a later turn.
void TakeCommand(CommandRunner run);

// The second half of TakeCommand: runs the command moved aside to
// data\cmd.txt.taken and puts an empty data\cmd.txt back; a moved file
// that turns out blank (the game emptied it meanwhile) goes back as it is.
void RunMovedCommand(CommandRunner run);

// Start-up: a command of an earlier run, waiting or half taken, is
// discarded; one written since this process began (a game that saw the old
// run's state) waits for the login, as any other does.
void DiscardStaleCommands();
