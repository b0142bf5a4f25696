// The debug log: a plain trail of start-up, connection, sound-device and
// command lines, written only, never read back.
#pragma once

#include <string>

// Truncates the log and writes its first line.
void StartDebugLog(const std::string& firstLine);

// Appends `text` and one line feed.
void AppendDebugLine(const std::string& text);
