// The session's event handlers, driven through the dispatch table against
// the recording library double, observed through the files they publish.
#include <gtest/gtest.h>

#include <filesystem>

#include "bridge.h"
#include "commands/command_processor.h"
#include "core/event_dispatch.h"
#include "core/main_loop.h"
#include "files/event_log.h"
#include "files/paths.h"
#include "files/pending_writes.h"
#include "fresh_bridge.h"
#include "library_double.h"
#include "platform.h"
#include "session/directories.h"
#include "session/private_messages.h"
#include "temp_directory.h"

namespace {

class SessionEventsTest : public ::testing::Test {
protected:
    TempDirectory dir;
    CurrentDirectory cwd{dir.path};

    void SetUp() override {
        PlatformMakeDirectory("data");
        ResetBridgeRecords();
        gBridgeConfig.nickname = "Ana";
    }

    // One event, as a drain that takes it alone hands it on.
    void Deliver(const TTMessage& message) {
        HandleClientEvent(VoiceEventOf(message));
        PublishChangedDirectories();
        FlushEvents();
    }
    std::string Data(const std::string& name) const {
        return ReadTestFile(dir.File("data/" + name));
    }

    std::string State(const std::string& status, int userId, int channelId,
                      const std::string& channelName, const std::string& error = "") const {
        return "status|" + status + "\nptt|0\nmyuserid|" + std::to_string(userId) +
               "\nmychannelid|" + std::to_string(channelId) + "\nmychannelname|" + channelName +
               "\nnickname|Ana\nerror|" + error + "\n";
    }

