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

// Sets the file's modification time to now, as a game's write does, through
// the system's own call; false when there is no such file.
bool TouchFile(const std::string& path);
