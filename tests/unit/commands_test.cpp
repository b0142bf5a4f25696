// The command processor and the command poll, against the recording
// library double.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "bridge.h"
#include "commands/command_file.h"
#include "commands/command_processor.h"
#include "commands/command_text.h"
#include "core/command_poll.h"
#include "core/event_dispatch.h"
#include "files/event_log.h"
#include "fresh_bridge.h"
#include "held_file.h"
#include "library_double.h"
#include "session/directories.h"
#include "session/library_text.h"
#include "session/voice_library.h"
#include "temp_directory.h"
#include "wide.h"

namespace {

using Calls = std::vector<std::string>;

// A command whose text is as the game wrote it, nothing to trim.
void RunAsWritten(const std::string& command) { RunCommand(command, command); }

class CommandsTest : public ::testing::Test {
protected:
    TempDirectory dir;
    CurrentDirectory cwd{dir.path};

    void SetUp() override {
        PlatformMakeDirectory("data");
        ResetBridgeRecords();
        gBridgeState.session = SessionStage::LoggedIn;
        gBridgeState.myUserId = 3;
        for (const auto& [id, name] :
             std::vector<std::pair<int, std::u16string>>{{1, u""},
                                                         {2, u"Equipa Azul"},
                                                         {3, u"A\u00E7\u00E3o"},
                                                         {4, u" dois"},
                                                         {5, u"Azul"}})
            HandleClientEvent(VoiceEventOf(
                MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, id, id == 1 ? 0 : 1, name)));
    }

    std::string Data(const std::string& name) const {
        return ReadTestFile(dir.File("data/" + name));
    }
    std::string State() const { return Data("state.txt"); }

    // Polls as the loop does until the command is taken, moved-aside file
    // and all: a command with an argument waits for its file to stand still.
    void PollUntilTaken() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        do {
            PollCommandFile();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } while ((!Data("cmd.txt").empty() || TestFileExists(dir.File("data/cmd.txt.taken"))) &&
                 std::chrono::steady_clock::now() < deadline);
    }
    std::string Sent(size_t i) const {
        return WideToUtf8(gLibraryDouble.sentMessages.at(i).szMessage);
    }
};

TEST_F(CommandsTest, JoinCommandsAskTheLibraryAndPublishNothingYet) {
    const std::pair<std::string, Calls> cases[] = {
        {"joinid 12", {"TT_DoJoinChannelByID 12 password="}},
        {"joinid +7x", {"TT_DoJoinChannelByID 7 password="}},
        {"joinid 5\nrefresh", {"TT_DoJoinChannelByID 5 password="}},
        {"joinid 99999999999", {"TT_DoJoinChannelByID 2147483647 password="}},
        {"joinid 0", {}},
        {"joinid -4", {}},
        {"joinid abc", {}},
        {"joinid", {}},
        {"joinpath Equipa Azul", {"TT_DoJoinChannelByID 2 password="}},
        {"joinpath /A\xC3\xA7\xC3\xA3o", {"TT_DoJoinChannelByID 3 password="}},
        {"joinpath  dois", {"TT_DoJoinChannelByID 4 password="}},  // second space is the name's
        {"joinpath /", {"TT_DoJoinChannelByID 1 password="}},
        {"joinpath Root/Azul", {}},
        {"joinpath azul", {}},
        {"joinpath Nenhum", {}},
        // A password after a bar: all after the first for joinid, after the
        // last for joinpath, once the whole argument names no channel.
        {"joinid 12|segredo", {"TT_DoJoinChannelByID 12 password=segredo"}},
        {"joinid 12 x|a|b", {"TT_DoJoinChannelByID 12 password=a|b"}},
        {"joinpath Equipa Azul|segredo", {"TT_DoJoinChannelByID 2 password=segredo"}},
        {"joinpath Equipa Azul/Sub", {"TT_DoJoinChannelByID 10 password="}},
        {"joinpath /Equipa Azul/Sub|s|b", {}},  // a password with a bar goes by joinid
        {"joinpath Equipa Azul/Sub|Bar", {"TT_DoJoinChannelByID 11 password="}},
        {"joinpath /Equipa Azul/Sub|pw", {"TT_DoJoinChannelByID 10 password=pw"}},
        {"joinpath Equipa Azul/Nada", {}},
    };
    HandleClientEvent(VoiceEventOf(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, 10, 2, u"Sub")));
    HandleClientEvent(
        VoiceEventOf(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, 11, 2, u"Sub|Bar")));
    for (const auto& [command, calls] : cases) {
        gLibraryDouble.calls.clear();
        RunAsWritten(command);
        EXPECT_EQ(gLibraryDouble.calls, calls) << command;
    }
    EXPECT_FALSE(TestFileExists(dir.File("data/state.txt")));
    // No password in the log or the events, where the command stands masked.
    FlushEvents();
    for (const char* name : {"corvanex_debug.txt", "events.txt"}) {
        EXPECT_EQ(Data(name).find("segredo"), std::string::npos) << name;
        EXPECT_NE(Data(name).find("joinid 12|***\n"), std::string::npos) << name;
        EXPECT_NE(Data(name).find("joinpath /Equipa Azul/Sub|***\n"), std::string::npos) << name;
    }
}

