// Windows side of the platform seam: the wide command line, the system's
// UTF-8 converters, and files opened with full sharing so that the game may
// read, write or replace them while the bridge has them open.
#include "platform.h"

#include <windows.h>
// shellapi.h needs the types that windows.h declares.
#include <shellapi.h>

#include <algorithm>

#include "exchange_vocabulary.h"

namespace {

// Closes a file handle on every path out of a function.
struct FileHandle {
    HANDLE handle;
    explicit FileHandle(HANDLE h) : handle(h) {}
    ~FileHandle() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
};

std::wstring WidePath(const std::string& path) { return PlatformUtf8ToWide(path); }

const DWORD kFullSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

std::vector<WideString> PlatformCommandLine() {
    std::vector<WideString> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == nullptr) return args;
    for (int i = 0; i < count; ++i) args.emplace_back(argv[i]);
    LocalFree(argv);
    return args;
}

WideString PlatformUtf8ToWide(const std::string& text) {
    if (text.empty()) return WideString();
    const int inLength = static_cast<int>(text.size());
    int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), inLength, nullptr, 0);
    if (needed <= 0) return WideString();
    WideString wide(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), inLength, &wide[0], needed);
    return wide;
}

std::string PlatformWideToUtf8(const WideChar* text, size_t length) {
    if (length == 0) return std::string();
    const int inLength = static_cast<int>(length);
    int needed = WideCharToMultiByte(CP_UTF8, 0, text, inLength, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::string();
    std::string bytes(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, inLength, &bytes[0], needed, nullptr, nullptr);
    return bytes;
}

void PlatformMakeDirectory(const char* name) { CreateDirectoryA(name, nullptr); }

bool PlatformExists(const std::string& path) {
    return GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// An append-only handle cannot shorten its file: a second one does.
void CutBack(const std::string& path, LARGE_INTEGER size) {
    FileHandle file(CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, kFullSharing, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.handle == INVALID_HANDLE_VALUE) return;
    FILE_END_OF_FILE_INFO end;
    end.EndOfFile = size;
    SetFileInformationByHandle(file.handle, FileEndOfFileInfo, &end, sizeof end);
}

}  // namespace

bool PlatformWriteFile(const std::string& path, const std::string& bytes, FileWriteMode mode) {
    const bool append = mode == FileWriteMode::Append;
    const DWORD dispositions[] = {CREATE_ALWAYS, OPEN_ALWAYS, CREATE_NEW};
    FileHandle file(CreateFileW(WidePath(path).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                                kFullSharing, nullptr, dispositions[static_cast<int>(mode)],
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.handle == INVALID_HANDLE_VALUE) return false;
    // A pipe or a device in the file's place is no exchange file.
    if (GetFileType(file.handle) != FILE_TYPE_DISK) return false;
    LARGE_INTEGER before{};
    if (append && !GetFileSizeEx(file.handle, &before)) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file.handle, bytes.data() + done, chunk, &written, nullptr) ||
            written == 0) {
            // An entry is appended whole or not at all (the disk is full):
            // what landed of it is cut off again.
            if (append) CutBack(path, before);
            return false;
        }
        done += written;
    }
    return true;
}

FileReadResult PlatformReadFile(const std::string& path, std::string& bytes, size_t maxBytes) {
    bytes.clear();
    FileHandle file(CreateFileW(WidePath(path).c_str(), GENERIC_READ, kFullSharing, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.handle == INVALID_HANDLE_VALUE) return FileReadResult::Missing;
    // A pipe or a device in the file's place is no command file.
    if (GetFileType(file.handle) != FILE_TYPE_DISK) return FileReadResult::Missing;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.handle, &size)) return FileReadResult::Missing;
    if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) return FileReadResult::TooLarge;
    // The game may still be writing: read to the end, whatever the size was.
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.handle, buffer, sizeof buffer, &got, nullptr))
            return FileReadResult::Missing;
        if (got == 0) break;
        if (bytes.size() + got > maxBytes) {
            bytes.clear();
            return FileReadResult::TooLarge;
        }
        bytes.append(buffer, got);
    }
    return FileReadResult::Ok;
}

