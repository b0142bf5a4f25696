// The game's side of the exchange files, as gamectl and the process tests
// use it.
#include "game_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <thread>

#include "temp_directory.h"

namespace {

using namespace std::chrono_literals;

TEST(ParseStateText, ReadsTheSevenEntriesWithRawValues) {
    const auto entries = ParseStateText(
        "status|authorized\nptt|1\nmyuserid|12\nmychannelid|3\nmychannelname|Sala|A\nlinha\n"
        "nickname|Z\xC3\xA9\nerror|\n");
    const std::map<std::string, std::string> expected = {{"status", "authorized"},
                                                         {"ptt", "1"},
                                                         {"myuserid", "12"},
                                                         {"mychannelid", "3"},
                                                         {"mychannelname", "Sala|A\nlinha"},
                                                         {"nickname", "Z\xC3\xA9"},
                                                         {"error", ""}};
    EXPECT_EQ(entries, expected);
}

TEST(ParseStateText, StopsAtWhatIsNotAStateFile) {
    EXPECT_TRUE(ParseStateText("").empty());
    EXPECT_TRUE(ParseStateText("garbage\n").empty());
    EXPECT_EQ(ParseStateText("status|starting\nbogus|1\n").size(), 1u);
}

TEST(SendCommand, WaitsForTheFileToBeFreeAndThenTaken) {
    TempDirectory dir;
    const std::string data = dir.File("data");
    std::filesystem::create_directory(data);
    WriteTestFile(data + "/cmd.txt", "previous");
    // A stand-in bridge: takes whatever command it finds, twice.
    std::thread bridge([&] {
        for (int taken = 0; taken < 2;) {
            if (!ReadDataFile(data, "cmd.txt").empty()) {
                WriteTestFile(data + "/log.txt", ReadTestFile(data + "/log.txt") +
                                                     ReadDataFile(data, "cmd.txt") + "\n");
                WriteTestFile(data + "/cmd.txt", "");
                ++taken;
            }
            std::this_thread::sleep_for(5ms);
        }
    });
    EXPECT_TRUE(SendCommand(data, "ptt_on", 10s));
    bridge.join();
    EXPECT_EQ(ReadTestFile(data + "/log.txt"), "previous\nptt_on\n");
    // Nobody takes this one.
    EXPECT_FALSE(SendCommand(data, "leave", 200ms));
}

TEST(ReadNewMessages, ReturnsEachCompleteEntryOnce) {
    // One reader through a sequence of file contents (nullopt: no file),
    // and what each read returns.
    using Steps = std::vector<std::pair<std::optional<std::string>, std::vector<std::string>>>;
    const std::vector<Steps> cases = {
        // a last line waits for its line feed; nothing new, nothing returned
        {{"1|A|a", {}},
         {"1|A|a\n2|B|", {"1|A|a"}},
         {"1|A|a\n2|B|b c\n", {"2|B|b c"}},
         {"1|A|a\n2|B|b c\n", {}}},
        // a restarted bridge empties the file, or a shorter one is there
        {{"1|A|a\n", {"1|A|a"}}, {"", {}}, {"2|B|b\n", {"2|B|b"}}},
        {{"1|A|longer\n", {"1|A|longer"}}, {"2|B|x\n", {"2|B|x"}}},
        // a file not there for a moment keeps the place
        {{std::nullopt, {}},
         {"1|A|a\n", {"1|A|a"}},
         {std::nullopt, {}},
         {"1|A|a\n2|B|b\n", {"2|B|b"}}},
    };
    for (size_t c = 0; c < cases.size(); ++c) {
        TempDirectory dir;
        LineReader reader;
        for (size_t i = 0; i < cases[c].size(); ++i) {
            std::filesystem::remove(dir.File("pm_in.txt"));
            if (cases[c][i].first) WriteTestFile(dir.File("pm_in.txt"), *cases[c][i].first);
            EXPECT_EQ(ReadNewMessages(dir.path, reader), cases[c][i].second)
                << "case " << c + 1 << ", read " << i + 1;
        }
    }
}

TEST(ReadNewEvents, ReadsTheRestOfAMovedFileFirst) {
    TempDirectory dir;
    LineReader reader;
    WriteTestFile(dir.File("events.txt"), "1|connecting\n");
    EXPECT_EQ(ReadNewEvents(dir.path, reader), std::vector<std::string>{"1|connecting"});
    // The bridge moves the full file aside and begins a new one.
    WriteTestFile(dir.File("events.old.txt"), "1|connecting\n2|users\n3|channels\n");
    WriteTestFile(dir.File("events.txt"), "4|moved|events.old.txt\n");
    EXPECT_EQ(ReadNewEvents(dir.path, reader),
              (std::vector<std::string>{"2|users", "3|channels", "4|moved|events.old.txt"}));
    EXPECT_EQ(ReadNewEvents(dir.path, reader), std::vector<std::string>{});
}

}  // namespace