    void LogIn(int userId) {
        Deliver(MakeEvent(CLIENTEVENT_CMD_MYSELF_LOGGEDIN, userId));
        gLibraryDouble.calls.clear();
    }
};

// --- connection, login and errors ---------------------------------------

TEST_F(SessionEventsTest, ConnectionSuccessLogsAndLogsIn) {
    Deliver(MakeEvent(CLIENTEVENT_CON_SUCCESS));
    EXPECT_EQ(Data("corvanex_debug.txt"), "event con_success\n");
    EXPECT_EQ(gLibraryDouble.calls, std::vector<std::string>{"TT_DoLogin Ana user= password="});
    EXPECT_FALSE(TestFileExists(dir.File("data/state.txt")));
}

TEST_F(SessionEventsTest, LoginPublishesLoggedInThenOpensDevicesThenAuthorized) {
    std::string stateWhileOpening;
    gLibraryDouble.onCall = [&](const std::string& call) {
        if (call.rfind("TT_InitSound", 0) == 0) stateWhileOpening += Data("state.txt");
    };
    Deliver(MakeEvent(CLIENTEVENT_CMD_MYSELF_LOGGEDIN, 42));
    EXPECT_EQ(stateWhileOpening, State("loggedin", 42, 0, "") + State("loggedin", 42, 0, ""));
    EXPECT_EQ(gLibraryDouble.calls, (std::vector<std::string>{"TT_GetDefaultSoundDevices 0 0",
                                                              "TT_InitSoundInputDevice 11",
                                                              "TT_InitSoundOutputDevice 12"}));
    EXPECT_EQ(Data("corvanex_debug.txt"), "sound devices initialized\n");
    EXPECT_EQ(Data("state.txt"), State("authorized", 42, 0, ""));
    EXPECT_EQ(gBridgeState.myUserId, 42);
}

TEST_F(SessionEventsTest, LoginWithoutSoundDevicesStillEndsAuthorized) {
    gLibraryDouble.soundDevicesFound = false;
    Deliver(MakeEvent(CLIENTEVENT_CMD_MYSELF_LOGGEDIN, 7));
    EXPECT_EQ(gLibraryDouble.calls, std::vector<std::string>{"TT_GetDefaultSoundDevices 0 0"});
    EXPECT_EQ(Data("corvanex_debug.txt"), "");
    EXPECT_EQ(Data("state.txt"), State("authorized", 7, 0, ""));
}

TEST_F(SessionEventsTest, FailuresPublishErrorWithTheirText) {
    const struct {
        const char* name;
        TTMessage event;
        std::string error;
        std::string log;
        const char* reason;  // of the end, in events.txt
    } cases[] = {
        {"connection failed", MakeEvent(CLIENTEVENT_CON_FAILED), kConnectionFailedText, "",
         kOverConnectionFailed},
        {"connection lost", MakeEvent(CLIENTEVENT_CON_LOST), kConnectionFailedText, "",
         kOverLinkLost},
        {"logged out", MakeEvent(CLIENTEVENT_CMD_MYSELF_LOGGEDOUT), kConnectionFailedText, "",
         kOverLoggedOut},
        {"kicked", MakeEvent(CLIENTEVENT_CMD_MYSELF_KICKED), kConnectionFailedText, "",
         kOverRemoved},
        {"login refused", MakeErrorEvent(u"Canal n\u00E3o existe|x"), "Canal n\xC3\xA3o existe|x",
         "cmd_error: Canal n\xC3\xA3o existe|x\n", kOverLoginRefused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetBridgeRecords();
        gBridgeConfig.nickname = "Ana";
        WriteTestFile(dir.File("data/corvanex_debug.txt"), "");
        WriteTestFile(dir.File("data/events.txt"), "");
        Deliver(c.event);
        EXPECT_EQ(Data("state.txt"), State("error", 0, 0, "", c.error));
        EXPECT_EQ(Data("corvanex_debug.txt"), c.log);
        EXPECT_EQ(Data("events.txt"), "1|over|" + std::string(c.reason) + "|" + c.error + "\n");
        EXPECT_TRUE(gLibraryDouble.calls.empty());
    }
    // After the login, a refusal that answers no request of the game's.
    ResetBridgeRecords();
    WriteTestFile(dir.File("data/events.txt"), "");
    LogIn(3);
    Deliver(MakeErrorEvent(u"Recusado"));
    EXPECT_EQ(Data("events.txt"), "1|loggedin|3\n2|error|Recusado\n");
}

TEST_F(SessionEventsTest, AnEndedSessionLeavesItsChannelAndStaysInError) {
    for (INT32 end : {CLIENTEVENT_CON_FAILED, CLIENTEVENT_CON_LOST,
                      CLIENTEVENT_CMD_MYSELF_LOGGEDOUT, CLIENTEVENT_CMD_MYSELF_KICKED}) {
        SCOPED_TRACE(end);
        ResetBridgeRecords();
        gBridgeConfig.nickname = "Ana";
        LogIn(3);
        Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, 5, 1, u"Sala"));
        Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_JOINED, 3, 5, u"Ana"));
        Deliver(MakeEvent(end));
        EXPECT_EQ(Data("state.txt"), State("error", 0, 0, "", kConnectionFailedText));
        // Nothing that comes after may show the game a live session again.
        Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_UPDATE, 5, 1, u"Nova"));
        Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_JOINED, 3, 5, u"Ana"));
        Deliver(MakeEvent(CLIENTEVENT_CMD_MYSELF_LOGGEDIN, 3));
        Deliver(MakeErrorEvent(u"late"));
        RunCommand("refresh", "refresh");
        EXPECT_EQ(Data("state.txt"), State("error", 0, 0, "", kConnectionFailedText));
    }
}

TEST_F(SessionEventsTest, SecondCommandErrorReplacesTheFirstAndErrorOutlivesStatus) {
    LogIn(3);
    Deliver(MakeErrorEvent(u"first"));
    Deliver(MakeErrorEvent(u"second"));
    EXPECT_EQ(Data("state.txt"), State("error", 3, 0, "", "second"));
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_JOINED, 3, 0, u"Ana"));
    EXPECT_EQ(Data("state.txt"), State("authorized", 3, 0, "", "second"));
}

