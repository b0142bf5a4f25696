// Private messages: delivered to the recipient with the sender's ID and
// nickname and the text byte for byte; bots answer as they were told to.
#include "sim_fixture.h"

namespace {

class MessageTest : public SimTest {
protected:
    WireClient ana;
    WireClient bia;

    void SetUp() override {
        SimTest::SetUp();
        if (HasFatalFailure()) return;
        ana = LoggedIn("Ana \xC3\xA7|x", "ana");
        bia = LoggedIn("Bia");
        UntilMark(ana);
    }

    std::string AnaId() const { return std::to_string(ana.userId); }
    std::string BiaId() const { return std::to_string(bia.userId); }
};

TEST_F(MessageTest, TextArrivesIntactWithTheSendersIdAndNickname) {
    const std::string texts[] = {
        "ol\xC3\xA1",
        "A\xC3\xA7\xC3\xA3o \xE2\x80\x94 \xF0\x9F\x8E\xAE \xE4\xB8\xAD\xE6\x96\x87",
        "a|b||c|",
        "tab\there\t",
        "line\nbreak\r\nand\rreturn",
        "back\\slash \\t \\n not escapes\\",
        "",
        " leading and trailing ",
        std::string(60000, 'x') + "\xC3\xA9",
    };
    for (const std::string& text : texts) {
        for (const char* more : {"0", "1"}) {
            WireSend(ana, {"MESSAGE", "3", "1", BiaId(), "0", text, more});
            const std::optional<std::string> raw = WireNextRawLine(bia);
            ASSERT_TRUE(raw.has_value());
            // Every CR is escaped; a bare one belongs only before the LF.
            EXPECT_EQ(raw->find('\r'), std::string::npos) << text.substr(0, 40);
            EXPECT_EQ(ParseLine(*raw),
                      (Line{"TEXTMSG", "1", AnaId(), "Ana \xC3\xA7|x", BiaId(), "0", text, more}))
                << text.substr(0, 40);
        }
    }
    // The sender gets no copy and no confirmation.
    EXPECT_EQ(UntilMark(ana), std::vector<Line>{});
}

TEST_F(MessageTest, TheChannelFieldIsPassedOnAndAUserMayWriteToItself) {
    WireSend(ana, {"MESSAGE", "3", "1", AnaId(), "7", "nota", "0"});
    EXPECT_EQ(WireNextLine(ana),
              (Line{"TEXTMSG", "1", AnaId(), "Ana \xC3\xA7|x", AnaId(), "7", "nota", "0"}));
}

TEST_F(MessageTest, BadMessagesGetErrorsAndReachNobody) {
    const struct {
        Line request;
        Line error;
    } cases[] = {
        {{"MESSAGE", "4", "1", "999", "0", "oi", "0"},
         {"ERROR", "4", "3004", "User 999 does not exist"}},
        {{"MESSAGE", "5", "2", BiaId(), "1", "oi", "0"},
         {"ERROR", "5", "3005", "Message type 2 is not supported; only 1 (to a user) is"}},
        {{"MESSAGE", "6", "1", "bia", "0", "oi", "0"},
         {"ERROR", "6", "1000",
          "Malformed MESSAGE: expected numbers for type, user and channel, 0 or 1 for more"}},
        {{"MESSAGE", "7", "1", BiaId(), "0", "oi", "yes"},
         {"ERROR", "7", "1000",
          "Malformed MESSAGE: expected numbers for type, user and channel, 0 or 1 for more"}},
        // Fits the request, but not the TEXTMSG with the sender's nickname.
        {{"MESSAGE", "9", "1", BiaId(), "0", std::string(65515, 'y'), "0"},
         {"ERROR", "9", "3006", "Text too long for one line: send it in pieces marked more=1"}},
        {{"MESSAGE", "8", "1", BiaId(), "0", "oi"},
         {"ERROR", "8", "1000",
          "Missing fields, expected MESSAGE <cmdId> <msgType> <toUserId> <channelId> <text> "
          "<0|1>"}},
    };
    for (const auto& c : cases) {
        WireSend(ana, c.request);
        EXPECT_EQ(WireNextLine(ana), c.error);
    }
    EXPECT_EQ(UntilMark(bia), std::vector<Line>{});
}

TEST_F(MessageTest, BotsAnswerAsTheyWereTold) {
    ASSERT_EQ(Control({"bot", "add", "50", "Eco", "0", "echo"}), Line{"OK"});
    ASSERT_EQ(Control({"bot", "add", "51", "Resposta", "0", "reply", "J\xC3\xA1 vou!"}),
              Line{"OK"});
    ASSERT_EQ(Control({"bot", "add", "52", "Mudo", "0", "none"}), Line{"OK"});
    ASSERT_EQ(Control({"bot", "add", "53", "Quieto"}), Line{"OK"});
    UntilMark(ana);
    UntilMark(bia);
    const std::string text = "ol\xC3\xA1\ttab|bar\nline";
    const struct {
        Line request;
        std::vector<Line> answer;
    } cases[] = {
        {{"MESSAGE", "2", "1", "50", "0", text, "1"},
         {{"TEXTMSG", "1", "50", "Eco", AnaId(), "0", text, "1"}}},
        {{"MESSAGE", "3", "1", "50", "0", text, "0"},
         {{"TEXTMSG", "1", "50", "Eco", AnaId(), "0", text, "0"}}},
        // A reply waits for the last piece of the text.
        {{"MESSAGE", "4", "1", "51", "0", "parte 1", "1"}, {}},
        {{"MESSAGE", "5", "1", "51", "0", "parte 2", "0"},
         {{"TEXTMSG", "1", "51", "Resposta", AnaId(), "0", "J\xC3\xA1 vou!", "0"}}},
        {{"MESSAGE", "6", "1", "52", "0", text, "0"}, {}},
        {{"MESSAGE", "7", "1", "53", "0", text, "0"}, {}},
    };
    for (const auto& c : cases) {
        WireSend(ana, c.request);
        // The request is done once a later one is answered.
        WireSend(ana, {"PING", c.request[1]});
        std::vector<Line> seen;
        for (;;) {
            const std::optional<Line> line = WireNextLine(ana);
            ASSERT_TRUE(line.has_value());
            if ((*line)[0] == "ERROR") break;
            seen.push_back(*line);
        }
        EXPECT_EQ(seen, c.answer) << c.request[1];
    }
    EXPECT_EQ(UntilMark(bia), std::vector<Line>{});
}

TEST_F(MessageTest, BotSayIsATextMessageFromTheBot) {
    ASSERT_EQ(Control({"bot", "add", "50", "Anunciante"}), Line{"OK"});
    UntilMark(ana);
    UntilMark(bia);
    const std::string text = "Bem-vinda!\nLinha 2\t|fim|";
    ASSERT_EQ(Control({"bot", "say", "50", AnaId(), text}), Line{"OK"});
    EXPECT_EQ(WireNextLine(ana),
              (Line{"TEXTMSG", "1", "50", "Anunciante", AnaId(), "0", text, "0"}));
    EXPECT_EQ(UntilMark(bia), std::vector<Line>{});
    EXPECT_EQ(Control({"bot", "say", AnaId(), BiaId(), "x"}),
              (Line{"ERR", "user " + AnaId() + " is a client, not a bot"}));
    EXPECT_EQ(Control({"bot", "say", "50", "77", "x"}), (Line{"ERR", "user 77 does not exist"}));
}

}  // namespace
