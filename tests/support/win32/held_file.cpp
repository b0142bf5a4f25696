// Holding a file open as a game reads it, on Windows: for reading, with
// read, write and delete sharing.
#include "held_file.h"

#include <windows.h>

HeldFile::HeldFile(const std::string& path) {
    const std::wstring wide(path.begin(), path.end());
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) handle = h;
}

HeldFile::~HeldFile() {
    if (handle != nullptr) CloseHandle(handle);
}

bool TouchFile(const std::string& path) {
    const std::wstring wide(path.begin(), path.end());
    HANDLE h = CreateFileW(wide.c_str(), FILE_WRITE_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const bool done = SetFileTime(h, nullptr, nullptr, &now) != 0;
    CloseHandle(h);
    return done;
}
