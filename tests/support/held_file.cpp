// Holding a file open as the game does, on each system.
#include "held_file.h"

#ifdef _WIN32
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
#else
#include <cstdio>

HeldFile::HeldFile(const std::string& path) { handle = std::fopen(path.c_str(), "rb"); }

HeldFile::~HeldFile() {
    if (handle != nullptr) std::fclose(static_cast<FILE*>(handle));
}
#endif
