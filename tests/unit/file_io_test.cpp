// Whole-file primitives and publishing, on the real file system.
#include "files/file_io.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>

#include "files/pending_writes.h"
#include "held_file.h"
#include "platform.h"
#include "temp_directory.h"

namespace {

class FileIoTest : public ::testing::Test {
protected:
    TempDirectory dir;
    CurrentDirectory cwd{dir.path};
    void SetUp() override {
        PlatformMakeDirectory("data");
        gPendingWrites = PendingWrites();
    }
};

// The whole content, or "<missing>" and "<too large>" for the failures.
std::string Read(const std::string& path, size_t maxBytes = SIZE_MAX) {
    std::string bytes = "stale";
    const FileReadResult result = ReadWholeFile(path, bytes, maxBytes);
    if (result != FileReadResult::Ok && !bytes.empty()) return "<bytes left on failure>";
    if (result == FileReadResult::Missing) return "<missing>";
    if (result == FileReadResult::TooLarge) return "<too large>";
    return bytes;
}

TEST_F(FileIoTest, ReadTellsMissingFromEmpty) {
    EXPECT_EQ(Read("data\\missing.txt"), "<missing>");
    WriteTestFile(dir.File("data/empty.txt"), "");
    EXPECT_EQ(Read("data\\empty.txt"), "");
}

TEST_F(FileIoTest, WindowsPathsNameFilesInsideData) {
    EXPECT_TRUE(WriteWholeFile("data\\state.txt", "x"));
    EXPECT_EQ(ReadTestFile(dir.File("data/state.txt")), "x");
}

TEST_F(FileIoTest, WriteTruncatesAndKeepsEveryByte) {
    const std::string bytes("a\r\nb\0c\xFF", 7);
    WriteTestFile(dir.File("data/f.txt"), "much longer old content");
    EXPECT_TRUE(WriteWholeFile("data\\f.txt", bytes));
    EXPECT_EQ(ReadTestFile(dir.File("data/f.txt")), bytes);
    EXPECT_EQ(Read("data\\f.txt"), bytes);
    EXPECT_TRUE(WriteWholeFile("data\\f.txt", ""));
    EXPECT_TRUE(TestFileExists(dir.File("data/f.txt")));
    EXPECT_EQ(ReadTestFile(dir.File("data/f.txt")), "");
    EXPECT_TRUE(WriteWholeFile("data\\new.txt", ""));
    EXPECT_TRUE(TestFileExists(dir.File("data/new.txt")));
}

TEST_F(FileIoTest, AppendCreatesThenAdds) {
    EXPECT_TRUE(AppendToFile("data\\log.txt", "one\n"));
    EXPECT_TRUE(AppendToFile("data\\log.txt", "two\n"));
    EXPECT_EQ(Read("data\\log.txt"), "one\ntwo\n");
}

TEST_F(FileIoTest, FailuresAreSilent) {
    EXPECT_FALSE(WriteWholeFile("nodir\\f.txt", "x"));
    EXPECT_FALSE(AppendToFile("nodir\\f.txt", "x"));
    EXPECT_EQ(Read("nodir\\f.txt"), "<missing>");
    EXPECT_EQ(Read("data"), "<missing>");  // a directory is no file
}

TEST_F(FileIoTest, ReadRefusesFilesBeyondTheBound) {
    WriteTestFile(dir.File("data/big.txt"), std::string(100, 'x'));
    EXPECT_EQ(Read("data\\big.txt", 99), "<too large>");
    EXPECT_EQ(Read("data\\big.txt", 100), std::string(100, 'x'));
}

TEST_F(FileIoTest, PublishReplacesWholeAndLeavesNoTemporaryFile) {
    WriteTestFile(dir.File("data/state.txt"), "old content that is longer\n");
    EXPECT_TRUE(PublishFile("data\\state.txt", "new\n"));
    EXPECT_EQ(ReadTestFile(dir.File("data/state.txt")), "new\n");
    EXPECT_FALSE(TestFileExists(dir.File("data/state.txt.tmp")));
    EXPECT_FALSE(HasPendingWrites());
}

// Where the system replaces a file that a reader holds (POSIX, Windows 10
// with delete sharing) the publish lands at once; where it refuses (Wine,
// older Windows) the old content stays whole for a second, and then the
// file is written in place, as the debug log notes.
TEST_F(FileIoTest, PublishLandsWhileTheGameHoldsTheFileOpen) {
    WriteTestFile(dir.File("data/state.txt"), "old\n");
    HeldFile reader(dir.File("data/state.txt"));
    ASSERT_TRUE(reader.IsOpen());
    const auto start = std::chrono::steady_clock::now();
    const bool atOnce = PublishFile("data\\state.txt", "new\n");
    if (!atOnce) {
        EXPECT_EQ(Read("data\\state.txt"), "old\n");
    }
    while (HasPendingWrites() && std::chrono::steady_clock::now() - start < std::chrono::seconds(3))
        RetryPendingWrites();
    EXPECT_EQ(Read("data\\state.txt"), "new\n");
    EXPECT_EQ(Read("data\\corvanex_debug.txt") != "<missing>", !atOnce);
    EXPECT_FALSE(TestFileExists(dir.File("data/state.txt.tmp")));
}

TEST_F(FileIoTest, PublishThatCannotLandIsRetriedWithTheNewestContent) {
    // A directory where the file should be: neither the replace nor the
    // in-place write can succeed until it is gone.
    PlatformMakeDirectory("data\\users.txt");
    EXPECT_FALSE(PublishFile("data\\users.txt", "first\n"));
    EXPECT_FALSE(PublishFile("data\\users.txt", "second\n"));
    EXPECT_TRUE(HasPendingWrites());
    RetryPendingWrites();
    EXPECT_TRUE(HasPendingWrites());
    std::filesystem::remove(dir.File("data/users.txt"));
    RetryPendingWrites();
    EXPECT_FALSE(HasPendingWrites());
    EXPECT_EQ(ReadTestFile(dir.File("data/users.txt")), "second\n");
}

}  // namespace
