// A file held open the way a game reads an exchange file: for reading, with
// full sharing (read, write and delete on Windows).
#pragma once

#include <string>

struct HeldFile {
    void* handle = nullptr;
    explicit HeldFile(const std::string& path);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool IsOpen() const { return handle != nullptr; }
};
