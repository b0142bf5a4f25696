// The commands the game writes into data\cmd.txt, as the exchange
// vocabulary lists them, tried in its order.
#pragma once

#include <string>

// Runs the first command that matches the trimmed text; text that matches
// none does nothing.
void RunCommand(const std::string& command);

// Rewrites the channels, users and state files.
void RefreshAll();
