// The exchange files as games use them: Windows readers with the sharing
// their runtimes ask for, a game that keeps the state file open, commands
// written in several pieces, and a disk that runs full. The Windows side
// is wintool.exe, a Windows program beside voicebridge.exe under Wine.
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "session_fixture.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class ExchangeTest : public SessionTest {
protected:
    std::vector<ChildProcess> tools;

    void TearDown() override {
        for (ChildProcess& tool : tools) StopProcess(tool);
        SessionTest::TearDown();
    }

    bool OnWindows() const { return GetParam() == BridgeBuild::Windows; }

    void StartTool(const std::vector<std::string>& args) {
        const std::string tool = WintoolExecutable();
        ASSERT_FALSE(tool.empty()) << "wintool.exe not built";
        std::vector<std::string> argv = {tool};
        argv.insert(argv.end(), args.begin(), args.end());
        tools.push_back(StartWine(argv, dir.path));
    }

    // Toggles push-to-talk and waits for the state to show it.
    ::testing::AssertionResult Toggle(bool on, std::chrono::milliseconds within) {
        Command(on ? "ptt_on" : "ptt_off");
        if (WaitUntil([&] { return StateEntry("ptt") == (on ? "1" : "0"); }, within))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "not published within " << within.count() << " ms";
    }

    std::vector<std::string> MessagesSent() const {
        std::vector<std::string> texts;
        for (const std::string& line : RequestsFrom(myUserId)) {
            std::vector<std::string> fields = SplitOn(line, '\t');
            if (fields.size() >= 6 && fields[0] == "MESSAGE") texts.push_back(fields[5]);
        }
        return texts;
    }

    static std::vector<std::string> SplitOn(const std::string& text, char separator) {
        std::vector<std::string> fields(1);
        for (char c : text) {
            if (c == separator)
                fields.emplace_back();
            else
                fields.back().push_back(c);
        }
        return fields;
    }
};

// "reads N empty N torn N refused N" as numbers by name.
std::map<std::string, long> ReaderCounts(const std::string& text) {
    std::map<std::string, long> counts;
    std::istringstream words(text);
    std::string name;
    long value = 0;
    while (words >> name >> value) counts[name] = value;
    return counts;
}

TEST_P(ExchangeTest, AWindowsReaderNeverSeesTheStateFileEmptyOrTorn) {
    if (!OnWindows()) GTEST_SKIP() << "share modes hold between Windows programs only";
    StartLoggedIn();
    // As the C runtime's fopen, and as a reader that shares deletion too.
    for (const std::string share : {"rw", "rwd"}) {
        SCOPED_TRACE(share);
        const std::string stop = "stop-" + share, result = "reads-" + share;
        StartTool({"read", "data\\state.txt", share, stop, result});
        int toggles = 0;
        // The reads are what the test is about, not how fast they come: a
        // machine busy with other work gets the time to make them.
        const auto deadline = std::chrono::steady_clock::now() + 300s;
        while ((toggles < 40 || ReaderCounts(ReadTestFile(dir.File(result)))["reads"] < 100000) &&
               std::chrono::steady_clock::now() < deadline)
            ASSERT_TRUE(Toggle(++toggles % 2 == 1, 2s)) << "toggle " << toggles;
        WriteTestFile(dir.File(stop), "");
        int code = -1;
        ASSERT_TRUE(WaitForExit(tools.back(), 30s, code));
        const auto counts = ReaderCounts(ReadTestFile(dir.File(result)));
        EXPECT_GE(counts.at("reads"), 100000);
        EXPECT_EQ(counts.at("empty"), 0);
        EXPECT_EQ(counts.at("torn"), 0);
        RecordProperty("reads_" + share, std::to_string(counts.at("reads")));
    }
}

TEST_P(ExchangeTest, AGameThatKeepsTheStateFileOpenStillSeesTheNewestState) {
    if (!OnWindows()) GTEST_SKIP() << "share modes hold between Windows programs only";
    StartLoggedIn();
    StartTool({"hold", "data\\state.txt", "release", "rw"});
    ASSERT_TRUE(WaitUntil([&] { return TestFileExists(DataPath("state.txt.holding")); }));
    EXPECT_TRUE(Toggle(true, 1500ms));
    // The debug line follows the write, so it may come a moment later.
    EXPECT_TRUE(WaitUntil([&] {
        return Data("corvanex_debug.txt").find("written in place, held open for a second") !=
               std::string::npos;
    }));
    WriteTestFile(dir.File("release"), "");
    EXPECT_FALSE(TestFileExists(DataPath("state.txt.tmp")));
}

