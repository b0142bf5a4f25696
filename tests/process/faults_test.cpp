// Faults around a running bridge: files it cannot write, a server that dies
// or talks nonsense, command files and command lines no game should write.
// The bridge must keep running, keep its files true and lose nothing.
#include <filesystem>
#include <thread>

#include "exchange_vocabulary.h"
#include "session_fixture.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class FaultTest : public SessionTest {
protected:
    std::vector<ChildProcess> holders;

    void TearDown() override {
        for (ChildProcess& holder : holders) StopProcess(holder);
        SessionTest::TearDown();
    }

    // Makes a data file unwritable: on Windows the game holds it open
    // without sharing; natively a directory takes its place.
    void Block(const std::string& name) {
        if (GetParam() == BridgeBuild::Windows) {
            const std::string tool = WintoolExecutable();
            ASSERT_FALSE(tool.empty()) << "wintool.exe not built";
            holders.push_back(
                StartWine({tool, "hold", "data\\" + name, name + ".release"}, dir.path));
            ASSERT_TRUE(WaitUntil([&] { return TestFileExists(DataPath(name + ".holding")); }));
        } else {
            fs::remove(DataPath(name));
            fs::create_directory(DataPath(name));
        }
    }

    void Unblock(const std::string& name) {
        if (GetParam() == BridgeBuild::Windows)
            WriteTestFile(dir.File(name + ".release"), "");
        else
            fs::remove(DataPath(name));
    }

    // Two loop turns have passed once two commands have been taken.
    void LetTurnsPass() {
        Command("joinid 0");
        Command("joinid 0");
    }

    std::string Me() const { return std::to_string(myUserId); }
};

TEST_P(FaultTest, UnwritableFilesCatchUpOnceFreeAndLoseNoMessage) {
    StartLoggedIn();
    const std::vector<std::string> files = {"state.txt", "users.txt", "channels.txt", "pm_in.txt"};
    for (const std::string& name : files) Block(name);
    Control({"bot", "add", "700", "Bea"});
    Control({"channel", "add", "7", "1", "Sete"});
    Command("ptt_on");
    for (const char* text : {"um", "dois|2", "tr\xC3\xAAs\nlinha"})
        Control({"bot", "say", "700", Me(), text});
    LetTurnsPass();
    EXPECT_TRUE(IsRunning(bridge));
    for (const std::string& name : files) Unblock(name);

    EXPECT_TRUE(DataBecomes("users.txt", Me() + "|Ana\n700|Bea\n"));
    EXPECT_TRUE(DataBecomes("channels.txt", "1||0|0\n7|Sete|0|1\n"));
    EXPECT_TRUE(
        DataBecomes("state.txt", StateText("authorized", "Ana", myUserId, 0, "", "", true)));
    EXPECT_TRUE(
        DataBecomes("pm_in.txt", "700|Bea|um\n700|Bea|dois|2\n700|Bea|tr\xC3\xAAs linha\n"));
    EXPECT_FALSE(TestFileExists(DataPath("state.txt.tmp")));
}

TEST_P(FaultTest, AServerThatDiesLeavesAnErrorAndARunningBridge) {
    StartLoggedIn();
    StopProcess(sim.process);
    EXPECT_TRUE(
        DataBecomes("state.txt", StateText("error", "Ana", 0, 0, "", kConnectionFailedText)));
    // A new server on the same machine changes nothing: there is no
    // reconnect, and a command fails, over a state that stays "error".
    sim = StartVoiceSim(dir.path);
    Command("ptt_on");
    EXPECT_TRUE(WaitUntil([&] { return Count(Data("events.txt"), "|session_over|") == 1; }))
        << Data("events.txt");
    EXPECT_EQ(Data("state.txt"), StateText("error", "Ana", 0, 0, "", kConnectionFailedText));
    EXPECT_TRUE(IsRunning(bridge));
}