// A drain takes events for 100 ms at most: the rest wait, in order, for the
// next, and each file is published once a drain with what per-event
// publishing would have left.
TEST_F(SessionEventsTest, ADrainCutByItsBudgetLeavesTheRestForTheNext) {
    gLibraryDouble.eventDelay = std::chrono::milliseconds(30);
    std::string all;
    for (int id = 1; id <= 8; ++id) {
        const std::u16string name = u"u" + std::u16string(1, char16_t(u'0' + id));
        gLibraryDouble.events.push_back(MakeUserEvent(CLIENTEVENT_CMD_USER_LOGGEDIN, id, 0, name));
        all += std::to_string(id) + "|u" + std::to_string(id) + "\n";
    }
    DrainEvents();
    const size_t taken = 8 - gLibraryDouble.events.size();
    EXPECT_GT(taken, 0u);
    EXPECT_LT(taken, 8u);
    EXPECT_EQ(Data("users.txt"), all.substr(0, taken * 5));
    EXPECT_EQ(gLibraryDouble.waits.front(), 16);
    while (!gLibraryDouble.events.empty()) DrainEvents();
    EXPECT_EQ(Data("users.txt"), all);
}

TEST_F(SessionEventsTest, UnhandledCodesChangeNothing) {
    for (INT32 code : {0, 999, -1}) Deliver(MakeEvent(code, 5));
    EXPECT_FALSE(TestFileExists(dir.File("data/state.txt")));
    EXPECT_FALSE(TestFileExists(dir.File("data/users.txt")));
    EXPECT_TRUE(gLibraryDouble.calls.empty());
}

// --- user and channel directories ---------------------------------------

TEST_F(SessionEventsTest, UsersFileFollowsLoginsUpdatesAndLogouts) {
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_LOGGEDIN, 5, 1, u"Bea"));
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_LOGGEDIN, 6, 1, u"Z\u00E9|x"));
    EXPECT_EQ(Data("users.txt"), "5|Bea\n6|Z\xC3\xA9|x\n");
    // An update keeps the place of the first arrival.
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_UPDATE, 5, 2, u"Beatriz"));
    EXPECT_EQ(Data("users.txt"), "5|Beatriz\n6|Z\xC3\xA9|x\n");
    // An update of an unknown user appends it.
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_UPDATE, 9, 0, u"Eve\n101|Guia"));
    EXPECT_EQ(Data("users.txt"), "5|Beatriz\n6|Z\xC3\xA9|x\n9|Eve 101|Guia\n");
    // Logging out and in again moves a user to the end.
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_LOGGEDOUT, 5, 0, u""));
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_LOGGEDIN, 5, 0, u"Bea"));
    EXPECT_EQ(Data("users.txt"), "6|Z\xC3\xA9|x\n9|Eve 101|Guia\n5|Bea\n");
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_LOGGEDOUT, 6, 0, u""));
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_LOGGEDOUT, 9, 0, u""));
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_LOGGEDOUT, 5, 0, u""));
    EXPECT_EQ(Data("users.txt"), "");
    EXPECT_FALSE(TestFileExists(dir.File("data/state.txt")));
}

TEST_F(SessionEventsTest, ChannelsFileFollowsNewUpdatedAndRemovedChannels) {
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, 1, 0, u""));
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, 2, 1, u"Sala\nA"));
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, 3, 1, u"A\u00E7\u00E3o"));
    EXPECT_EQ(Data("channels.txt"), "1||0|0\n2|Sala A|0|1\n3|A\xC3\xA7\xC3\xA3o|0|1\n");
    // Renamed and moved in place.
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_UPDATE, 2, 3, u"Sala B"));
    EXPECT_EQ(Data("channels.txt"), "1||0|0\n2|Sala B|0|3\n3|A\xC3\xA7\xC3\xA3o|0|1\n");
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_REMOVE, 2, 3, u""));
    EXPECT_EQ(Data("channels.txt"), "1||0|0\n3|A\xC3\xA7\xC3\xA3o|0|1\n");
    // Removing an unknown channel still rewrites the file, unchanged.
    WriteTestFile(dir.File("data/channels.txt"), "stale");
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_REMOVE, 77, 0, u""));
    EXPECT_EQ(Data("channels.txt"), "1||0|0\n3|A\xC3\xA7\xC3\xA3o|0|1\n");
}

