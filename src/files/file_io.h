// Whole-file primitives: each call opens the file, acts and closes it, so
// no exchange file is ever held open between calls.
#pragma once

#include <cstddef>
#include <string>

#include "platform.h"

// Truncates or creates the file and writes `text`. False when the file
// could not be opened or written; most callers may ignore that.
bool WriteWholeFile(const std::string& path, const std::string& text);

// Appends `text`, creating the file when it is missing.
bool AppendToFile(const std::string& path, const std::string& text);

// Writes `text` only where no file of that name exists yet.
bool CreateFileIfAbsent(const std::string& path, const std::string& text);

// The whole content, byte for byte, into `bytes`; empty unless Ok. A file
// larger than `maxBytes` is not read (TooLarge); one that cannot be opened
// (missing, locked, no access, not a file) is Missing.
FileReadResult ReadWholeFile(const std::string& path, std::string& bytes, size_t maxBytes);