TEST_P(FaultTest, ServerLinesItDoesNotUnderstandAreIgnoredOrEndTheLink) {
    StartLoggedIn();
    const std::string longName(3000, 'x');
    // Harmless: unknown names and garbage are ignored; over-long and
    // invalid text is cut and mended within the record.
    for (const std::string& raw :
         {std::string("NO_SUCH_EVENT\t1\t2"), std::string("\x01\x02 garbage \xFF"), std::string(""),
          "USER_LOGGEDIN\t800\t0\t" + longName + "\tu",
          std::string("USER_LOGGEDIN\t801\t0\t\xFF\xC3\tu"),
          std::string("CHANNEL_NEW\t1\t9\tNove\t0\textra\tfields")})
        Control({"client", "raw", Me(), raw});
    EXPECT_TRUE(DataBecomes("users.txt", Me() + "|Ana\n800|" + std::string(511, 'x') +
                                             "\n801|\xEF\xBF\xBD\xEF\xBF\xBD\n"));
    EXPECT_TRUE(DataBecomes("channels.txt", "1||0|0\n9|Nove|0|1\n"));
    EXPECT_EQ(StateEntry("status"), "authorized");

    // A known message that breaks its own rules is a protocol fault.
    Control({"client", "raw", Me(), "USER_LOGGEDIN\tnot a number\t0\tx\ty"});
    EXPECT_TRUE(
        DataBecomes("state.txt", StateText("error", "Ana", 0, 0, "", kConnectionFailedText)));
    EXPECT_TRUE(IsRunning(bridge));
}

TEST_P(FaultTest, AnOverLongServerLineEndsTheLink) {
    StartLoggedIn();
    Control({"client", "raw", Me(), "USER_LOGGEDIN\t5\t0\t" + std::string(70000, 'y') + "\tu"});
    EXPECT_TRUE(
        DataBecomes("state.txt", StateText("error", "Ana", 0, 0, "", kConnectionFailedText)));
    EXPECT_TRUE(IsRunning(bridge));
}

TEST_P(FaultTest, CommandFilesNoGameShouldWrite) {
    Control({"bot", "add", "990", "Sink"});
    StartLoggedIn();
    const struct {
        const char* name;
        std::string bytes;
        std::string sent;  // the MESSAGE text the server receives, "" for none
    } cases[] = {
        {"zero byte", std::string("pm 990|a\0b", 10), ""},
        {"invalid UTF-8", "pm 990|caf\xE9 fim", "caf\xEF\xBF\xBD fim"},
        {"binary", std::string("\x00\x01\xFF\xFEpm 990|x", 10), ""},
        {"byte-order mark", "\xEF\xBB\xBFpm 990|bom", ""},
    };
    // Counted by the messages the server got: the login's own requests may
    // reach its log later than the test's first look.
    const auto messagesSent = [&] {
        std::vector<std::string> messages;
        for (const std::string& line : RequestsFrom(myUserId))
            if (line.rfind("MESSAGE\t", 0) == 0) messages.push_back(line);
        return messages;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = messagesSent().size();
        WriteTestFile(DataPath("cmd.txt"), c.bytes);
        ASSERT_TRUE(DataBecomes("cmd.txt", ""));
        LetTurnsPass();
        const std::vector<std::string> messages = messagesSent();
        if (c.sent.empty()) {
            EXPECT_EQ(messages.size(), before);
        } else {
            ASSERT_EQ(messages.size(), before + 1);
            EXPECT_NE(messages.back().find("\t" + c.sent + "\t"), std::string::npos)
                << messages.back();
        }
    }
    EXPECT_TRUE(IsRunning(bridge));
}

TEST_P(FaultTest, AHugeMissingOrMisplacedCommandFileIsSurvived) {
    StartLoggedIn();
    // 100 MB: refused unread, named in the log, the file emptied.
    WriteTestFile(DataPath("cmd.txt"), std::string(100 * 1024 * 1024, 'z'));
    EXPECT_TRUE(WaitUntil(
        [&] { return TestFileExists(DataPath("cmd.txt")) && Data("cmd.txt").empty(); }, 60s));
    EXPECT_NE(Data("corvanex_debug.txt").find("cmd ignored: longer than 1048576 bytes\n"),
              std::string::npos);
    // Deleted between turns, then a directory in its place.
    fs::remove(DataPath("cmd.txt"));
    std::this_thread::sleep_for(300ms);  // a few turns with no file at all
    fs::create_directory(DataPath("cmd.txt"));
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(IsRunning(bridge));
    fs::remove(DataPath("cmd.txt"));
    Command("ptt_on");
    EXPECT_TRUE(WaitUntil([&] { return StateEntry("ptt") == "1"; }));
}