TEST_F(SessionEventsTest, ChannelsAreFoundByTheirOwnNameOrByTheirPath) {
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, 1, 0, u""));
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, 2, 1, u"Equipa"));
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, 3, 2, u"Azul"));
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, 4, 1, u"Azul"));
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, 5, 1, u"Equipa/Azul"));
    const struct {
        std::string text;
        int32_t byName, byPath;
    } cases[] = {
        {"Equipa", 2, 2},    {"equipa", 0, 0},       {"Azul", 3, 4},   {"Equipa/Azul", 5, 3},
        {"", 1, 0},          {"Azul ", 0, 0},        {"Nenhum", 0, 0}, {"Equipa/Nada", 0, 0},
        {"Azul/Azul", 0, 0}, {"Equipa//Azul", 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindChannelIdByName(c.text), c.byName) << c.text;
        EXPECT_EQ(FindChannelIdByPath(c.text), c.byPath) << c.text;
    }
}

// --- own channel ----------------------------------------------------------

TEST_F(SessionEventsTest, OwnChannelFollowsJoinsAndLeaves) {
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, 5, 1, u"Sala|5"));
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, 6, 1, u"Outra"));
    LogIn(3);
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_JOINED, 3, 5, u"Ana"));
    EXPECT_EQ(Data("state.txt"), State("authorized", 3, 5, "Sala|5"));
    // Others' moves are not tracked.
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_JOINED, 4, 6, u"Bea"));
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_LEFT, 4, 5, u"Bea"));
    EXPECT_EQ(Data("state.txt"), State("authorized", 3, 5, "Sala|5"));
    // Leave, then join another.
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_LEFT, 3, 5, u"Ana"));
    EXPECT_EQ(Data("state.txt"), State("authorized", 3, 0, ""));
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_JOINED, 3, 6, u"Ana"));
    EXPECT_EQ(Data("state.txt"), State("authorized", 3, 6, "Outra"));
}

TEST_F(SessionEventsTest, LateLeaveOfAnEarlierChannelKeepsTheNewOne) {
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, 5, 1, u"Cinco"));
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, 6, 1, u"Seis"));
    LogIn(3);
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_JOINED, 3, 5, u"Ana"));
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_JOINED, 3, 6, u"Ana"));
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_LEFT, 3, 5, u"Ana"));
    EXPECT_EQ(Data("state.txt"), State("authorized", 3, 6, "Seis"));
}

TEST_F(SessionEventsTest, JoinOfAnUnknownChannelLeavesTheNameEmpty) {
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, 5, 1, u"Cinco"));
    LogIn(3);
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_JOINED, 3, 5, u"Ana"));
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_JOINED, 3, 8, u"Ana"));
    EXPECT_EQ(Data("state.txt"), State("authorized", 3, 8, ""));
}

TEST_F(SessionEventsTest, RenameOfTheOwnChannelReachesTheStateFile) {
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, 5, 1, u"Cinco"));
    LogIn(3);
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_JOINED, 3, 5, u"Ana"));
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_UPDATE, 5, 1, u"Quinta"));
    EXPECT_EQ(Data("state.txt"), State("authorized", 3, 5, "Quinta"));
    // Another channel's update leaves the state file alone.
    WriteTestFile(dir.File("data/state.txt"), "untouched");
    Deliver(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_UPDATE, 9, 1, u"Nove"));
    EXPECT_EQ(Data("state.txt"), "untouched");
}

// --- private messages -----------------------------------------------------

