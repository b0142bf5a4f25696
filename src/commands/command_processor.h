// The commands the game writes into data\cmd.txt: refresh, leave, ptt_on,
// ptt_off, joinid, joinpath and pm, tried in that order.
#pragma once

#include <string>
#include <vector>

#include "platform.h"

// Runs the first command that matches the trimmed text; text that matches
// none does nothing.
void RunCommand(const std::string& command);

// Rewrites the channels, users and state files.
void RefreshAll();

// A message text cut into pieces of at most `maxUnits` UTF-16 units, never
// between the two halves of a surrogate pair. An empty text is one empty
// piece.
std::vector<WideString> SplitMessageText(const WideString& text, size_t maxUnits);
