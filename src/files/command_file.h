// Taking the game's command out of data\cmd.txt without losing one that the
// game writes meanwhile, and leaving the file empty as the game expects.
#pragma once

#include <cstddef>
#include <string>

// A command file larger than this is not read, let alone run.
inline constexpr size_t kMaxCommandBytes = 1024 * 1024;

// What is done with a command taken from the file.
using CommandRunner = void (*)(const std::string& command);

// Takes the waiting command, if any, and hands its trimmed text to `run`
// before the file is left empty, so that whatever the command publishes is
// out by the time the game sees its command gone. An empty, missing or
// blank file is left as it is.
void TakeCommand(CommandRunner run);

// Start-up: commands of an earlier run, waiting or half taken, are stale.
void DiscardStaleCommands();
