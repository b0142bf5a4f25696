// The events file: lines gathered and appended in one go, numbered on, and
// a full file moved aside at most once in a while.
#include "files/event_log.h"

#include <gtest/gtest.h>

#include "exchange_vocabulary.h"
#include "fresh_bridge.h"
#include "platform.h"
#include "temp_directory.h"

namespace {

class EventLogTest : public ::testing::Test {
protected:
    TempDirectory dir;
    CurrentDirectory cwd{dir.path};
    void SetUp() override {
        ResetBridgeRecords();
        PlatformMakeDirectory(kDataDirectoryName);
    }
    std::string Data(const std::string& name) const {
        return ReadTestFile(dir.File("data/" + name));
    }
};

TEST_F(EventLogTest, LinesAreNumberedOnAndTheirTextKeptOnOneLine) {
    EXPECT_EQ(AddEvent(kEventConnecting), 1);
    EXPECT_EQ(AddEvent(kEventOver, {"a|b\nc", "x|y\r\nz"}), 2);
    EXPECT_EQ(Data("events.txt"), "");
    FlushEvents();
    EXPECT_EQ(Data("events.txt"),
              "1|connecting\n2|over|a\xC2\xA6"
              "b c|x|y  z\n");
}

TEST_F(EventLogTest, AFullFileMovesAsideOnceInAWhileAndTheNumbersRunOn) {
    const std::string text(1000, 't');
    const int64_t perFile = kEventsFileRotateBytes / text.size() + 1;
    for (int64_t i = 0; i < perFile; ++i) AddEvent(kEventTaken, {text});
    FlushEvents();
    EXPECT_EQ(Data("events.txt"), std::to_string(perFile + 1) + "|moved|events.old.txt\n");
    const std::string old = Data("events.old.txt");
    EXPECT_EQ(old.compare(0, 8, "1|taken|"), 0);
    EXPECT_EQ(
        old.size(), perFile * text.size() + perFile * std::string("|taken|\n").size() + [&] {
            size_t digits = 0;
            for (int64_t i = 1; i <= perFile; ++i) digits += std::to_string(i).size();
            return digits;
        }());
    // Full again at once: it stays, and takes the lines, until 10 s passed.
    for (int64_t i = 0; i < perFile; ++i) AddEvent(kEventTaken, {text});
    FlushEvents();
    EXPECT_GT(Data("events.txt").size(), kEventsFileRotateBytes);
}

}  // namespace
