// The session's life as the game sees it: commands wait for the login, an
// ended session says "error" for good, one bridge serves one directory, and
// a directory that cannot be used ends the start-up.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "exchange_vocabulary.h"
#include "session_fixture.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class LifecycleTest : public SessionTest {};

// Each way a session ends, with its reason in events.txt, then the four
// commands that publish the state: each fails as the session is over, none
// may bring "authorized" back, and the own channel is gone.
TEST_P(LifecycleTest, AnEndedSessionStaysInErrorWhateverFollows) {
    Control({"channel", "add", "5", "1", "Cinco"});
    const struct {
        const char* name;
        const char* reason;
        std::function<void()> end;
    } ends[] = {
        {"logged out", kOverLoggedOut,
         [this] {
             Control({"client", "logout", std::to_string(myUserId)});
         }},
        {"kicked", kOverRemoved,
         [this] {
             Control({"client", "kick", std::to_string(myUserId)});
         }},
        {"connection lost", kOverLinkLost, [this] { StopProcess(sim.process); }},
    };
    for (const auto& c : ends) {
        SCOPED_TRACE(c.name);
        StopProcess(bridge);
        StartLoggedIn();
        Command("joinid 5");
        ASSERT_TRUE(WaitUntil([&] { return StateEntry("mychannelid") == "5"; }));
        c.end();
        // An end takes the user ID away, and only an end does.
        ASSERT_TRUE(
            DataBecomes("state.txt", StateText("error", "Ana", 0, 0, "", kConnectionFailedText)));
        const std::string over =
            std::string("|over|") + c.reason + "|" + kConnectionFailedText + "\n";
        EXPECT_TRUE(WaitUntil([&] { return Count(Data("events.txt"), over) == 1; }))
            << Data("events.txt");
        for (const char* command : {"refresh", "leave", "ptt_on", "ptt_off"}) Command(command);
        EXPECT_TRUE(WaitUntil([&] { return Count(Data("events.txt"), "|session_over|") == 4; }))
            << Data("events.txt");
        EXPECT_EQ(Data("state.txt"), StateText("error", "Ana", 0, 0, "", kConnectionFailedText));
    }
    // For voicesim's own check at the end, once it serves its control port.
    sim = StartVoiceSim(dir.path);
    EXPECT_EQ(Query({"query", "users"}), std::vector<std::string>{"OK"});
}

// While logged in an error is no end: the next change shows "authorized".
TEST_P(LifecycleTest, AnOwnChannelChangeAfterACommandErrorIsAuthorizedAgain) {
    Control({"channel", "add", "5", "1", "Cinco"});
    StartLoggedIn();
    Command("joinid 5");
    ASSERT_TRUE(WaitUntil([&] { return StateEntry("mychannelid") == "5"; }));
    // Texts that try to add lines of their own stay on theirs.
    Control({"client", "error", std::to_string(myUserId), "Recusado\nstatus|authorized"});
    ASSERT_TRUE(WaitUntil([&] { return StateEntry("status") == "error"; }));
    // A new password is no change the game sees in the state: the error
    // stands. The server's next event shows that the change has come.
    Control({"channel", "password", "5", "segredo"});
    Control({"bot", "add", "991", "Depois"});
    ASSERT_TRUE(
        WaitUntil([&] { return Data("users.txt").find("991|Depois") != std::string::npos; }));
    EXPECT_EQ(StateEntry("status"), "error");
    Control({"channel", "rename", "5", "Seis\r\nnickname|Mallory"});
    EXPECT_TRUE(DataBecomes("state.txt",
                            StateText("authorized", "Ana", myUserId, 5, "Seis  nickname|Mallory",
                                      "Recusado status|authorized")));
    EXPECT_TRUE(DataBecomes("channels.txt", "1||0|0\n5|Seis  nickname|Mallory|0|1\n"));
}