// The name as channels.txt shows it, blanks at its end included, wins over
// the name as a trimmed command line leaves it.
TEST_F(CommandsTest, JoinPathFindsTheNameTheGameSees) {
    for (const auto& [id, name] : std::vector<std::pair<int, std::u16string>>{
             {6, u"Sala "}, {7, u"Sala"}, {8, u"Fim\n"}, {9, u"Fim"}})
        HandleClientEvent(VoiceEventOf(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, id, 1, name)));
    const std::pair<std::string, int> cases[] = {
        {"joinpath Sala ", 6},   {"joinpath Sala\n", 7},   {"joinpath Sala\r\n", 7},
        {"joinpath Sala \n", 6}, {"joinpath Sala  ", 7},   {"joinpath Fim ", 8},
        {"joinpath Fim", 9},     {"\tjoinpath /Sala ", 6},
    };
    for (const auto& [written, id] : cases) {
        gLibraryDouble.calls.clear();
        RunCommand(TrimCommandText(written), written);
        EXPECT_EQ(gLibraryDouble.calls,
                  Calls{"TT_DoJoinChannelByID " + std::to_string(id) + " password="})
            << written;
    }
}

TEST_F(CommandsTest, StateCommandsActAndPublishAuthorized) {
    gBridgeState.myChannelId = 2;
    gBridgeState.myChannelName = "Equipa Azul";
    gBridgeState.lastError = "antigo";
    RunAsWritten("ptt_on");
    EXPECT_EQ(gLibraryDouble.calls, Calls{"TT_EnableVoiceTransmission 1"});
    EXPECT_EQ(State(),
              "status|authorized\nptt|1\nmyuserid|3\nmychannelid|2\nmychannelname|Equipa Azul\n"
              "nickname|Jogador\nerror|antigo\n");
    RunAsWritten("leave");
    RunAsWritten("ptt_off");
    EXPECT_EQ(gLibraryDouble.calls, (Calls{"TT_EnableVoiceTransmission 1", "TT_DoLeaveChannel",
                                           "TT_EnableVoiceTransmission 0"}));
    EXPECT_EQ(State(),
              "status|authorized\nptt|0\nmyuserid|3\nmychannelid|0\nmychannelname|\n"
              "nickname|Jogador\nerror|antigo\n");
    // Leaving when in no channel still asks and publishes.
    RunAsWritten("leave");
    EXPECT_EQ(gLibraryDouble.calls.back(), "TT_DoLeaveChannel");
}

TEST_F(CommandsTest, RefreshRewritesEveryPublishedFile) {
    HandleClientEvent(VoiceEventOf(MakeUserEvent(CLIENTEVENT_CMD_USER_LOGGEDIN, 3, 1, u"Ana")));
    for (const char* name : {"users.txt", "channels.txt", "state.txt"})
        WriteTestFile(dir.File(std::string("data/") + name), "stale");
    RunAsWritten("refresh");
    EXPECT_EQ(Data("users.txt"), "3|Ana\n");
    EXPECT_EQ(Data("channels.txt"),
              "1||0|0\n2|Equipa Azul|0|1\n3|A\xC3\xA7\xC3\xA3o|0|1\n4| dois|0|1\n5|Azul|0|1\n");
    EXPECT_EQ(State().substr(0, 18), "status|authorized\n");
    EXPECT_TRUE(gLibraryDouble.calls.empty());
}

TEST_F(CommandsTest, TextsThatMatchNoCommandDoNothing) {
    for (const char* text :
         {"REFRESH", "refresh now", "refresh\nrefresh", "\xEF\xBB\xBFrefresh", "leave ", "ptt",
          "pm", "pm5|x", "joinpath", "hello", "pm -2|x", "pm 0|x", "joinid 0", "joinid x"})
        RunAsWritten(text);
    EXPECT_TRUE(gLibraryDouble.calls.empty());
    EXPECT_FALSE(TestFileExists(dir.File("data/state.txt")));
}

