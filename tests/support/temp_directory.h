// A fresh directory for one test, removed with everything in it afterwards.
#pragma once

#include <string>

struct TempDirectory {
    std::string path;
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;
    std::string File(const std::string& name) const { return path + "/" + name; }
};

// Makes `path` the current directory while the guard lives.
struct CurrentDirectory {
    std::string previous;
    explicit CurrentDirectory(const std::string& path);
    ~CurrentDirectory();
};

std::string ReadTestFile(const std::string& path);
void WriteTestFile(const std::string& path, const std::string& bytes);
bool TestFileExists(const std::string& path);
