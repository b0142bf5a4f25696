// Whole-file primitives: each call opens the file, acts and closes it, so
// no exchange file is ever held open between calls.
#pragma once

#include <string>

// Truncates or creates the file and writes `text`. False when the file
// could not be opened or written; most callers may ignore that.
bool WriteWholeFile(const std::string& path, const std::string& text);

// Appends `text`, creating the file when it is missing.
bool AppendToFile(const std::string& path, const std::string& text);

// The whole content, byte for byte; empty when the file cannot be opened.
std::string ReadWholeFile(const std::string& path);
