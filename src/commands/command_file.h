// Taking the game's command out of data\cmd.txt without losing one that the
// game writes meanwhile, without running one that it is still writing, and
// leaving the file empty as the game expects.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "files/held_file.h"
#include "platform.h"

struct CommandFileState {
    // Since when the game has held cmd.txt so that it cannot be moved.
    HeldSince heldSince;
    // A command moved aside that has not run yet: it waits for its file to
    // stand still (the game may still be writing it), or start-up moved it
    // aside and could not put it back. It runs before cmd.txt is looked at
    // again, so that the game's next command waits behind it.
    bool takenWaiting = false;
    // The moved file as last seen, and since when it has looked so.
    std::optional<FileStamp> takenStamp;
    std::string takenBytes;
    std::chrono::steady_clock::time_point takenUnchangedSince;
};

extern CommandFileState gCommandFile;

// What is done with a command taken from the file, given as it was written.
using CommandRunner = void (*)(const std::string& written);

// Called every few milliseconds: a look at the file's size costs next to
// nothing, and only a file that is not empty is read. Takes the waiting
// command, if any, and hands its text to `run` before the file is left
// empty, so that whatever the command publishes is out by the time the
// game sees its command gone. An empty, missing or blank file is left as
// it is, and so is one the game holds open (Windows refuses to move it).
// A bare keyword (ptt_on, leave, ...) runs as soon as it is moved aside;
// a command with an argument, which the game may still be writing, once
// its file has stood still for a moment, on a later call: the loop never
// sleeps for it.
void TakeCommand(CommandRunner run);

// The second half of TakeCommand: runs the command moved aside to
// data\cmd.txt.taken, once it may, and puts an empty data\cmd.txt back; a
// moved file that turns out blank (the game emptied it meanwhile) goes
// back as it is. False while the command waits to stand still.
bool RunMovedCommand(CommandRunner run);

// Start-up: a command of an earlier run, waiting or half taken, is
// discarded; one written since this process began (a game that saw the old
// run's state) waits for the login, as any other does. Which run wrote it
// is told by the data folder's clock, whatever times the file system keeps
// and wherever the system clock has been set since.
void DiscardStaleCommands();
