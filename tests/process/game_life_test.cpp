// A game's ordinary life with the bridge: a restart in a folder an earlier
// run used, a login the server refuses, the folder taken away under a
// running bridge, files that are not what a bridge expects to find, and a
// game that ends without ending the bridge.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "exchange_vocabulary.h"
#include "session_fixture.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class GameLifeTest : public SessionTest {
protected:
    // What the earlier run left: its state, its lists, nine messages the
    // game has read, and a command of its own that was never taken.
    void LeaveAnEarlierRunBehind() {
        fs::remove_all(DataPath(""));
        fs::create_directory(DataPath(""));
        WriteTestFile(DataPath("state.txt"), StateText("authorized", "Ana", 9, 6, "Seis"));
        WriteTestFile(DataPath("channels.txt"), "6|Seis|0|1\n");
        std::string old;
        for (int i = 1; i <= 9; ++i) old += "700|Bea|velha " + std::to_string(i) + "\n";
        WriteTestFile(DataPath("pm_in.txt"), old);
        WriteTestFile(DataPath("cmd.txt"), "ptt_on");
        fs::last_write_time(DataPath("cmd.txt"), fs::file_time_type::clock::now() - 24h);
    }

    // A game that starts the bridge and looks a frame later: with the
    // recipe, it waits for this run's state and then reads pm_in.txt from
    // its start; without, it trusts the old "authorized" and writes at
    // once. Natively this process is the game; under Wine a Windows
    // program is, since only its CreateProcessW makes the bridge exist
    // before its first write. What the game read of pm_in.txt is returned.
    std::vector<std::string> PlayTheGame(bool recipe, const std::string& command,
                                         ChildProcess& game) {
        const std::vector<std::string> args = {"127.0.0.1", Port(), "10333", "0", "Ana"};
        std::vector<std::string> read;
        if (GetParam() == BridgeBuild::Windows) {
            std::vector<std::string> argv = {
                WintoolExecutable(), "game", recipe ? "1" : "0", command, "stop", executable};
            argv.insert(argv.end(), args.begin(), args.end());
            game = StartWine(argv, dir.path);
            EXPECT_TRUE(WaitUntil([&] {
                return ReadTestFile(dir.File("wine-output.txt")).find("ready") != std::string::npos;
            })) << ReadTestFile(dir.File("wine-output.txt"));
            const std::string printed = ReadTestFile(dir.File("wine-output.txt"));
            for (size_t at = 0; (at = printed.find("pm ", at)) != std::string::npos; at += 3)
                read.push_back(printed.substr(at + 3, printed.find('\n', at) - at - 3));
            return read;
        }
        if (recipe) fs::remove(DataPath("state.txt"));
        Start(args);
        if (recipe) {
            EXPECT_TRUE(WaitUntil([&] {
                return !Data("state.txt").empty() && LockHolder(dir.File("data")) == bridge.pid;
            })) << Data("voicebridge.lock");
            LineReader fromTheStart;
            read = ReadNewMessages(dir.File("data"), fromTheStart);
        }
        EXPECT_TRUE(WriteCommand(dir.File("data"), command));
        return read;
    }
};

TEST_P(GameLifeTest, ARestartInAUsedFolderLosesNoCommandAndShowsNoOldMessage) {
    Control({"channel", "add", "5", "1", "Cinco"});
    for (const bool recipe : {true, false}) {
        SCOPED_TRACE(recipe ? "with the start recipe" : "trusting the old state");
        LeaveAnEarlierRunBehind();
        ChildProcess game;
        const std::vector<std::string> read = PlayTheGame(recipe, "joinid 5", game);
        EXPECT_EQ(read, std::vector<std::string>{});
        ASSERT_TRUE(WaitUntil([&] { return StateEntry("mychannelid") == "5"; }))
            << Data("state.txt") << Data("corvanex_debug.txt");
        myUserId = std::stoi(StateEntry("myuserid"));
        EXPECT_TRUE(WaitUntil([&] { return Data("cmd.txt").empty(); }));
        EXPECT_EQ(CountRequests(myUserId, "JOIN"), 1u);
        // The earlier run's command never ran.
        EXPECT_EQ(StateEntry("ptt"), "0");
        EXPECT_EQ(Data("corvanex_debug.txt").find("cmd: ptt_on"), std::string::npos);
        if (GetParam() == BridgeBuild::Windows) {
            WriteTestFile(dir.File("stop"), "");
            int code = -1;
            EXPECT_TRUE(WaitForExit(game, 30s, code));
            EXPECT_EQ(code, 0) << DescribeExit(code);
            fs::remove(dir.File("stop"));
        } else {
            StopProcess(bridge);
        }
    }
}