namespace {

// FileRenameInfoEx (Windows 10 1607 and later); the headers declare it only
// for newer targets than this program asks for.
const auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

// Renames with POSIX semantics, which replaces the target even while the
// game holds it open (with delete sharing, as the exchange files are).
bool ReplaceWithPosixSemantics(const std::wstring& from, const std::wstring& to) {
    wchar_t fullTarget[MAX_PATH * 4];
    const DWORD length = GetFullPathNameW(to.c_str(), MAX_PATH * 4, fullTarget, nullptr);
    if (length == 0 || length >= MAX_PATH * 4) return false;
    FileHandle file(CreateFileW(from.c_str(), DELETE | SYNCHRONIZE, kFullSharing, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.handle == INVALID_HANDLE_VALUE) return false;
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + length * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
    info->RootDirectory = nullptr;
    info->FileNameLength = length * sizeof(wchar_t);
    std::copy(fullTarget, fullTarget + length, info->FileName);
    return SetFileInformationByHandle(file.handle, kFileRenameInfoEx, info,
                                      static_cast<DWORD>(buffer.size())) != 0;
}

}  // namespace

MoveResult PlatformReplaceFile(const std::string& from, const std::string& to) {
    const std::wstring source = WidePath(from);
    const std::wstring target = WidePath(to);
    if (ReplaceWithPosixSemantics(source, target)) return MoveResult::Done;
    // Systems before Windows 10 know only the classic replace.
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        return MoveResult::Done;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? MoveResult::Missing
                                                                          : MoveResult::Refused;
}

bool PlatformMoveFileIfAbsent(const std::string& from, const std::string& to) {
    return MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), 0) != 0;
}

void PlatformRemoveFile(const std::string& path) {
    const std::wstring wide = WidePath(path);
    if (DeleteFileW(wide.c_str()) || GetLastError() != ERROR_ACCESS_DENIED) return;
    // A read-only file is deleted once it is not read-only any more.
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0)
        return;
    SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    DeleteFileW(wide.c_str());
}

namespace {

// The byte the lock takes: far past the process ID the file holds, so that
// a game can read that while the lock is held.
const DWORD kLockedByteOffset = 1u << 20;

}  // namespace

LockResult PlatformLockDirectory(const std::string& lockFile) {
    // Read access alone, so that even a reader that shares only reading
    // (.NET) can open the file for the holder's ID, which is written through
    // a handle of its own. Deleting is not shared, so that neither the file
    // nor its folder can go while the bridge runs. The byte lock is what
    // excludes. The handle stays open for the life of the process, and the
    // lock with it.
    const HANDLE handle =
        CreateFileW(WidePath(lockFile).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION ? LockResult::HeldElsewhere
                                                         : LockResult::CannotCreate;
    OVERLAPPED at{};
    at.Offset = kLockedByteOffset;
    if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        return LockResult::Locked;
    CloseHandle(handle);
    return LockResult::HeldElsewhere;
}

int64_t PlatformProcessId() { return GetCurrentProcessId(); }

std::optional<std::string> PlatformEnvironmentVariable(const char* name) {
    const WideString wideName = PlatformUtf8ToWide(name);
    const DWORD needed = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (needed == 0) return std::nullopt;
    WideString value(needed, L'\0');
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), &value[0], needed);
    if (length >= needed) return std::nullopt;
    return PlatformWideToUtf8(value.data(), length);
}

namespace {

// File times and the system clock both count 100 ns steps.
int64_t Steps(const FILETIME& t) { return (int64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; }

}  // namespace

std::optional<FileStamp> PlatformFileStamp(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &info))
        return std::nullopt;
    return FileStamp{(uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow,
                     Steps(info.ftLastWriteTime) / 10};
}

// The creation time is on the system clock: one set back in the moments
// since the start gives no age at all rather than a negative one.
int64_t PlatformProcessAgeMicroseconds() {
    FILETIME created, exited, kernel, user, now;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    GetSystemTimeAsFileTime(&now);
    return std::max<int64_t>(0, (Steps(now) - Steps(created)) / 10);
}

namespace {

// Opened once and kept for the life of the bridge: while a handle to it is
// open, the ID of the watched process goes to no other.
HANDLE gWatchedProcess = nullptr;

}  // namespace

WatchResult PlatformWatchProcess(int64_t processId) {
    gWatchedProcess = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId));
    if (gWatchedProcess == nullptr)
        return GetLastError() == ERROR_INVALID_PARAMETER ? WatchResult::Ended
                                                         : WatchResult::CannotWatch;
    return PlatformWatchedProcessEnded() ? WatchResult::Ended : WatchResult::Watching;
}

bool PlatformWatchedProcessEnded() {
    return WaitForSingleObject(gWatchedProcess, 0) == WAIT_OBJECT_0;
}

void PlatformEndAsStopped() {
    TerminateProcess(GetCurrentProcess(), kExitStopped);
    // Only where the system refused.
    ExitProcess(kExitStopped);
}
