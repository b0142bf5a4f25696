// Holding a file open as a game reads it, on POSIX systems (which have no
// share modes: an open file can always be replaced).
#include "held_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>

HeldFile::HeldFile(const std::string& path) { handle = std::fopen(path.c_str(), "rb"); }

HeldFile::~HeldFile() {
    if (handle != nullptr) std::fclose(static_cast<FILE*>(handle));
}

bool TouchFile(const std::string& path) {
    return utimensat(AT_FDCWD, path.c_str(), nullptr, 0) == 0;
}