TEST_P(ExchangeTest, ACommandWrittenInTwoPiecesIsNeverRunInPart) {
    Control({"bot", "add", "990", "Sink"});
    StartLoggedIn();
    const char* configured = std::getenv("VOICEBRIDGE_CHUNKED_COMMANDS");
    const int count = configured != nullptr ? std::atoi(configured) : 100;
    if (OnWindows()) {
        StartTool({"commands", "data\\cmd.txt", std::to_string(count)});
        int code = -1;
        ASSERT_TRUE(WaitForExit(tools.back(), 600s, code));
        ASSERT_EQ(code, 0);
    } else {
        std::mt19937 random(12345);
        std::uniform_int_distribution<int> phaseMs(0, 199), pauseMs(0, 20);
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(WaitUntil([&] { return CommandFileFree(dir.File("data")); }));
            // At any moment of the bridge's loop turn.
            std::this_thread::sleep_for(std::chrono::milliseconds(phaseMs(random)));
            ASSERT_TRUE(WriteCommandInTwoPieces(dir.File("data"), "pm 990|parte ",
                                                std::to_string(i) + " inteira",
                                                std::chrono::milliseconds(pauseMs(random))));
        }
    }
    std::vector<std::string> sent;
    EXPECT_TRUE(WaitUntil([&] { return (sent = MessagesSent()).size() >= size_t(count); }));
    ASSERT_EQ(sent.size(), size_t(count));
    for (int i = 0; i < count; ++i) EXPECT_EQ(sent[i], "parte " + std::to_string(i) + " inteira");
}

TEST_P(ExchangeTest, ACommandFileHeldOpenIsTakenOnceLetGo) {
    if (!OnWindows()) GTEST_SKIP() << "only Windows refuses to move a file held open";
    StartLoggedIn();
    const auto hold = [&](const std::string& release) {
        fs::remove(DataPath("cmd.txt.holding"));
        StartTool({"hold", "data\\cmd.txt", release, "rw"});
        ASSERT_TRUE(WaitUntil([&] { return TestFileExists(DataPath("cmd.txt.holding")); }));
    };
    // Held a moment, as while the game writes: left alone, then taken. The
    // command goes in once the file is held, or the bridge could take it
    // before the hold begins.
    hold("release-1");
    WriteTestFile(DataPath("cmd.txt"), "ptt_on");
    EXPECT_FALSE(WaitUntil([&] { return StateEntry("ptt") == "1"; }, 600ms));
    EXPECT_EQ(Data("cmd.txt"), "ptt_on");
    WriteTestFile(dir.File("release-1"), "");
    EXPECT_TRUE(WaitUntil([&] { return StateEntry("ptt") == "1"; }));
    // Held for good: taken in place after a second.
    ASSERT_TRUE(WaitUntil([&] { return CommandFileFree(dir.File("data")); }));
    hold("release-2");
    WriteTestFile(DataPath("cmd.txt"), "ptt_off");
    EXPECT_TRUE(WaitUntil([&] { return StateEntry("ptt") == "0"; }, 3s));
    EXPECT_TRUE(DataBecomes("cmd.txt", ""));
    WriteTestFile(dir.File("release-2"), "");
}