TEST_P(LifecycleTest, ACommandWrittenWhileConnectingRunsOnceAfterLogin) {
    Control({"channel", "add", "5", "1", "Cinco"});
    Control({"switch", "hold-logins", "1"});
    Start({"127.0.0.1", Port(), "10333", "0", "Ana"});
    ASSERT_TRUE(WaitUntil(
        [&] { return Data("corvanex_debug.txt").find("event con_success") != std::string::npos; }));
    WriteTestFile(DataPath("cmd.txt"), "joinid 5");
    // Several loop turns pass; the command waits where the game put it.
    EXPECT_FALSE(WaitUntil([&] { return Data("cmd.txt") != "joinid 5"; }, 1s));
    EXPECT_EQ(StateEntry("status"), "starting");
    Control({"switch", "hold-logins", "0"});
    ASSERT_TRUE(WaitUntil([&] { return StateEntry("mychannelid") == "5"; }));
    EXPECT_EQ(Data("cmd.txt"), "");
    myUserId = std::stoi(StateEntry("myuserid"));
    EXPECT_EQ(CountRequests(myUserId, "JOIN"), 1u);
}

// A second bridge started in a served directory leaves without touching a
// file; the first goes on alone. Once it is killed, its lock goes with it.
TEST_P(LifecycleTest, OneBridgePerDirectoryAndNoLockOutlivesItsBridge) {
    Control({"bot", "add", "990", "Sink"});
    StartLoggedIn();
    const std::string state = Data("state.txt");
    const std::string log = Data("corvanex_debug.txt");
    ChildProcess second =
        StartBridge(GetParam(), executable, dir.path, {"127.0.0.1", Port(), "10333", "0", "Bia"});
    int code = -1;
    ASSERT_TRUE(WaitForExit(second, 30s, code));
    EXPECT_EQ(code, kExitAlreadyServed) << DescribeExit(code);
    EXPECT_EQ(Data("state.txt"), state);
    EXPECT_EQ(Data("corvanex_debug.txt"), log);
    const int first = myUserId;
    for (int i = 1; i <= 5; ++i) Command("pm 990|" + std::to_string(i));
    ASSERT_TRUE(WaitUntil([&] { return CountRequests(first, "MESSAGE") == 5; }));

    StopProcess(bridge);
    Start({"127.0.0.1", Port(), "10333", "0", "Bia"});
    EXPECT_TRUE(WaitUntil([&] {
        return StateEntry("nickname") == "Bia" && StateEntry("status") == "authorized";
    })) << Data("state.txt")
        << BridgeOutput();
}

TEST_P(LifecycleTest, ADataDirectoryThatCannotBeUsedEndsTheStartUp) {
    struct Case {
        const char* name;
        std::function<void(const TempDirectory&)> prepare;
        bool asOtherUser;
    };
    std::vector<Case> cases = {
        {"data is a file", [](const TempDirectory& d) { WriteTestFile(d.File("data"), "x"); },
         false},
    };
    // Only natively can a process be kept from writing, and only as another
    // user when the tests run as root.
    if (GetParam() == BridgeBuild::Native)
        cases.push_back({"read-only directory",
                         [](const TempDirectory& d) { chmod(d.path.c_str(), 0555); }, true});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDirectory run;
        c.prepare(run);
        std::vector<std::string> args = {executable, "127.0.0.1", Port(), "10333", "0", "Ana"};
        ChildProcess process;
        if (c.asOtherUser && geteuid() == 0) {
            args.insert(args.begin(),
                        {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
            process = StartProcess(args, run.path, {}, dir.File("bridge-output.txt"));
        } else {
            args.erase(args.begin());
            process = StartBridge(GetParam(), executable, run.path, args);
        }
        int code = -1;
        ASSERT_TRUE(WaitForExit(process, 30s, code));
        EXPECT_EQ(code, kExitDataUnusable)
            << DescribeExit(code) << ReadTestFile(dir.File("bridge-output.txt"));
        chmod(run.path.c_str(), 0755);
        // The server never saw it: no ghost user stays online.
        EXPECT_EQ(Query({"query", "users"}), std::vector<std::string>{"OK"});
    }
}

TEST_P(LifecycleTest, APipeInPlaceOfTheCommandFileBlocksNothing) {
    if (GetParam() != BridgeBuild::Native) GTEST_SKIP() << "pipes live apart on Windows";
    fs::create_directory(DataPath(""));
    ASSERT_EQ(mkfifo(DataPath("cmd.txt").c_str(), 0666), 0);
    StartLoggedIn();
    fs::remove(DataPath("cmd.txt"));
    Command("ptt_on");
    EXPECT_TRUE(WaitUntil([&] { return StateEntry("ptt") == "1"; }));
}

INSTANTIATE_FOR_BOTH_BUILDS(LifecycleTest);

}  // namespace
