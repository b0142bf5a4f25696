// Scenario files: control commands run at start-up, before any client is
// accepted.
#pragma once

#include <string>

// Runs every command in the file: one per line, fields separated by TAB
// and escaped as on the control port; blank lines and lines whose first
// non-blank character is '#' are skipped. Stops at the first refused command and returns false
// with a message naming the file and line in `error`.
bool RunScenarioFile(const std::string& path, std::string& error);