// A refused login ends the session: the server's reason stays for the
// player to read, no user ID, and commands are taken again, in vain.
TEST_P(GameLifeTest, ARefusedLoginEndsTheSessionWithTheServersReason) {
    const std::string reason = "Servidor cheio";
    Control({"switch", "refuse-logins", "1", reason});
    Start({"127.0.0.1", Port(), "10333", "0", "Ana"});
    const std::string ended = StateText("error", "Ana", 0, 0, "", reason);
    ASSERT_TRUE(DataBecomes("state.txt", ended));
    Command("refresh");
    EXPECT_TRUE(WaitUntil(
        [&] { return Data("corvanex_debug.txt").find("cmd: refresh") != std::string::npos; }));
    EXPECT_EQ(Data("state.txt"), ended);
    EXPECT_NE(Data("events.txt").find(std::string("|over|login_refused|") + reason + "\n"),
              std::string::npos)
        << Data("events.txt");
}

// Natively the lock is on the working directory, which removing data/ does
// not take away: a second bridge still finds the folder served, and the
// first makes data/ again with everything a game reads.
TEST_P(GameLifeTest, ADataFolderRemovedUnderTheBridgeComesBackAndStaysServed) {
    if (GetParam() == BridgeBuild::Windows) GTEST_SKIP() << "the held lock file keeps data\\";
    Control({"channel", "add", "5", "1", "Cinco"});
    StartLoggedIn();
    const std::string state = Data("state.txt");
    // Taken away in one step: the bridge may write between the removal of
    // two of its files.
    fs::rename(dir.File("data"), dir.File("data-removed"));
    fs::remove_all(dir.File("data-removed"));
    ChildProcess second =
        StartBridge(GetParam(), executable, dir.path, {"127.0.0.1", Port(), "10333", "0", "Bia"});
    int code = -1;
    ASSERT_TRUE(WaitForExit(second, 30s, code));
    EXPECT_EQ(code, kExitAlreadyServed) << DescribeExit(code);
    EXPECT_TRUE(DataBecomes("state.txt", state));
    EXPECT_TRUE(DataBecomes("channels.txt", "1||0|0\n5|Cinco|0|1\n"));
    EXPECT_EQ(LockHolder(dir.File("data")), bridge.pid);
    Command("ptt_on");
    EXPECT_TRUE(WaitUntil([&] { return StateEntry("ptt") == "1"; }));
}

// A FIFO in place of the debug log, with a reader coming and going: the
// bridge writes nothing into it, and goes on.
TEST_P(GameLifeTest, AFifoInPlaceOfTheDebugLogNeitherHangsNorKillsIt) {
    if (GetParam() == BridgeBuild::Windows) GTEST_SKIP() << "pipes live apart on Windows";
    fs::create_directory(DataPath(""));
    ASSERT_EQ(mkfifo(DataPath("corvanex_debug.txt").c_str(), 0666), 0);
    std::atomic<bool> reading{true};
    std::atomic<size_t> received{0};
    std::thread reader([&] {
        while (reading) {
            const int fd = open(DataPath("corvanex_debug.txt").c_str(), O_RDONLY | O_NONBLOCK);
            char buffer[256];
            for (int i = 0; i < 50 && fd >= 0; ++i) {
                const ssize_t n = read(fd, buffer, sizeof buffer);
                if (n > 0) received += static_cast<size_t>(n);
                std::this_thread::sleep_for(100us);
            }
            if (fd >= 0) close(fd);
        }
    });
    StartLoggedIn();
    Command("ptt_on");
    EXPECT_TRUE(WaitUntil([&] { return StateEntry("ptt") == "1"; }));
    reading = false;
    reader.join();
    EXPECT_EQ(received, 0u);
}

