// Whole-file primitives over the platform layer's shared-mode file calls.
#include "files/file_io.h"

#include <limits>

#include "platform.h"

bool WriteWholeFile(const std::string& path, const std::string& text) {
    return PlatformWriteFile(path, text, FileWriteMode::Truncate);
}

bool AppendToFile(const std::string& path, const std::string& text) {
    return PlatformWriteFile(path, text, FileWriteMode::Append);
}

std::string ReadWholeFile(const std::string& path) {
    std::string bytes;
    if (PlatformReadFile(path, bytes, std::numeric_limits<size_t>::max()) != FileReadResult::Ok)
        bytes.clear();
    return bytes;
}