TEST_F(CommandsTest, PrivateMessagesKeepEverythingAfterTheFirstBar) {
    RunAsWritten("pm 5|a|b");
    RunAsWritten("pm 7|");
    RunAsWritten("pm 9|linha 1\nlinha 2\r\n ol\xC3\xA1");
    RunAsWritten("pm 5 sem barra");
    ASSERT_EQ(gLibraryDouble.sentMessages.size(), 3u);
    EXPECT_EQ(Sent(0), "a|b");
    EXPECT_EQ(Sent(1), "");
    EXPECT_EQ(Sent(2), "linha 1\nlinha 2\r\n ol\xC3\xA1");
    EXPECT_EQ(gLibraryDouble.calls,
              (Calls{"TT_DoTextMessage to=5", "TT_DoTextMessage to=7", "TT_DoTextMessage to=9"}));
    for (const TextMessage& m : gLibraryDouble.sentMessages) {
        EXPECT_EQ(m.nMsgType, MSGTYPE_USER);
        EXPECT_EQ(m.nFromUserID, 0);
        EXPECT_EQ(m.nChannelID, 0);
        EXPECT_EQ(m.bMore, 0);
    }
}

TEST_F(CommandsTest, LongMessagesGoWholeInPiecesThatKeepPairsTogether) {
    const std::string emoji = "\xF0\x9F\x8E\xAE";  // two UTF-16 units
    // 510 units and a pair: the pair may not be split at 511.
    std::string text = std::string(510, 'a') + emoji + "b";
    RunAsWritten("pm 9|" + text);
    ASSERT_EQ(gLibraryDouble.sentMessages.size(), 2u);
    EXPECT_EQ(Sent(0), std::string(510, 'a'));
    EXPECT_EQ(Sent(1), emoji + "b");

    gLibraryDouble.sentMessages.clear();
    std::string pairs;
    for (int i = 0; i < 1500; ++i) pairs += emoji;  // 3,000 units
    RunAsWritten("pm 9|" + pairs);
    std::string joined;
    const size_t count = gLibraryDouble.sentMessages.size();
    for (size_t i = 0; i < count; ++i) {
        EXPECT_LE(TextOf(gLibraryDouble.sentMessages[i].szMessage).size(), 511u);
        // One message in pieces: each but the last goes on in the next.
        EXPECT_EQ(gLibraryDouble.sentMessages[i].bMore, i + 1 < count ? 1 : 0) << i;
        joined += Sent(i);
    }
    EXPECT_EQ(joined, pairs);
    EXPECT_EQ(gLibraryDouble.sentMessages.size(), 6u);  // 255 pairs a piece
}

TEST(SplitMessageText, CutsAtWholeCharactersOnly) {
    const struct {
        std::u16string text;
        size_t max;
        std::vector<std::u16string> pieces;
    } cases[] = {
        {u"", 3, {u""}},
        {u"abc", 3, {u"abc"}},
        {u"abcd", 3, {u"abc", u"d"}},
        {u"ab\U0001F3AE", 3, {u"ab", u"\U0001F3AE"}},
        {u"\U0001F3AE\U0001F3AE", 3, {u"\U0001F3AE", u"\U0001F3AE"}},
        {u"a\xD800"
         u"b",
         2,
         {u"a\xD800", u"b"}},                        // an unpaired half is cut like any unit
        {u"\U0001F3AE", 1, {u"\xD83C", u"\xDFAE"}},  // a piece of one unit still moves on
    };
    for (const auto& c : cases) {
        std::vector<WideString> expected;
        for (const auto& p : c.pieces) expected.push_back(W(p));
        EXPECT_EQ(SplitMessageText(W(c.text), c.max), expected);
    }
}

// --- the poll -------------------------------------------------------------

TEST_F(CommandsTest, PollLogsRunsAndEmptiesTheFile) {
    WriteTestFile(dir.File("data/cmd.txt"), " \tptt_on \r\n");
    PollCommandFile();
    EXPECT_EQ(Data("cmd.txt"), "");
    EXPECT_TRUE(TestFileExists(dir.File("data/cmd.txt")));
    EXPECT_FALSE(TestFileExists(dir.File("data/cmd.txt.taken")));
    EXPECT_EQ(Data("corvanex_debug.txt"), "cmd: ptt_on\n");
    EXPECT_EQ(gLibraryDouble.calls, Calls{"TT_EnableVoiceTransmission 1"});

    WriteTestFile(dir.File("data/cmd.txt"), "\xEF\xBB\xBFrefresh");
    PollUntilTaken();
    EXPECT_EQ(Data("cmd.txt"), "");
    EXPECT_EQ(Data("corvanex_debug.txt"), "cmd: ptt_on\ncmd: \xEF\xBB\xBFrefresh\n");
}

