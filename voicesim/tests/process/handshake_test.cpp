// The handshake: HELLO answered by WELCOME, or by REFUSED and the end of
// the link when the greeting is wrong or a control switch says so.
#include "sim_fixture.h"

namespace {

struct GreetingCase {
    const char* name;
    std::vector<Line> switches;  // control commands run first
    std::string greeting;        // raw bytes sent after connecting
    Line expected;               // the answer; for REFUSED, the reason is checked apart
    const char* reasonPart;
};

class HandshakeTest : public SimTest {};

TEST_F(HandshakeTest, AnswersEachGreetingWithWelcomeOrARefusalThatEndsTheLink) {
    const GreetingCase cases[] = {
        {"plain", {}, "HELLO\t1\t10333\t0\n", {"WELCOME", "1"}, ""},
        {"CR LF", {}, "HELLO\t1\t10333\t1\r\n", {"WELCOME", "1"}, ""},
        {"extra fields", {}, "HELLO\t1\t10333\t0\tmore\n", {"WELCOME", "1"}, ""},
        {"other version", {}, "HELLO\t2\t10333\t0\n", {"REFUSED"}, "version 2 is not supported"},
        {"no HELLO first", {}, "LOGIN\t1\tAna\t\t\n", {"REFUSED"}, "Expected HELLO first"},
        {"bad port", {}, "HELLO\t1\tx\t0\n", {"REFUSED"}, "Malformed HELLO"},
        {"bad flag", {}, "HELLO\t1\t10333\tyes\n", {"REFUSED"}, "Malformed HELLO"},
        {"short", {}, "HELLO\t1\n", {"REFUSED"}, "Malformed HELLO"},
        {"bad escape", {}, "HELLO\t1\t10333\t0\\q\n", {"REFUSED"}, "bad escape"},
        {"connections refused",
         {{"switch", "refuse-connections", "1", "Servidor em manuten\xC3\xA7\xC3\xA3o"}},
         "HELLO\t1\t10333\t0\n",
         {"REFUSED"},
         "Servidor em manuten\xC3\xA7\xC3\xA3o"},
        {"encryption required, plain client",
         {{"switch", "refuse-connections", "0"}, {"switch", "require-encryption", "1"}},
         "HELLO\t1\t10333\t0\n",
         {"REFUSED"},
         "requires an encrypted connection"},
        {"encryption required, encrypted client",
         {{"switch", "require-encryption", "1"}},
         "HELLO\t1\t10333\t1\n",
         {"WELCOME", "1"},
         ""},
        {"switches back off",
         {{"switch", "require-encryption", "0"}},
         "HELLO\t1\t10333\t0\n",
         {"WELCOME", "1"},
         ""},
    };
    for (const GreetingCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (const Line& command : c.switches) ASSERT_EQ(Control(command), Line{"OK"});
        WireClient client;
        ASSERT_TRUE(WireConnect(client, port));
        WireSendRaw(client, c.greeting);
        const std::optional<Line> answer = WireNextLine(client);
        ASSERT_TRUE(answer.has_value());
        ASSERT_FALSE(answer->empty());
        if (c.expected[0] == "REFUSED") {
            ASSERT_EQ(answer->size(), 2u) << Show({*answer});
            EXPECT_EQ((*answer)[0], "REFUSED");
            EXPECT_NE((*answer)[1].find(c.reasonPart), std::string::npos) << (*answer)[1];
            EXPECT_TRUE(WireWaitClosed(client));
        } else {
            EXPECT_EQ(*answer, c.expected);
            // Still open: a request is answered.
            WireSend(client, {"LEAVE", "5"});
            EXPECT_EQ(WireNextLine(client), (Line{"ERROR", "5", "1002", "Not logged in"}));
        }
        WireClose(client);
    }
}

TEST_F(HandshakeTest, SwitchesLeaveClientsAlreadyInAlone) {
    WireClient ana = LoggedIn("Ana");
    WireClient bia = LoggedIn("Bia");
    ASSERT_EQ(Control({"switch", "refuse-connections", "1"}), Line{"OK"});
    ASSERT_EQ(Control({"switch", "require-encryption", "1"}), Line{"OK"});
    WireSend(ana, {"MESSAGE", "2", "1", std::to_string(bia.userId), "0", "ainda aqui", "0"});
    EXPECT_EQ(WireNextLine(bia), (Line{"TEXTMSG", "1", std::to_string(ana.userId), "Ana",
                                       std::to_string(bia.userId), "0", "ainda aqui", "0"}));
}

TEST_F(HandshakeTest, RecordsTheGreetingAndTheSoundNotesPerConnection) {
    WireClient client;
    ASSERT_TRUE(WireConnect(client, port));
    WireSend(client, {"HELLO", "1", "4567", "1"});
    ASSERT_EQ(WireNextLine(client), (Line{"WELCOME", "1"}));
    // Notes may come before the login, as the client sends them on connect.
    WireSend(client, {"SOUND_INPUT", "3"});
    WireSend(client, {"SOUND_OUTPUT", "4"});
    WireSend(client, {"VOICE", "1"});
    WireSend(client, {"LOGIN", "1", "Ana", "ana", ""});
    ASSERT_EQ(WireNextLine(client), (Line{"LOGGEDIN", "1"}));
    EXPECT_EQ(Control({"query", "client", "1"}), (Line{"OK", "1", "3", "4", "1", "4567"}));

    client.userId = 1;
    UntilMark(client);
    WireSend(client, {"VOICE", "0"});
    WireSend(client, {"SOUND_INPUT", "-1"});
    WireSend(client, {"VOICE", "2"});
    WireSend(client, {"SOUND_OUTPUT"});
    EXPECT_EQ(WireNextLine(client),
              (Line{"ERROR", "0", "1000", "Malformed VOICE: expected 0 or 1"}));
    EXPECT_EQ(WireNextLine(client),
              (Line{"ERROR", "0", "1000", "Malformed SOUND_OUTPUT: expected a device ID"}));
    EXPECT_EQ(Control({"query", "client", "1"}), (Line{"OK", "0", "-1", "4", "1", "4567"}));
}

}  // namespace