// A reader that reads the state file over and over while the bridge
// publishes thousands of changes must find a whole file every time.
TEST_P(FaultTest, ReadersNeverSeeATornStateFile) {
    Control({"channel", "add", "5", "1", "n0"});
    StartLoggedIn();
    Command("joinid 5");
    ASSERT_TRUE(WaitUntil([&] { return StateEntry("mychannelid") == "5"; }));
    const int renames = 2000;
    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, torn{0};
    std::string tornExample;
    std::thread reader([&] {
        while (!done || reads < 20000) {
            const std::string text = Data("state.txt");
            const auto entries = ParseStateText(text);
            if (entries.size() != 7 || text.back() != '\n' ||
                entries.at("status") != "authorized") {
                if (torn++ == 0) tornExample = text;
            }
            ++reads;
        }
    });
    SimControlLink link;
    ASSERT_TRUE(SimControlOpen(link, sim.controlPort));
    for (int i = 1; i <= renames; ++i)
        ASSERT_EQ(SimControlCommand(link, {"channel", "rename", "5", "n" + std::to_string(i)})[0],
                  "OK");
    SimControlClose(link);
    EXPECT_TRUE(
        WaitUntil([&] { return StateEntry("mychannelname") == "n" + std::to_string(renames); }));
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0) << tornExample;
    EXPECT_GE(reads, 20000);
}

INSTANTIATE_FOR_BOTH_BUILDS(FaultTest);

// Command lines a game should never pass.
class CommandLineFaultTest : public BridgeProcessTest {};

TEST_P(CommandLineFaultTest, EmptyAndSurplusArguments) {
    SilentListener server;
    std::vector<std::string> many = {"127.0.0.1", std::to_string(server.port), "1", "0", "Ana"};
    for (int i = 0; i < 300; ++i) many.push_back("extra" + std::to_string(i));
    Start(many);
    EXPECT_TRUE(DataBecomes(
        "corvanex_debug.txt",
        "start host=127.0.0.1 tcp=" + std::to_string(server.port) + " udp=1 nick=Ana\n"));
    EXPECT_TRUE(DataBecomes("state.txt", StateText("starting", "Ana")));

    TempDirectory run;
    ChildProcess empty = StartBridge(GetParam(), executable, run.path, {"", "", "", "", ""});
    int code = -1;
    ASSERT_TRUE(WaitForExit(empty, 30s, code));
    EXPECT_EQ(code, 1);
    EXPECT_EQ(ReadTestFile(run.File("data/state.txt")),
              StateText("error", "", 0, 0, "", kNoConnectionText));
    EXPECT_EQ(ReadTestFile(run.File("data/corvanex_debug.txt")), "start host= tcp=0 udp=0 nick=\n");
}

TEST_P(CommandLineFaultTest, UnpairedSurrogatesOnWindowsBecomeReplacementCharacters) {
    if (GetParam() != BridgeBuild::Windows)
        GTEST_SKIP() << "only a Windows command line holds them";
    const std::string tool = WintoolExecutable();
    ASSERT_FALSE(tool.empty()) << "wintool.exe not built";
    // Port 0 ends start-up at once, after the configuration is published.
    ChildProcess spawn = StartWine(
        {tool, "spawn", executable, "h\\uD800", "0", "1", "0", "a\\uDC00z\\uD83C"}, dir.path);
    int code = -1;
    ASSERT_TRUE(WaitForExit(spawn, 30s, code));
    EXPECT_EQ(code, 1);
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(Data("corvanex_debug.txt"),
              "start host=h" + fffd + " tcp=0 udp=1 nick=a" + fffd + "z" + fffd + "\n");
    EXPECT_EQ(Data("state.txt"),
              StateText("error", "a" + fffd + "z" + fffd, 0, 0, "", kNoConnectionText));
}

INSTANTIATE_FOR_BOTH_BUILDS(CommandLineFaultTest);

}  // namespace
