// Start-up as the game sees it: the files the bridge prepares, the two
// ways start-up can fail, and a bridge that cannot find its library.
#include <filesystem>

#include "bridge_fixture.h"
#include "exchange_vocabulary.h"

namespace {

using namespace std::chrono_literals;

class StartupTest : public BridgeProcessTest {};

TEST_P(StartupTest, PreparesTheDataFilesAndKeepsRunning) {
    // A server that takes the connection but never answers keeps the
    // bridge in "starting" long enough to look at it.
    SilentListener server;
    std::filesystem::create_directory(dir.File("data"));
    // An earlier run's command: last written well before this bridge began.
    WriteTestFile(DataPath("cmd.txt"), "refresh");
    std::filesystem::last_write_time(
        DataPath("cmd.txt"),
        std::filesystem::file_time_type::clock::now() - std::chrono::hours(24));
    WriteTestFile(DataPath("pm_in.txt"), "3|old|message\n");
    WriteTestFile(DataPath("corvanex_debug.txt"), "old log line\n");
    WriteTestFile(DataPath("users.txt"), "9|earlier run\n");
    WriteTestFile(DataPath("members.txt"), "9|1\n");
    WriteTestFile(DataPath("channels.txt"), "1||0|0\n");

    const std::string port = std::to_string(server.port);
    Start({"127.0.0.1", port, "10444", "0", "Z\xC3\xA9 \xF0\x9F\x8E\xAE"});

    EXPECT_TRUE(DataBecomes("state.txt", StateText("starting", "Z\xC3\xA9 \xF0\x9F\x8E\xAE")));
    EXPECT_TRUE(DataBecomes("corvanex_debug.txt",
                            "start host=127.0.0.1 tcp=" + port +
                                " udp=10444 nick=Z\xC3\xA9 \xF0\x9F\x8E\xAE\n" +
                                "cmd discarded, written before this bridge started: refresh\n"));
    EXPECT_EQ(Data("cmd.txt"), "");
    EXPECT_EQ(Data("pm_in.txt"), "");
    // The lists are this run's from the start: empty until the server's come.
    for (const char* list : {"users.txt", "members.txt", "channels.txt"})
        EXPECT_EQ(Data(list), "") << list;
    EXPECT_TRUE(DataBecomes(
        "events.txt",
        "1|channels\n2|users\n3|members\n4|taken|refresh\n5|failed|4|discarded|\n6|connecting\n"));
    EXPECT_TRUE(IsRunning(bridge)) << BridgeOutput();
}

// A Windows game that reads the lock and the command file over and over
// with read sharing only, as .NET's File.ReadAllText does, while the bridge
// starts: every start goes through, and an earlier run's command is
// discarded, not left to run.
TEST_P(StartupTest, AReaderThatSharesOnlyReadingStopsNoStart) {
    if (GetParam() != BridgeBuild::Windows)
        GTEST_SKIP() << "share modes hold between Windows programs only";
    const std::string tool = WintoolExecutable();
    ASSERT_FALSE(tool.empty()) << "wintool.exe not built";
    SilentListener server;
    std::filesystem::create_directory(dir.File("data"));
    for (int start = 1; start <= 5; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        StopProcess(bridge);
        std::filesystem::remove(DataPath("events.txt"));
        WriteTestFile(DataPath("cmd.txt"), "ptt_on");
        std::filesystem::last_write_time(DataPath("cmd.txt"),
                                         std::filesystem::file_time_type::clock::now() - 1h);
        std::filesystem::remove(dir.File("wine-output.txt"));
        // Its time only bounds a reader that the test fails to stop.
        ChildProcess reader =
            StartWine({tool, "peek", "60000", "data\\voicebridge.lock", "data\\cmd.txt"}, dir.path);
        ASSERT_TRUE(WaitUntil([&] {
            return ReadTestFile(dir.File("wine-output.txt")).find("peeking") != std::string::npos;
        }));
        Start({"127.0.0.1", std::to_string(server.port)});
        EXPECT_TRUE(WaitUntil([&] {
            return Data("events.txt").find("|discarded|") != std::string::npos || HasEnded(bridge);
        })) << Data("events.txt");
        int code = -1;
        EXPECT_FALSE(WaitForExit(bridge, 0ms, code))
            << DescribeExit(code) << Data("corvanex_debug.txt");
        StopProcess(reader);
    }
}

TEST_P(StartupTest, DefaultsWithoutArguments) {
    Start({}, {{"VOICECLIENT_FAIL_INIT", "1"}});
    int code = -1;
    ASSERT_TRUE(WaitForExit(bridge, 30s, code));
    EXPECT_EQ(code, kExitStartupFailed) << DescribeExit(code) << BridgeOutput();
    EXPECT_EQ(Data("corvanex_debug.txt"),
              "start host=localhost tcp=10333 udp=10333 nick=Jogador\n");
}

struct StartupFailure {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::string>> environment;
    const char* error;
};

TEST_P(StartupTest, FailsWithExitCodeOneAndAnErrorState) {
    const StartupFailure cases[] = {
        {"no instance", {"127.0.0.1", "10333"}, {{"VOICECLIENT_FAIL_INIT", "1"}}, kNoInstanceText},
        {"port 0", {"127.0.0.1", "0"}, {}, kNoConnectionText},
        {"non-numeric port", {"127.0.0.1", "abc", "1", "1", "Ana"}, {}, kNoConnectionText},
        {"empty host", {"", "10333"}, {}, kNoConnectionText},
        {"port above 65535", {"127.0.0.1", "70000"}, {}, kNoConnectionText},
    };
    for (const StartupFailure& c : cases) {
        SCOPED_TRACE(c.name);
        TempDirectory run;
        ChildProcess process = StartBridge(GetParam(), executable, run.path, c.args, c.environment);
        int code = -1;
        ASSERT_TRUE(WaitForExit(process, 30s, code));
        EXPECT_EQ(code, kExitStartupFailed)
            << DescribeExit(code) << ReadTestFile(run.File("bridge-output.txt"));
        const std::string nick = c.args.size() > 4 ? c.args[4] : kDefaultNickname;
        EXPECT_EQ(ReadTestFile(run.File("data/state.txt")),
                  StateText("error", nick, 0, 0, "", c.error));
        // The failure is told through the state file only.
        const std::string log = ReadTestFile(run.File("data/corvanex_debug.txt"));
        EXPECT_EQ(log.find('\n'), log.size() - 1) << log;
    }
}

TEST_P(StartupTest, WithoutTheLibraryItDoesNotStartAndTouchesNothing) {
    // The executable alone, away from the library it was built beside.
    TempDirectory alone;
    const std::string copy = alone.File(std::filesystem::path(executable).filename().string());
    std::filesystem::copy_file(executable, copy);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    ChildProcess process = StartBridge(GetParam(), copy, dir.path, {"127.0.0.1", "10333"});
    int code = -1;
    ASSERT_TRUE(WaitForExit(process, 30s, code));
    EXPECT_NE(code, 0);
    EXPECT_NE(code, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("data")));
}

INSTANTIATE_FOR_BOTH_BUILDS(StartupTest);

}  // namespace