TEST_F(CommandsTest, PollLeavesMissingEmptyAndBlankFilesAlone) {
    PollCommandFile();
    EXPECT_FALSE(TestFileExists(dir.File("data/cmd.txt")));
    for (const char* blank : {"", " \t\r\n\n "}) {
        WriteTestFile(dir.File("data/cmd.txt"), blank);
        PollCommandFile();
        PollCommandFile();
        EXPECT_EQ(Data("cmd.txt"), blank);
    }
    EXPECT_FALSE(TestFileExists(dir.File("data/corvanex_debug.txt")));
}

TEST_F(CommandsTest, PollLeavesACommandWaitingUntilTheLogin) {
    gBridgeState.session = SessionStage::Connecting;
    WriteTestFile(dir.File("data/cmd.txt"), "joinid 5");
    PollCommandFile();
    EXPECT_EQ(Data("cmd.txt"), "joinid 5");
    EXPECT_TRUE(gLibraryDouble.calls.empty());
    gBridgeState.session = SessionStage::LoggedIn;
    PollUntilTaken();
    EXPECT_EQ(Data("cmd.txt"), "");
    EXPECT_EQ(gLibraryDouble.calls, Calls{"TT_DoJoinChannelByID 5 password="});
}

// A file the game keeps touching every few milliseconds, as it does while
// it writes: a bare keyword cannot grow and is taken all the same; a
// command with an argument waits until the touching stops.
TEST_F(CommandsTest, OnlyACommandWithAnArgumentWaitsForItsFileToStandStill) {
    std::atomic<bool> touching{true};
    std::thread game([&] {
        while (touching) {
            for (const char* name : {"data/cmd.txt", "data/cmd.txt.taken"})
                TouchFile(dir.File(name));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    const auto pollWhile = [&](const std::function<bool()>& waiting, int polls) {
        for (int i = 0; i < polls && waiting(); ++i) {
            PollCommandFile();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    WriteTestFile(dir.File("data/cmd.txt"), "ptt_on");
    pollWhile([&] { return gLibraryDouble.calls.empty(); }, 2000);
    EXPECT_EQ(gLibraryDouble.calls, Calls{"TT_EnableVoiceTransmission 1"});
    WriteTestFile(dir.File("data/cmd.txt"), "joinid 5");
    pollWhile([] { return true; }, 100);
    EXPECT_EQ(gLibraryDouble.calls.size(), 1u);
    touching = false;
    game.join();
    PollUntilTaken();
    EXPECT_EQ(gLibraryDouble.calls.back(), "TT_DoJoinChannelByID 5 password=");
}

TEST_F(CommandsTest, PollRefusesAnOverLongCommandAndGoesOn) {
    WriteTestFile(dir.File("data/cmd.txt"), "pm 5|" + std::string(kMaxCommandBytes, 'x'));
    PollCommandFile();
    EXPECT_EQ(Data("cmd.txt"), "");
    EXPECT_TRUE(gLibraryDouble.calls.empty());
    EXPECT_EQ(Data("corvanex_debug.txt"), "cmd ignored: longer than 1048576 bytes\n");
    WriteTestFile(dir.File("data/cmd.txt"), "leave");
    PollCommandFile();
    EXPECT_EQ(gLibraryDouble.calls, Calls{"TT_DoLeaveChannel"});
}

TEST_F(CommandsTest, AMovedCommandFoundBlankGoesBackUnlessANewOneCame) {
    for (const bool newCommand : {false, true}) {
        WriteTestFile(dir.File("data/cmd.txt.taken"), " \n");
        if (newCommand) WriteTestFile(dir.File("data/cmd.txt"), "leave");
        RunMovedCommand([](const std::string& command) { FAIL() << "ran " << command; });
        EXPECT_EQ(Data("cmd.txt"), newCommand ? "leave" : " \n");
        EXPECT_FALSE(TestFileExists(dir.File("data/cmd.txt.taken")));
    }
}

// A half-taken command is an earlier run's, and so is one written before
// this process began; one written since waits where the game put it.
TEST_F(CommandsTest, StartUpDiscardsOnlyTheCommandsOfAnEarlierRun) {
    for (const bool stale : {true, false}) {
        WriteTestFile(dir.File("data/cmd.txt"), "leave");
        WriteTestFile(dir.File("data/cmd.txt.taken"), "ptt_on");
        if (stale)
            std::filesystem::last_write_time(
                dir.File("data/cmd.txt"),
                std::filesystem::file_time_type::clock::now() - std::chrono::hours(24));
        DiscardStaleCommands();
        EXPECT_EQ(Data("cmd.txt"), stale ? "" : "leave");
        EXPECT_FALSE(TestFileExists(dir.File("data/cmd.txt.taken")));
    }
}

}  // namespace
