// POSIX side of the platform seam. It behaves as the Windows side does:
// arguments arrive as UTF-16, the converters replace what they cannot
// convert with U+FFFD, and paths written in Windows syntax name the same
// files ("data\state.txt" is state.txt inside data).
#include "platform.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "arguments.h"
#include "utf_codec.h"

namespace {

std::vector<std::string> gArguments;

std::string NativePath(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

// Closes a descriptor on every path out of a function.
struct FileDescriptor {
    int fd;
    explicit FileDescriptor(int f) : fd(f) {}
    ~FileDescriptor() {
        if (fd >= 0) close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
};

void CutBack(int fd, off_t size) {
    while (ftruncate(fd, size) != 0 && errno == EINTR) {
    }
}

}  // namespace

void PlatformSetArguments(int argc, char** argv) { gArguments.assign(argv, argv + argc); }

std::vector<WideString> PlatformCommandLine() {
    std::vector<WideString> args;
    for (const std::string& arg : gArguments) args.push_back(DecodeUtf8(arg));
    return args;
}

WideString PlatformUtf8ToWide(const std::string& text) { return DecodeUtf8(text); }

std::string PlatformWideToUtf8(const WideChar* text, size_t length) {
    return EncodeUtf8(text, length);
}

void PlatformMakeDirectory(const char* name) { mkdir(NativePath(name).c_str(), 0777); }

bool PlatformExists(const std::string& path) {
    struct stat info;
    return stat(NativePath(path).c_str(), &info) == 0;
}

bool PlatformWriteFile(const std::string& path, const std::string& bytes, FileWriteMode mode) {
    const int modeFlags[] = {O_TRUNC, O_APPEND, O_EXCL};
    // Non-blocking, so that a pipe in a file's place cannot hang the bridge.
    const int flags =
        O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | modeFlags[static_cast<int>(mode)];
    FileDescriptor file(open(NativePath(path).c_str(), flags, 0666));
    if (file.fd < 0) return false;
    struct stat before {};
    if (fstat(file.fd, &before) != 0 || !S_ISREG(before.st_mode)) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(file.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // An entry is appended whole or not at all (the disk is full):
            // what landed of it is cut off again.
            if (mode == FileWriteMode::Append) CutBack(file.fd, before.st_size);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

FileReadResult PlatformReadFile(const std::string& path, std::string& bytes, size_t maxBytes) {
    bytes.clear();
    FileDescriptor file(open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.fd < 0) return FileReadResult::Missing;
    struct stat info;
    if (fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) return FileReadResult::Missing;
    if (static_cast<unsigned long long>(info.st_size) > maxBytes) return FileReadResult::TooLarge;
    // The game may still be writing: read to the end, whatever the size was.
    char buffer[65536];
    for (;;) {
        ssize_t n = read(file.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            bytes.clear();
            return FileReadResult::Missing;
        }
        if (n == 0) break;
        if (bytes.size() + static_cast<size_t>(n) > maxBytes) {
            bytes.clear();
            return FileReadResult::TooLarge;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return FileReadResult::Ok;
}

MoveResult PlatformReplaceFile(const std::string& from, const std::string& to) {
    if (std::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0) return MoveResult::Done;
    return errno == ENOENT ? MoveResult::Missing : MoveResult::Refused;
}

bool PlatformMoveFileIfAbsent(const std::string& from, const std::string& to) {
    // A hard link fails where `to` exists, which makes the check and the
    // move one step.
    if (link(NativePath(from).c_str(), NativePath(to).c_str()) != 0) return false;
    unlink(NativePath(from).c_str());
    return true;
}

void PlatformRemoveFile(const std::string& path) { unlink(NativePath(path).c_str()); }

LockResult PlatformLockDirectory(const std::string&) {
    // Kept open for the life of the process: the lock lives with it.
    const int fd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return LockResult::CannotCreate;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return LockResult::Locked;
    close(fd);
    return LockResult::HeldElsewhere;
}

int64_t PlatformProcessId() { return getpid(); }

std::optional<std::string> PlatformEnvironmentVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

namespace {

int64_t Microseconds(const timespec& t) { return int64_t{t.tv_sec} * 1000000 + t.tv_nsec / 1000; }

// The fields of /proc/<process>/stat from the state on; empty when there is
// no such file. The name before them, in parentheses, may hold spaces; the
// fields after it do not.
std::vector<std::string> ProcessStatFields(const std::string& process) {
    std::ifstream in("/proc/" + process + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return {};
    std::istringstream line(stat.substr(close + 1));
    std::vector<std::string> fields;
    for (std::string field; line >> field;) fields.push_back(field);
    return fields;
}

// Fields 3 and 22 of the line: the state, and the start time in clock
// ticks since boot.
const size_t kStateField = 0;
const size_t kStartTimeField = 19;

}  // namespace

// The start time counts clock ticks since boot, as CLOCK_BOOTTIME does, so
// a system clock set meanwhile changes nothing.
int64_t PlatformProcessAgeMicroseconds() {
    const std::vector<std::string> fields = ProcessStatFields("self");
    if (fields.size() <= kStartTimeField) return 0;
    const int64_t ticksPerSecond = sysconf(_SC_CLK_TCK);
    timespec boot;
    clock_gettime(CLOCK_BOOTTIME, &boot);
    return Microseconds(boot) - std::stoll(fields[kStartTimeField]) * 1000000 / ticksPerSecond;
}

namespace {

// The watched process, and its start time where /proc tells it (Linux):
// another start time under the same ID is another process, one that took
// the ID after the watched one had ended.
pid_t gWatchedId = 0;
std::string gWatchedStartTime;

}  // namespace

WatchResult PlatformWatchProcess(int64_t processId) {
    gWatchedId = static_cast<pid_t>(processId);
    const std::vector<std::string> fields = ProcessStatFields(std::to_string(gWatchedId));
    if (fields.size() > kStartTimeField) gWatchedStartTime = fields[kStartTimeField];
    return PlatformWatchedProcessEnded() ? WatchResult::Ended : WatchResult::Watching;
}

bool PlatformWatchedProcessEnded() {
    // EPERM is another user's process that runs.
    if (kill(gWatchedId, 0) != 0 && errno == ESRCH) return true;
    if (gWatchedStartTime.empty()) return false;
    // A zombie has ended: only its parent has not taken its exit status yet.
    const std::vector<std::string> fields = ProcessStatFields(std::to_string(gWatchedId));
    return fields.size() <= kStartTimeField || fields[kStateField] == "Z" ||
           fields[kStateField] == "X" || fields[kStartTimeField] != gWatchedStartTime;
}

void PlatformEndAsStopped() {
    // The bridge may have inherited SIGTERM ignored or blocked; it ends all
    // the same.
    std::signal(SIGTERM, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    raise(SIGTERM);
    // Only where the signal could not be raised.
    _exit(128 + SIGTERM);
}

std::optional<FileStamp> PlatformFileStamp(const std::string& path) {
    struct stat info;
    if (stat(NativePath(path).c_str(), &info) != 0) return std::nullopt;
    return FileStamp{static_cast<uint64_t>(info.st_size), Microseconds(info.st_mtim)};
}
