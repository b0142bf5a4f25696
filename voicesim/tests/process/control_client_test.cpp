// What the control port does to clients (errors, raw lines, drops), and
// how clients leave: closing the link, breaking the line limit or not
// reading. The others always learn of it by USER_LOGGEDOUT.
#include <sys/socket.h>

#include <algorithm>

#include "sim_fixture.h"

namespace {

class ControlClientTest : public SimTest {
protected:
    WireClient ana;
    WireClient bia;

    void SetUp() override {
        SimTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(Control({"channel", "add", "2", "1", "Sala"}), Line{"OK"});
        ana = LoggedIn("Ana", "ana");
        bia = LoggedIn("Bia");
        WireSend(ana, {"JOIN", "2", "2", ""});
        ASSERT_TRUE(SkipUntil(ana, {"USER_JOINED", AnaId(), "2", "Ana", "ana"}));
        UntilMark(bia);
    }

    std::string AnaId() const { return std::to_string(ana.userId); }
    Line AnaLoggedOut() const { return {"USER_LOGGEDOUT", AnaId(), "2", "Ana", "ana"}; }
};

TEST_F(ControlClientTest, ClientErrorSendsAnErrorWithCommandIdZero) {
    const struct {
        Line command;
        Line seen;
    } cases[] = {
        {{"client", "error", AnaId(), "Servidor a reiniciar"},
         {"ERROR", "0", "0", "Servidor a reiniciar"}},
        {{"client", "error", AnaId(), "linha\num|dois\t3", "42"},
         {"ERROR", "0", "42", "linha\num|dois\t3"}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Control(c.command), Line{"OK"});
        EXPECT_EQ(WireNextLine(ana), c.seen);
    }
    EXPECT_EQ(UntilMark(bia), std::vector<Line>{});
}

TEST_F(ControlClientTest, ClientRawSendsTheLineExactly) {
    const std::string lines[] = {
        "\x01\x02 garbage \xFF\xFE",
        "SOMETHING_NEW\tfrom\ta newer server",
        "TEXTMSG\t1\t2",
        "USER_JOINED\t1\t2\tbad\\q\tescape",
        "",
        std::string(70000, 'L'),
    };
    for (const std::string& line : lines) {
        ASSERT_EQ(Control({"client", "raw", AnaId(), line}), Line{"OK"});
        EXPECT_EQ(WireNextRawLine(ana), line);
    }
}

TEST_F(ControlClientTest, DropEndsTheLinkAndLogsTheUserOut) {
    ASSERT_EQ(Control({"client", "drop", AnaId()}), Line{"OK"});
    EXPECT_TRUE(WireWaitClosed(ana));
    EXPECT_EQ(UntilMark(bia), std::vector<Line>{AnaLoggedOut()});
    EXPECT_EQ(Control({"client", "drop", AnaId()}),
              (Line{"ERR", "user " + AnaId() + " does not exist"}));
}

TEST_F(ControlClientTest, LogoutKeepsTheLinkAndKickEndsIt) {
    ASSERT_EQ(Control({"client", "logout", AnaId()}), Line{"OK"});
    EXPECT_EQ(WireNextLine(ana), Line{"LOGGEDOUT"});
    EXPECT_EQ(UntilMark(bia), std::vector<Line>{AnaLoggedOut()});
    WireSend(ana, {"LEAVE", "7"});
    EXPECT_EQ(WireNextLine(ana), (Line{"ERROR", "7", "1002", "Not logged in"}));

    const std::string biaId = std::to_string(bia.userId);
    ASSERT_EQ(Control({"client", "kick", biaId}), Line{"OK"});
    EXPECT_EQ(WireNextLine(bia), Line{"KICKED"});
    EXPECT_TRUE(WireWaitClosed(bia));
    EXPECT_EQ(Control({"query", "users"}), Line{"OK"});
}

TEST_F(ControlClientTest, HeldLoginsWaitUnreadUntilReleased) {
    ASSERT_EQ(Control({"switch", "hold-logins", "1"}), Line{"OK"});
    WireClient cai = Greeted();
    WireSend(cai, {"LOGIN", "1", "Cai", "", ""});
    WireSend(cai, {"LEAVE", "2"});
    EXPECT_EQ(WireNextLine(cai, std::chrono::milliseconds(300)), std::nullopt);
    // Released before the next control line runs: a query in the same
    // write already sees the login.
    WireClient controlRaw;
    ASSERT_TRUE(WireConnect(controlRaw, controlPort));
    WireSendRaw(controlRaw, "switch\thold-logins\t0\nquery\tusers\n");
    EXPECT_EQ(WireNextLine(controlRaw), Line{"OK"});
    const std::optional<Line> users = WireNextLine(controlRaw);
    ASSERT_TRUE(users.has_value());
    EXPECT_NE(std::find(users->begin(), users->end(), "Cai"), users->end()) << Show({*users});
    WireClose(controlRaw);
    const std::optional<Line> loggedIn = WireNextLine(cai);
    ASSERT_TRUE(loggedIn.has_value());
    EXPECT_EQ(loggedIn->at(0), "LOGGEDIN");
    // The request after the login waited with it and comes in order.
    EXPECT_TRUE(SkipUntil(cai, {"ERROR", "2", "3003", "You are not in a channel"}));
}

TEST_F(ControlClientTest, ClosingTheLinkLogsTheUserOut) {
    WireClose(ana);
    EXPECT_EQ(WireNextLine(bia), AnaLoggedOut());
}

TEST_F(ControlClientTest, RequestsSentJustBeforeClosingAreStillHandled) {
    WireSend(ana, {"MESSAGE", "9", "1", std::to_string(bia.userId), "0", "tchau", "0"});
    shutdown(ana.fd, SHUT_WR);
    EXPECT_EQ(WireNextLine(bia), (Line{"TEXTMSG", "1", AnaId(), "Ana", std::to_string(bia.userId),
                                       "0", "tchau", "0"}));
    EXPECT_EQ(WireNextLine(bia), AnaLoggedOut());
}

TEST_F(ControlClientTest, ALineAtTheLimitIsTakenAndOneByteMoreEndsTheLink) {
    const std::string head = "MESSAGE\t3\t1\t999\t0\t";
    const std::string tail = "\t0";
    // CR counts: the limit is on everything before the LF.
    const std::string text(65536 - head.size() - tail.size() - 1, 't');
    WireSendRaw(ana, head + text + tail + "\r\n");
    EXPECT_EQ(WireNextLine(ana), (Line{"ERROR", "3", "3004", "User 999 does not exist"}));

    WireSendRaw(ana, head + text + "t" + tail + "\r\n");
    EXPECT_EQ(WireNextLine(ana), (Line{"ERROR", "0", "1004", "Line longer than 65536 bytes"}));
    EXPECT_TRUE(WireWaitClosed(ana));
    EXPECT_EQ(WireNextLine(bia), AnaLoggedOut());
}

TEST_F(ControlClientTest, AnEndlessLineWithoutLineFeedEndsTheLinkToo) {
    WireSendRaw(ana, std::string(65537, 'x'));
    EXPECT_EQ(WireNextLine(ana), (Line{"ERROR", "0", "1004", "Line longer than 65536 bytes"}));
    EXPECT_TRUE(WireWaitClosed(ana));
    EXPECT_EQ(WireNextLine(bia), AnaLoggedOut());
}

class SlowReaderTest : public ControlClientTest {
protected:
    std::vector<std::string> ExtraArgs() const override { return {"--max-output", "1000000"}; }
};

TEST_F(SlowReaderTest, AClientThatDoesNotReadIsDropped) {
    // Ana reads nothing from here on; the kernel's buffers fill, then the
    // server's backlog passes its limit.
    const std::string chunk(60000, 'z');
    Line reply = {"OK"};
    int sent = 0;
    for (; sent < 2000 && reply == Line{"OK"}; ++sent)
        reply = Control({"client", "raw", AnaId(), "FILLER\t" + chunk});
    EXPECT_EQ(reply, (Line{"ERR", "client " + AnaId() + " dropped: it does not read its output"}))
        << "after " << sent << " lines";
    EXPECT_EQ(WireNextLine(bia), AnaLoggedOut());
    EXPECT_NE(SimOutput().find("not reading"), std::string::npos);
}

}  // namespace
