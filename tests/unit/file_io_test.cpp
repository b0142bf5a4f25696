// Whole-file primitives and publishing, on the real file system.
#include "files/file_io.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "files/publish.h"
#include "held_file.h"
#include "platform.h"
#include "temp_directory.h"

namespace {

class FileIoTest : public ::testing::Test {
protected:
    TempDirectory dir;
    CurrentDirectory cwd{dir.path};
    void SetUp() override { PlatformMakeDirectory("data"); }
};

TEST_F(FileIoTest, ReadOfMissingAndEmptyFilesGivesEmptyText) {
    EXPECT_EQ(ReadWholeFile("data\\missing.txt"), "");
    WriteTestFile(dir.File("data/empty.txt"), "");
    EXPECT_EQ(ReadWholeFile("data\\empty.txt"), "");
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
    EXPECT_EQ(ReadWholeFile("data\\f.txt"), bytes);
    EXPECT_TRUE(WriteWholeFile("data\\f.txt", ""));
    EXPECT_TRUE(TestFileExists(dir.File("data/f.txt")));
    EXPECT_EQ(ReadTestFile(dir.File("data/f.txt")), "");
    EXPECT_TRUE(WriteWholeFile("data\\new.txt", ""));
    EXPECT_TRUE(TestFileExists(dir.File("data/new.txt")));
}

TEST_F(FileIoTest, AppendCreatesThenAdds) {
    EXPECT_TRUE(AppendToFile("data\\log.txt", "one\n"));
    EXPECT_TRUE(AppendToFile("data\\log.txt", "two\n"));
    EXPECT_EQ(ReadWholeFile("data\\log.txt"), "one\ntwo\n");
}

TEST_F(FileIoTest, FailuresAreSilent) {
    EXPECT_FALSE(WriteWholeFile("nodir\\f.txt", "x"));
    EXPECT_FALSE(AppendToFile("nodir\\f.txt", "x"));
    EXPECT_EQ(ReadWholeFile("nodir\\f.txt"), "");
    EXPECT_EQ(ReadWholeFile("data"), "");  // a directory is no file
}

TEST_F(FileIoTest, ReadRefusesFilesBeyondTheBound) {
    WriteTestFile(dir.File("data/big.txt"), std::string(100, 'x'));
    std::string bytes = "stale";
    EXPECT_EQ(PlatformReadFile("data\\big.txt", bytes, 99), FileReadResult::TooLarge);
    EXPECT_EQ(bytes, "");
    EXPECT_EQ(PlatformReadFile("data\\big.txt", bytes, 100), FileReadResult::Ok);
    EXPECT_EQ(bytes.size(), 100u);
}

TEST_F(FileIoTest, PublishReplacesWholeAndLeavesNoTemporaryFile) {
    WriteTestFile(dir.File("data/state.txt"), "old content that is longer\n");
    EXPECT_TRUE(PublishFile("data\\state.txt", "new\n"));
    EXPECT_EQ(ReadTestFile(dir.File("data/state.txt")), "new\n");
    EXPECT_FALSE(TestFileExists(dir.File("data/state.txt.tmp")));
    EXPECT_FALSE(HasPendingPublishes());
}

TEST_F(FileIoTest, PublishLandsWhileTheGameHoldsTheFileOpen) {
    WriteTestFile(dir.File("data/state.txt"), "old\n");
    HeldFile reader(dir.File("data/state.txt"));
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_TRUE(PublishFile("data\\state.txt", "new\n"));
    EXPECT_EQ(ReadWholeFile("data\\state.txt"), "new\n");
    EXPECT_FALSE(TestFileExists(dir.File("data/state.txt.tmp")));
}

TEST_F(FileIoTest, PublishThatCannotLandIsRetriedWithTheNewestContent) {
    // A directory where the file should be: neither the replace nor the
    // in-place write can succeed until it is gone.
    PlatformMakeDirectory("data\\users.txt");
    EXPECT_FALSE(PublishFile("data\\users.txt", "first\n"));
    EXPECT_FALSE(PublishFile("data\\users.txt", "second\n"));
    EXPECT_TRUE(HasPendingPublishes());
    RetryPendingPublishes();
    EXPECT_TRUE(HasPendingPublishes());
    std::filesystem::remove(dir.File("data/users.txt"));
    RetryPendingPublishes();
    EXPECT_FALSE(HasPendingPublishes());
    EXPECT_EQ(ReadTestFile(dir.File("data/users.txt")), "second\n");
}

}  // namespace
