// The commands the game writes into data\cmd.txt, as the exchange
// vocabulary lists them, tried in its order.
#pragma once

#include <string>

// Runs the first command that matches the trimmed text `command`, with its
// "taken" line and its outcome in events.txt; text that matches none, or
// whose argument cannot be acted on, fails as no command, and after the end
// of the session every command fails. `written` is the text as the game wrote
// it, for the argument that must be taken as written (a channel name may
// end in a blank).
void RunCommand(const std::string& command, const std::string& written);

// The command as a log or events.txt may show it: a join's password masked.
std::string ShownCommand(const std::string& text);

// Rewrites the channels, users and state files.
void RefreshAll();