// A small file system that runs full: no published file is ever seen empty
// or short, a message is appended whole and once, and all is current once
// there is room again.
TEST_P(ExchangeTest, AFullDiskNeverEmptiesOrTearsAFile) {
    if (OnWindows()) GTEST_SKIP() << "a small file system is mounted natively";
    fs::create_directory(DataPath(""));
    if (mount("tmpfs", DataPath("").c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (not root?)";
    struct Unmount {
        std::string path;
        ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount{DataPath("")};
    Control({"bot", "add", "700", "Bea"});
    StartLoggedIn();
    const std::string me = std::to_string(myUserId);
    ASSERT_TRUE(DataBecomes("users.txt", "700|Bea\n" + me + "|Ana\n"));
    ASSERT_TRUE(DataBecomes("channels.txt", "1||0|0\n"));
    std::atomic<bool> done{false};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        while (!done) {
            const std::string state = Data("state.txt");
            if (ParseStateText(state).size() != 7 || Data("users.txt").empty() ||
                Data("channels.txt").empty())
                ++bad;
        }
    });
    // Fill every block, then make changes of every kind.
    {
        const int fd = open(DataPath("filler").c_str(), O_WRONLY | O_CREAT, 0666);
        const std::string block(4096, 'f');
        while (write(fd, block.data(), block.size()) > 0) {
        }
        close(fd);
    }
    Control({"bot", "add", "900", "Rui"});
    Control({"channel", "add", "7", "1", "Sete"});
    for (int i = 0; i < 3; ++i)
        Control({"bot", "say", "700", std::to_string(myUserId), "msg" + std::to_string(i)});
    Control({"client", "error", me, "Cheio"});
    std::this_thread::sleep_for(500ms);  // several turns of refused writes
    fs::remove(DataPath("filler"));
    EXPECT_TRUE(DataBecomes("users.txt", "700|Bea\n" + me + "|Ana\n900|Rui\n"));
    EXPECT_TRUE(DataBecomes("channels.txt", "1||0|0\n7|Sete|0|1\n"));
    EXPECT_TRUE(DataBecomes("pm_in.txt", "700|Bea|msg0\n700|Bea|msg1\n700|Bea|msg2\n"));
    EXPECT_TRUE(WaitUntil([&] { return StateEntry("error") == "Cheio"; }));
    done = true;
    reader.join();
    EXPECT_EQ(bad, 0);
    EXPECT_FALSE(TestFileExists(DataPath("state.txt.tmp")));
}

// 10,000 entries wait while a Windows game holds pm_in.txt. Once it lets go
// they land in a few whole-entry batches, each once and in order, so that a
// command written at that moment is not kept waiting behind them for one
// open and close per entry, which took about two seconds.
TEST_P(ExchangeTest, AReleasedBacklogLandsInAFewWritesWhileACommandIsTaken) {
    if (!OnWindows()) GTEST_SKIP() << "share modes hold between Windows programs only";
    Control({"bot", "add", "700", "Bea"});
    StartLoggedIn();
    StartTool({"hold", "data\\pm_in.txt", "release"});
    ASSERT_TRUE(WaitUntil([&] { return TestFileExists(DataPath("pm_in.txt.holding")); }));
    const int count = 10000;
    std::string expected;
    SimControlLink link;
    ASSERT_TRUE(SimControlOpen(link, sim.controlPort));
    for (int i = 0; i < count; ++i) {
        SimControlCommand(link, {"bot", "say", "700", std::to_string(myUserId), std::to_string(i)});
        expected += "700|Bea|" + std::to_string(i) + "\n";
    }
    SimControlClose(link);
    // The server's events come in order: once the channel shows, the bridge
    // holds every message.
    Control({"channel", "add", "5", "1", "Depois"});
    ASSERT_TRUE(WaitUntil(
        [&] { return Data("channels.txt").find("5|Depois") != std::string::npos; }, 120s));
    ASSERT_EQ(Data("pm_in.txt"), "");
    WriteTestFile(dir.File("release"), "");
    // Written once the backlog has begun to land.
    ASSERT_TRUE(WaitUntil([&] { return !Data("pm_in.txt").empty(); }));
    const auto written = std::chrono::steady_clock::now();
    ASSERT_TRUE(WriteCommand(dir.File("data"), "ptt_on"));
    ASSERT_TRUE(WaitUntil([&] { return StateEntry("ptt") == "1"; }));
    const auto taken = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - written);
    std::printf("ptt_on taken %lld ms after the backlog was released\n",
                static_cast<long long>(taken.count()));
    // Far above the few milliseconds a batched release costs, far below
    // what one open and close per entry costs under Wine.
    EXPECT_LT(taken, 1000ms);
    EXPECT_TRUE(DataBecomes("pm_in.txt", expected, 60s));
}

INSTANTIATE_FOR_BOTH_BUILDS(ExchangeTest);

}  // namespace