TEST_F(SessionEventsTest, PrivateMessagesAreAppendedWithTheSenderName) {
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_LOGGEDIN, 5, 1, u"Bea"));
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_LOGGEDIN, 6, 1, u""));
    Deliver(MakeTextEvent(MSGTYPE_USER, 5, 3, u"ol\u00E1 | tu\n101|Guia|forjada\r\n"));
    Deliver(MakeTextEvent(MSGTYPE_USER, 6, 3, u"vazio"));
    Deliver(MakeTextEvent(MSGTYPE_USER, 77, 3, u"quem?"));
    Deliver(MakeTextEvent(MSGTYPE_CHANNEL, 5, 0, u"canal"));
    Deliver(MakeTextEvent(MSGTYPE_USER, 5, 99, u""));
    EXPECT_EQ(Data("pm_in.txt"),
              "5|Bea|ol\xC3\xA1 | tu 101|Guia|forjada  \n6||vazio\n77|utilizador|quem?\n5|Bea|\n");
    EXPECT_FALSE(TestFileExists(dir.File("data/state.txt")));
}

// Pieces marked as going on are one entry; one whose last piece does not
// come lands as far as it came once its sender leaves; one too long to
// join lands in its pieces.
TEST_F(SessionEventsTest, APieceThatGoesOnIsJoinedWithTheNext) {
    const auto piece = [](INT32 from, const std::u16string& text, bool more) {
        TTMessage message = MakeTextEvent(MSGTYPE_USER, from, 3, text);
        message.textmessage.bMore = more;
        return message;
    };
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_LOGGEDIN, 5, 1, u"Bea"));
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_LOGGEDIN, 6, 1, u"Rui"));
    Deliver(piece(5, u"um ", true));
    Deliver(piece(6, u"outro", false));
    Deliver(piece(5, u"dois ", true));
    Deliver(piece(5, u"tr\u00EAs", false));
    Deliver(piece(6, u"sem fim", true));
    LandUnfinishedMessages();
    EXPECT_EQ(Data("pm_in.txt"), "6|Rui|outro\n5|Bea|um dois tr\xC3\xAAs\n");
    Deliver(MakeUserEvent(CLIENTEVENT_CMD_USER_LOGGEDOUT, 6, 1, u"Rui"));
    LandUnfinishedMessages();
    EXPECT_EQ(Data("pm_in.txt"), "6|Rui|outro\n5|Bea|um dois tr\xC3\xAAs\n6|Rui|sem fim\n");

    WriteTestFile(dir.File("data/pm_in.txt"), "");
    const std::u16string full(511, u'y');
    const size_t count = kMaxJoinedMessageBytes / full.size() + 2;
    for (size_t i = 0; i < count; ++i) Deliver(piece(5, full, i + 1 < count));
    std::string expected;
    for (size_t i = 0; i < count; ++i) expected += "5|Bea|" + std::string(511, 'y') + "\n";
    EXPECT_EQ(Data("pm_in.txt"), expected);
}

TEST_F(SessionEventsTest, MessagesThatCannotBeWrittenWaitAndKeepTheirOrder) {
    // A directory in the file's place refuses every append until removed.
    PlatformMakeDirectory("data\\pm_in.txt");
    Deliver(MakeTextEvent(MSGTYPE_USER, 5, 3, u"um"));
    Deliver(MakeTextEvent(MSGTYPE_USER, 5, 3, u"dois"));
    RetryPendingWrites();
    EXPECT_EQ(PendingAppendCount(kPrivateMessageFile), 2u);
    ASSERT_TRUE(std::filesystem::remove(dir.File("data/pm_in.txt")));
    Deliver(MakeTextEvent(MSGTYPE_USER, 5, 3, u"tr\u00EAs"));
    EXPECT_EQ(PendingAppendCount(kPrivateMessageFile), 0u);
    EXPECT_EQ(Data("pm_in.txt"), "5|utilizador|um\n5|utilizador|dois\n5|utilizador|tr\xC3\xAAs\n");
}

}  // namespace