// Natively a read-only pm_in.txt (as a user who cannot write it) is made
// anew; an old entry is never presented as new.
TEST_P(GameLifeTest, APrivateMessageFileThatCannotBeEmptiedIsMadeAnew) {
    if (GetParam() == BridgeBuild::Windows) GTEST_SKIP() << "permissions are a POSIX matter here";
    fs::create_directory(DataPath(""));
    WriteTestFile(DataPath("pm_in.txt"), "700|Bea|velha\n");
    chmod(DataPath("pm_in.txt").c_str(), 0444);
    std::vector<std::string> argv = {executable, "127.0.0.1", Port(), "10333", "0", "Ana"};
    if (geteuid() == 0) {
        // Root writes any file: the bridge runs as nobody, in a folder
        // nobody may write to.
        for (const auto& entry : fs::recursive_directory_iterator(dir.path))
            chown(entry.path().c_str(), 65534, 65534);
        chown(dir.path.c_str(), 65534, 65534);
        argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    bridge = StartProcess(argv, dir.path, {}, dir.File("bridge-output.txt"));
    ASSERT_TRUE(WaitUntil([&] { return StateEntry("status") == "authorized"; }))
        << Data("state.txt") << BridgeOutput();
    EXPECT_EQ(Data("pm_in.txt"), "");
    Control({"bot", "add", "700", "Bea|Mod"});
    Control({"bot", "say", "700", StateEntry("myuserid"), "nova|mensagem"});
    // A bar in a sender's name would make a fourth field.
    EXPECT_TRUE(DataBecomes("pm_in.txt", "700|Bea\xC2\xA6Mod|nova|mensagem\n"));
}

// A game whose runtime cannot have the system end the bridge with it names
// its process: once that has ended, the bridge ends as a stop ends it and
// leaves every file as it was; at once, before it publishes, when the
// process has ended already. A value that names no process watches nothing.
TEST_P(GameLifeTest, TheBridgeEndsWithTheProcessNamedAsItsGame) {
    for (const std::string value : {"abc", "0"}) {
        SCOPED_TRACE(value);
        StopProcess(bridge);
        // Until the new bridge publishes, the old "authorized" would do.
        fs::remove(DataPath("state.txt"));
        StartLoggedIn("Ana", {{kParentProcessVariable, value}});
        EXPECT_EQ(Count(Data("corvanex_debug.txt"), "_PID=" + value + " is no process ID"), 1u);
    }
    StopProcess(bridge);
    // Under Wine the bridge takes a Windows process ID.
    ChildProcess game;
    std::string gameId;
    if (GetParam() == BridgeBuild::Windows) {
        game = StartWine({WintoolExecutable(), "idle"}, dir.path);
        ASSERT_TRUE(WaitUntil([&] {
            gameId = ReadTestFile(dir.File("wine-output.txt"));
            return !gameId.empty() && gameId.back() == '\n';
        }));
        gameId.pop_back();
    } else {
        game = StartProcess({"sleep", "60"}, dir.path, {}, dir.File("game-output.txt"));
        gameId = std::to_string(game.pid);
    }
    const std::vector<std::pair<std::string, std::string>> watch = {
        {kParentProcessVariable, gameId}};
    fs::remove(DataPath("state.txt"));
    StartLoggedIn("Ana", watch);
    Command("ptt_on");
    // Its outcome goes to events.txt after the state.
    ASSERT_TRUE(WaitUntil([&] { return Count(Data("events.txt"), "|done|") == 1; }));
    const char* kept[] = {"state.txt", "users.txt", "members.txt", "channels.txt", "events.txt"};
    std::vector<std::string> before;
    for (const char* file : kept) before.push_back(Data(file));

    // Natively it stays a zombie until it is reaped below: ended all the same.
    kill(game.pid, SIGKILL);
    int code = -1;
    ASSERT_TRUE(WaitForExit(bridge, 20s, code));
    EXPECT_EQ(code, kExitStopped) << DescribeExit(code);
    const std::string ended = "process " + gameId + " (" + kParentProcessVariable + ") has ended";
    EXPECT_EQ(Count(Data("corvanex_debug.txt"), ended + ": the bridge ends with it"), 1u)
        << Data("corvanex_debug.txt");
    StopProcess(game);

    Start({"127.0.0.1", Port(), "10333", "0", "Bia"}, watch);
    ASSERT_TRUE(WaitForExit(bridge, 30s, code));
    EXPECT_EQ(code, kExitStopped) << DescribeExit(code);
    EXPECT_EQ(Data("corvanex_debug.txt"), "start host=127.0.0.1 tcp=" + Port() +
                                              " udp=10333 nick=Bia\n" + ended +
                                              " already: the bridge ends with it\n");
    for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(Data(kept[i]), before[i]) << kept[i];
}

INSTANTIATE_FOR_BOTH_BUILDS(GameLifeTest);

}  // namespace
