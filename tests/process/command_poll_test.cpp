// The command poll: every command the game writes is logged once and the
// file emptied; a file of white space alone is left as it is. The server
// refuses the bridge, so that the log holds nothing but the poll's lines.
#include "session_fixture.h"

namespace {

using namespace std::chrono_literals;

class CommandPollTest : public SessionTest {
protected:
    std::string startLine;

    void SetUp() override {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Control({"switch", "refuse-connections", "1"});
        Start({"127.0.0.1", Port(), "10333", "0", "Ana"});
        startLine = "start host=127.0.0.1 tcp=" + Port() + " udp=10333 nick=Ana\n";
        ASSERT_TRUE(WaitUntil([&] { return StateEntry("status") == "error"; }, 30s));
    }

    void SendCommand(const std::string& bytes) {
        WriteTestFile(DataPath("cmd.txt"), bytes);
        ASSERT_TRUE(DataBecomes("cmd.txt", "")) << "command not consumed: " << bytes;
    }
};

TEST_P(CommandPollTest, LogsEachTrimmedCommandAndEmptiesTheFile) {
    SendCommand(" \trefresh \r\n");
    SendCommand("joinid 7");
    SendCommand("not a command");
    SendCommand("\nptt_on");
    SendCommand("pm 3|ol\xC3\xA1 | a\nb\r\n");
    EXPECT_TRUE(DataBecomes("corvanex_debug.txt",
                            startLine + "cmd: refresh\ncmd: joinid 7\ncmd: not a command\n"
                                        "cmd: \nptt_on\ncmd: pm 3|ol\xC3\xA1 | a\nb\n"));
}

TEST_P(CommandPollTest, LeavesAFileOfWhiteSpaceAlone) {
    const std::string blank = " \t\r\n \n";
    WriteTestFile(DataPath("cmd.txt"), blank);
    // Several loop turns pass; nothing may change.
    EXPECT_FALSE(WaitUntil([&] { return Data("cmd.txt") != blank; }, 1500ms));
    EXPECT_EQ(Data("corvanex_debug.txt"), startLine);
    SendCommand("refresh");
    EXPECT_TRUE(DataBecomes("corvanex_debug.txt", startLine + "cmd: refresh\n"));
}

INSTANTIATE_FOR_BOTH_BUILDS(CommandPollTest);

}  // namespace
