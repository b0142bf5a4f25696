// The narrow seam between the bridge and the operating system. Everything
// that differs between Windows and POSIX lives behind these functions; one
// implementation file per system is chosen at build time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform_char.h"

using WideString = std::basic_string<WideChar>;

// The process arguments as UTF-16, program path first. Empty when the
// system cannot split the command line.
std::vector<WideString> PlatformCommandLine();

// UTF-8 (the whole string) -> UTF-16; what cannot be converted
// becomes U+FFFD.
WideString PlatformUtf8ToWide(const std::string& text);

// UTF-16 (`length` units) -> UTF-8; an unpaired surrogate becomes U+FFFD.
std::string PlatformWideToUtf8(const WideChar* text, size_t length);

// Creates one directory in the current directory; an existing one is fine.
void PlatformMakeDirectory(const char* name);

// CreateNew writes only when the file does not exist yet.
enum class FileWriteMode { Truncate, Append, CreateNew };

// Each call opens the file with full sharing, acts and closes it. Paths are
// in Windows syntax ("data\state.txt").
bool PlatformWriteFile(const std::string& path, const std::string& bytes, FileWriteMode mode);

enum class FileReadResult { Ok, Missing, TooLarge };

// Reads the whole file into `bytes`; a file larger than `maxBytes` is not
// read and gives TooLarge. Any failure to open counts as Missing, and so
// does anything but a regular file: no open waits on a pipe or device.
FileReadResult PlatformReadFile(const std::string& path, std::string& bytes, size_t maxBytes);

enum class MoveResult { Done, Missing, Refused };

// Moves `from` over `to` in one step, so that a reader of `to` sees the old
// or the new content. Missing when `from` is not there; Refused when the
// system will not (e.g. `to` is held open without delete sharing).
MoveResult PlatformReplaceFile(const std::string& from, const std::string& to);

// Moves `from` to `to` only when `to` does not exist.
bool PlatformMoveFileIfAbsent(const std::string& from, const std::string& to);

void PlatformRemoveFile(const std::string& path);

// Milliseconds since the file's content last changed, by the system clock
// (negative for a time stamp in the future); none when there is no file.
std::optional<int64_t> PlatformMillisecondsSinceModified(const std::string& path);

enum class LockResult { Locked, HeldElsewhere, CannotCreate };

// Opens or creates `path` and locks it exclusively for the rest of the
// process. The system drops the lock when the process ends, however it
// ends, so a file left behind by a crash never blocks a later process.
LockResult PlatformLockFile(const std::string& path);
