// The command poll: once per loop turn, the game's command is taken from
// data\cmd.txt, logged and run, and the file is left empty.
#pragma once

#include <cstddef>

// A command file larger than this is not read, let alone run.
inline constexpr size_t kMaxCommandBytes = 1024 * 1024;

void PollCommandFile();

// Start-up: commands of an earlier run, waiting or half taken, are stale.
void DiscardStaleCommands();
