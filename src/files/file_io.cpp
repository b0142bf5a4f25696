// Whole-file primitives over the platform layer's shared-mode file calls.
#include "files/file_io.h"

bool WriteWholeFile(const std::string& path, const std::string& text) {
    return PlatformWriteFile(path, text, FileWriteMode::Truncate);
}

bool AppendToFile(const std::string& path, const std::string& text) {
    return PlatformWriteFile(path, text, FileWriteMode::Append);
}

bool CreateFileIfAbsent(const std::string& path, const std::string& text) {
    return PlatformWriteFile(path, text, FileWriteMode::CreateNew);
}

FileReadResult ReadWholeFile(const std::string& path, std::string& bytes, size_t maxBytes) {
    return PlatformReadFile(path, bytes, maxBytes);
}
