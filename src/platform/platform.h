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

// Whether anything, file or folder, has this name.
bool PlatformExists(const std::string& path);

// CreateNew writes only when the file does not exist yet.
enum class FileWriteMode { Truncate, Append, CreateNew };

// Each call opens the file with full sharing, acts and closes it. Paths are
// in Windows syntax ("data\state.txt"). Only a regular file is written: a
// pipe or a device in a file's place is refused (false), never written to.
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

// Removes the file, read-only or not.
void PlatformRemoveFile(const std::string& path);

// What a look at a file without reading it tells: its size and the time
// its content last changed, in microseconds since the system's epoch, as
// fine as the file system keeps it (whole seconds on some, two on FAT).
struct FileStamp {
    uint64_t size = 0;
    int64_t modified = 0;
    bool operator==(const FileStamp& other) const {
        return size == other.size && modified == other.modified;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

// None when there is no such file.
std::optional<FileStamp> PlatformFileStamp(const std::string& path);

// How long ago the system created this process, in microseconds.
int64_t PlatformProcessAgeMicroseconds();

int64_t PlatformProcessId();

// The value of an environment variable of this process in UTF-8; none when
// it is not set.
std::optional<std::string> PlatformEnvironmentVariable(const char* name);

enum class LockResult { Locked, HeldElsewhere, CannotCreate };

// Claims the working directory for this process, for the rest of its life,
// with `lockFile` as the lock's visible sign: Windows locks a byte of it,
// far past what it holds, and keeps it from being deleted (so that its
// folder cannot go either); POSIX locks the working directory itself,
// which removing the data folder does not take away. The system drops the
// lock when the process ends, however it ends, so nothing left behind by a
// crash ever blocks a later process.
LockResult PlatformLockDirectory(const std::string& lockFile);

enum class WatchResult { Watching, Ended, CannotWatch };

// Begins to watch the process with this ID for the rest of the bridge's
// life. Ended when no such process runs now; CannotWatch when one runs but
// the system will not let this process watch it.
WatchResult PlatformWatchProcess(int64_t processId);

// Whether the watched process has ended since; a look costs a system call
// or two.
bool PlatformWatchedProcessEnded();

// Ends this process at once, as a stop request from outside ends it
// (POSIX: SIGTERM; Windows: TerminateProcess with kExitStopped): nothing
// more is written and the files stay as they are.
[[noreturn]] void PlatformEndAsStopped();
