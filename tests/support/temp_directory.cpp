// Temporary directories and plain file access for tests, independent of the
// bridge's own file layer so that each can check the other.
#include "temp_directory.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

TempDirectory::TempDirectory() {
    std::random_device random;
    for (;;) {
        fs::path candidate = fs::temp_directory_path() / ("vbtest-" + std::to_string(random()));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            path = candidate.generic_string();
            return;
        }
    }
}

TempDirectory::~TempDirectory() {
    std::error_code error;
    fs::remove_all(path, error);
}

CurrentDirectory::CurrentDirectory(const std::string& path)
    : previous(fs::current_path().generic_string()) {
    fs::current_path(path);
}

CurrentDirectory::~CurrentDirectory() { fs::current_path(previous); }

std::string ReadTestFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteTestFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool TestFileExists(const std::string& path) { return fs::exists(path); }
