// Start-up and shut-down: scenario files, the request log, and quitting.
#include <signal.h>

#include "sim_fixture.h"

namespace {

using namespace std::chrono_literals;

class DemoScenarioTest : public SimTest {
protected:
    std::vector<std::string> ExtraArgs() const override {
        return {"--scenario", VOICESIM_SCENARIOS "/demo.txt"};
    }
};

TEST_F(DemoScenarioTest, IsLoadedBeforeTheFirstClient) {
    WireClient ana = LoggedIn("Ana");
    const std::vector<Line> expected = {
        {"CHANNEL_NEW", "0", "1", "", "0"},
        {"CHANNEL_NEW", "1", "2", "Sala de espera", "0"},
        {"CHANNEL_NEW", "1", "3", "Equipa Azul", "0"},
        {"CHANNEL_NEW", "3", "5", "A\xC3\xA7\xC3\xA3o", "0"},
        {"CHANNEL_NEW", "1", "4", "Equipa Vermelha", "0"},
        {"CHANNEL_NEW", "1", "6", "Reservado", "1"},
        {"USER_LOGGEDIN", "100", "2", "Eco", ""},
        {"USER_LOGGEDIN", "101", "2", "Guia", ""},
        {"USER_LOGGEDIN", "102", "0", "Ana", ""},
    };
    EXPECT_EQ(ana.loginLines, expected) << Show(ana.loginLines);
    EXPECT_EQ(Control({"query", "accounts"}), (Line{"OK", "ana", "segredo-ana"}));
    WireSend(ana, {"JOIN", "2", "6", "segredo"});
    EXPECT_EQ(WireNextLine(ana), (Line{"USER_JOINED", "102", "6", "Ana", ""}));
    WireSend(ana, {"MESSAGE", "3", "1", "100", "0", "Ol\xC3\xA1 | eco", "0"});
    EXPECT_EQ(WireNextLine(ana),
              (Line{"TEXTMSG", "1", "100", "Eco", "102", "0", "Ol\xC3\xA1 | eco", "0"}));
}

class ScenarioFileTest : public SimTest {
protected:
    void SetUp() override {}  // each test starts voicesim itself
};

TEST_F(ScenarioFileTest, SkipsCommentsAndBlankLinesAndToleratesCrLfAndAByteOrderMark) {
    WriteTestFile(dir.File("scenario.txt"),
                  "\xEF\xBB\xBF# comment\r\n\r\n   \n\t\n  # indented comment\n"
                  "channel\tadd\t2\t1\tSala\\tA\r\n"
                  "bot\tadd\t5\tRob\xC3\xB4\t2\r\n");
    StartSim({"--scenario", dir.File("scenario.txt")});
    EXPECT_EQ(Control({"query", "channels"}),
              (Line{"OK", "1", "0", "", "", "2", "1", "Sala\tA", ""}));
    EXPECT_EQ(Control({"query", "users"}), (Line{"OK", "5", "Rob\xC3\xB4", "", "2", "bot"}));
}

TEST_F(ScenarioFileTest, ARefusedLineStopsStartUpNamingTheLine) {
    const struct {
        const char* name;
        std::string content;
        const char* message;
    } cases[] = {
        {"refused command", "channel\tadd\t2\t1\tSala\n# two\nchannel\tadd\t2\t1\tDup\n",
         "scenario.txt:3: channel 2 already exists"},
        {"spaces instead of TABs", "\nchannel add 2 1 Sala\n",
         "scenario.txt:2: unknown command channel add 2 1 Sala"},
        {"bad escape", "channel\tadd\t2\t1\tBad\\q\n", "scenario.txt:1: bad escape sequence"},
        {"bad argument count", "bot\tadd\t5\n", "scenario.txt:1: usage: bot add"},
        {"missing file", "", "cannot open scenario"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDirectory run;
        if (!c.content.empty()) WriteTestFile(run.File("scenario.txt"), c.content);
        ChildProcess process = LaunchSim(run.path, {"--scenario", run.File("scenario.txt")});
        int code = -1;
        ASSERT_TRUE(WaitForExit(process, 20s, code));
        EXPECT_EQ(code, 1);
        const std::string output = ReadTestFile(run.File("voicesim-output.txt"));
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
        EXPECT_FALSE(TestFileExists(run.File("voicesim.port")));
    }
}

class LifeTest : public SimTest {};

TEST_F(LifeTest, TheRequestLogHoldsEveryRequestAsItCame) {
    WireClient ana = LoggedIn("Ana", "ana");
    WireSendRaw(ana, "JOIN\t2\t1\tp\\tw\r\n");
    WireSendRaw(ana, "MESSAGE\t3\t1\t1\t0\tol\xC3\xA1|\\n\t0\n");
    WireSendRaw(ana, "garbage\\x\n");
    EXPECT_TRUE(SkipUntil(ana, {"ERROR", "0", "1000", "Bad escape sequence in request"}));
    WireClient greeted = Greeted();
    const std::string expected =
        "0\tHELLO\t1\t10333\t0\n"
        "0\tLOGIN\t1\tAna\tana\tsecret\n"
        "1\tJOIN\t2\t1\tp\\tw\n"
        "1\tMESSAGE\t3\t1\t1\t0\tol\xC3\xA1|\\n\t0\n"
        "1\tgarbage\\x\n"
        "0\tHELLO\t1\t10333\t0\n";
    EXPECT_EQ(ReadTestFile(LogPath()), expected);
    EXPECT_EQ(Control({"query", "requests", "2"}),
              (Line{"OK", "1", "garbage\\x", "0", "HELLO\t1\t10333\t0"}));
    EXPECT_EQ(Control({"query", "requests"}).size(), 1u + 2 * 6);
}

TEST_F(LifeTest, QuitAnswersThenEndsTheServer) {
    WireClient ana = LoggedIn("Ana");
    EXPECT_EQ(Control({"quit"}), Line{"OK"});
    int code = -1;
    ASSERT_TRUE(WaitForExit(sim, 20s, code));
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(WireWaitClosed(ana));
}

TEST_F(LifeTest, TerminationSignalEndsTheServerCleanly) {
    ASSERT_EQ(kill(sim.pid, SIGTERM), 0);
    int code = -1;
    ASSERT_TRUE(WaitForExit(sim, 20s, code));
    EXPECT_EQ(code, 0);
}

}  // namespace
