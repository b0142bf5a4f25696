// The client library of this project against voicesim: what a program
// using the library sees when the simulated server is on the other end.
#include <string>

#include "sim_fixture.h"
#include "voiceclient.h"

namespace {

using namespace std::chrono_literals;

std::u16string Utf16(const char16_t* text) { return std::u16string(text); }

class ClientLibraryTest : public SimTest {
protected:
    TTInstance* instance = nullptr;

    void TearDown() override {
        if (instance != nullptr) TT_CloseTeamTalk(instance);
        SimTest::TearDown();
    }

    TTInstance* Connected(bool encrypted = false) {
        TTInstance* made = TT_InitTeamTalkPoll();
        EXPECT_NE(made, nullptr);
        EXPECT_TRUE(TT_Connect(made, u"127.0.0.1", port, 10333, 0, 0, encrypted ? 1 : 0));
        return made;
    }

    // Events until one of kind `wanted` (included); none more when the
    // deadline passes first, which fails the test.
    std::vector<TTMessage> EventsUntil(TTInstance* from, INT32 wanted) {
        std::vector<TTMessage> events;
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < deadline) {
            TTMessage message;
            const INT32 wait = 100;
            if (!TT_GetMessage(from, &message, &wait)) continue;
            events.push_back(message);
            if (message.nClientEvent == wanted) return events;
        }
        ADD_FAILURE() << "event " << wanted << " never came";
        return events;
    }
};

TEST_F(ClientLibraryTest, ConnectsLogsInJoinsAndGetsAnEchoedMessage) {
    ASSERT_EQ(Control({"channel", "add", "2", "1", "Sala de espera"}), Line{"OK"});
    ASSERT_EQ(Control({"channel", "add", "3", "2", "A\xC3\xA7\xC3\xA3o", "segredo"}), Line{"OK"});
    ASSERT_EQ(Control({"bot", "add", "50", "Eco", "3", "echo"}), Line{"OK"});
    instance = Connected();
    EventsUntil(instance, CLIENTEVENT_CON_SUCCESS);
    ASSERT_TRUE(TT_InitSoundInputDevice(instance, 1));
    ASSERT_TRUE(TT_EnableVoiceTransmission(instance, 1));

    ASSERT_GT(TT_DoLogin(instance, u"Z\u00e9", u"ze", u""), 0);
    std::vector<TTMessage> events = EventsUntil(instance, CLIENTEVENT_CMD_MYSELF_LOGGEDIN);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().nSource, 51);
    events = EventsUntil(instance, CLIENTEVENT_CMD_USER_LOGGEDIN);  // the bot
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(Utf16(events[1].channel.szName), u"Sala de espera");
    EXPECT_EQ(events[2].channel.nParentID, 2);
    EXPECT_EQ(Utf16(events[2].channel.szName), u"A\u00e7\u00e3o");
    EXPECT_EQ(events[2].channel.bPassword, 1);
    EXPECT_EQ(Utf16(events[3].user.szNickname), u"Eco");
    EXPECT_EQ(events[3].user.nChannelID, 3);
    EventsUntil(instance, CLIENTEVENT_CMD_USER_LOGGEDIN);  // itself
    EXPECT_EQ(Control({"query", "client", "51"}), (Line{"OK", "1", "1", "0", "0", "10333"}));

    const INT32 refused = TT_DoJoinChannelByID(instance, 3, u"errada");
    events = EventsUntil(instance, CLIENTEVENT_CMD_ERROR);
    EXPECT_EQ(events.back().nSource, refused);
    EXPECT_EQ(Utf16(events.back().clienterrormsg.szErrorMsg), u"Wrong password for channel 3");
    ASSERT_GT(TT_DoJoinChannelByID(instance, 3, u"segredo"), 0);
    events = EventsUntil(instance, CLIENTEVENT_CMD_USER_JOINED);
    EXPECT_EQ(events.back().user.nUserID, 51);
    EXPECT_EQ(events.back().user.nChannelID, 3);

    TextMessage message{};
    message.nMsgType = MSGTYPE_USER;
    message.nToUserID = 50;
    const std::u16string text = u"ol\u00e1 | tab\there\nlinha \U0001F3AE";
    text.copy(message.szMessage, text.size());
    ASSERT_GT(TT_DoTextMessage(instance, &message), 0);
    events = EventsUntil(instance, CLIENTEVENT_CMD_USER_TEXTMSG);
    EXPECT_EQ(events.back().textmessage.nFromUserID, 50);
    EXPECT_EQ(Utf16(events.back().textmessage.szFromUsername), u"Eco");
    EXPECT_EQ(Utf16(events.back().textmessage.szMessage), text);
}

TEST_F(ClientLibraryTest, RefusalsAndDropsEndTheLinkWithTheRightEvent) {
    ASSERT_EQ(Control({"switch", "require-encryption", "1"}), Line{"OK"});
    instance = Connected(false);
    EXPECT_EQ(EventsUntil(instance, CLIENTEVENT_CON_FAILED).size(), 1u);

    TT_CloseTeamTalk(instance);
    instance = Connected(true);
    EventsUntil(instance, CLIENTEVENT_CON_SUCCESS);
    ASSERT_GT(TT_DoLogin(instance, u"Ana", u"", u""), 0);
    const INT32 id = EventsUntil(instance, CLIENTEVENT_CMD_MYSELF_LOGGEDIN).back().nSource;
    ASSERT_EQ(Control({"client", "drop", std::to_string(id)}), Line{"OK"});
    EventsUntil(instance, CLIENTEVENT_CON_LOST);
}

}  // namespace
