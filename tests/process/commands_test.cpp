// The game's commands end to end: written into data/cmd.txt by the game's
// side, seen in the published files and in what the server was asked.
#include <cstdlib>
#include <cstring>

#include "session_fixture.h"

namespace {

using namespace std::chrono_literals;

class GameCommandTest : public SessionTest {
protected:
    std::string ClientInfo(size_t field) {
        const std::vector<std::string> reply = Query({"query", "client", std::to_string(myUserId)});
        return reply.size() > field ? reply[field] : "";
    }
};

TEST_P(GameCommandTest, PushToTalkAndRefresh) {
    StartLoggedIn();
    Command("ptt_on");
    EXPECT_TRUE(WaitUntil([&] { return StateEntry("ptt") == "1"; }));
    EXPECT_TRUE(WaitUntil([&] { return ClientInfo(1) == "1"; }));
    Command("ptt_off");
    EXPECT_TRUE(WaitUntil([&] { return StateEntry("ptt") == "0"; }));
    EXPECT_TRUE(WaitUntil([&] { return ClientInfo(1) == "0"; }));

    const std::string users = Data("users.txt");
    const std::string channels = Data("channels.txt");
    for (const char* name : {"users.txt", "channels.txt", "state.txt"})
        WriteTestFile(DataPath(name), "");
    Command("refresh");
    EXPECT_TRUE(DataBecomes("state.txt", StateText("authorized", "Ana", myUserId)));
    EXPECT_EQ(Data("users.txt"), users);
    EXPECT_EQ(Data("channels.txt"), channels);
}

TEST_P(GameCommandTest, RejectedRequestsComeBackAsErrors) {
    Control({"channel", "add", "5", "1", "Fechado", "segredo"});
    StartLoggedIn();
    const struct {
        std::string command;
        std::string requestStart;
    } cases[] = {
        {"joinid 99", "JOIN\t"},
        {"joinpath Fechado", "JOIN\t"},
        {"pm 4242|ningu\xC3\xA9m", "MESSAGE\t"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        Command("refresh");
        ASSERT_TRUE(WaitUntil([&] { return StateEntry("status") == "authorized"; }));
        const std::string errorBefore = StateEntry("error");
        Command(c.command);
        EXPECT_TRUE(WaitUntil([&] {
            return StateEntry("status") == "error" && StateEntry("error") != errorBefore;
        })) << Data("state.txt");
        EXPECT_EQ(RequestsFrom(myUserId).back().rfind(c.requestStart, 0), 0u);
    }
    EXPECT_EQ(StateEntry("mychannelid"), "0");
}

// The outcome lines of the command taken as line `seq`, each from its kind
// on, with the taken line's number written as "SEQ".
std::vector<std::string> OutcomesOf(const std::string& events, const std::string& seq) {
    std::vector<std::string> outcomes;
    for (size_t start = 0, end; (end = events.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const std::string line = events.substr(start, end - start);
        const std::string kind = line.substr(line.find('|') + 1);
        for (const char* prefix : {"done|", "failed|"})
            if (kind.rfind(prefix + seq + "|", 0) == 0 || kind == prefix + seq)
                outcomes.push_back(std::string(prefix) + "SEQ" +
                                   kind.substr(std::strlen(prefix) + seq.size()));
    }
    return outcomes;
}

// Every command taken gets its "taken" line and one outcome naming it in
// events.txt (a refused private message a second), in the order given.
TEST_P(GameCommandTest, EveryCommandIsAnsweredInTheEventsFile) {
    Control({"channel", "add", "5", "1", "Cinco"});
    Control({"channel", "add", "6", "1", "Fechado", "segredo"});
    Control({"channel", "add", "7", "5", "Sub"});
    Control({"channel", "add", "8", "1", "A/B"});
    Control({"channel", "add", "9", "1", "C|D"});
    StartLoggedIn();
    using Lines = std::vector<std::string>;
    const struct {
        std::string command;
        Lines outcomes;
        std::string shown = "";  // in the taken line, where not the command
    } cases[] = {
        {"ptt_on", {"done|SEQ"}},
        {"joinid 5", {"done|SEQ"}},
        {"joinid 5", {"done|SEQ"}},  // already there: the server confirms again
        {"joinid 999", {"failed|SEQ|no_such_channel|Channel 999 does not exist"}},
        {"joinid 999", {"failed|SEQ|no_such_channel|Channel 999 does not exist"}},
        {"joinid 6", {"failed|SEQ|rejected|Wrong password for channel 6"}},
        {"joinpath Fechado|errada",
         {"failed|SEQ|rejected|Wrong password for channel 6"},
         "joinpath Fechado|***"},
        {"joinid 6|segredo", {"done|SEQ"}, "joinid 6|***"},
        {"joinpath Nenhum", {"failed|SEQ|no_such_channel|"}},
        {"joinpath Cinco/Sub", {"done|SEQ"}},  // a path, a name with a slash or a bar
        {"joinpath /A/B", {"done|SEQ"}},
        {"joinpath C|D", {"done|SEQ"}},
        {"hello", {"failed|SEQ|not_a_command|"}},
        {"joinid 0", {"failed|SEQ|not_a_command|"}},
        {"pm 5", {"failed|SEQ|not_a_command|"}},
        {"pm 4242|ol\xC3\xA1", {"done|SEQ", "failed|SEQ|no_such_user|User 4242 does not exist"}},
        {"leave", {"done|SEQ"}},
        {"leave", {"failed|SEQ|rejected|You are not in a channel"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const size_t before = Data("events.txt").size();
        Command(c.command);
        const std::string taken = "|taken|" + (c.shown.empty() ? c.command : c.shown) + "\n";
        // The taken line's number: what stands before it on its line.
        const auto seqOf = [&](const std::string& added) {
            const size_t at = added.find(taken);
            if (at == std::string::npos) return std::string();
            const size_t start = added.rfind('\n', at);
            return added.substr(start == std::string::npos ? 0 : start + 1,
                                at - (start == std::string::npos ? 0 : start + 1));
        };
        EXPECT_TRUE(WaitUntil([&] {
            const std::string added = Data("events.txt").substr(before);
            return !seqOf(added).empty() &&
                   OutcomesOf(added, seqOf(added)).size() == c.outcomes.size();
        }));
        const std::string added = Data("events.txt").substr(before);
        EXPECT_EQ(OutcomesOf(added, seqOf(added)), c.outcomes) << added;
    }
}

// members.txt follows who is in which channel: the bridge's own join and
// leave, and another user's move.
TEST_P(GameCommandTest, MembersFollowJoinsLeavesAndMoves) {
    Control({"channel", "add", "5", "1", "Cinco"});
    Control({"bot", "add", "990", "Bea", "5"});
    StartLoggedIn();
    const std::string me = std::to_string(myUserId);
    const auto inChannels = [&](const std::string& mine, const std::string& beas) {
        return WaitUntil([&] {
            const std::string members = "\n" + Data("members.txt");
            return members.find("\n" + me + "|" + mine + "\n") != std::string::npos &&
                   members.find("\n990|" + beas + "\n") != std::string::npos;
        });
    };
    EXPECT_TRUE(inChannels("0", "5")) << Data("members.txt");
    Command("joinid 5");
    EXPECT_TRUE(inChannels("5", "5")) << Data("members.txt");
    Control({"bot", "join", "990", "1"});
    EXPECT_TRUE(inChannels("5", "1")) << Data("members.txt");
    Command("leave");
    EXPECT_TRUE(inChannels("0", "1")) << Data("members.txt");
    EXPECT_GE(Count(Data("events.txt"), "|members\n"), 4u) << Data("events.txt");
}

TEST_P(GameCommandTest, TwoBridgesExchangePrivateMessages) {
    StartLoggedIn();
    TempDirectory otherDir;
    ChildProcess other = StartBridge(GetParam(), executable, otherDir.path,
                                     {"127.0.0.1", Port(), "10333", "0", "Rui \xF0\x9F\x8E\xAE"});
    const std::string otherData = otherDir.File("data");
    ASSERT_TRUE(WaitUntil([&] {
        return ParseStateText(ReadDataFile(otherData, "state.txt"))["status"] == "authorized";
    }));
    const std::string otherId = ParseStateText(ReadDataFile(otherData, "state.txt"))["myuserid"];
    const std::string me = std::to_string(myUserId);
    EXPECT_TRUE(DataBecomes("users.txt", me + "|Ana\n" + otherId + "|Rui \xF0\x9F\x8E\xAE\n"));

    Command("pm " + otherId + "|ol\xC3\xA1 | Rui\nsegunda linha");
    ASSERT_TRUE(SendCommand(otherData, "pm " + me + "|resposta|com|barras", 20s));
    // The line break goes to the server as it is, and into pm_in.txt as a
    // space, so that the entry stays one line.
    const std::string firstEntry = me + "|Ana|ol\xC3\xA1 | Rui segunda linha\n";
    EXPECT_TRUE(WaitUntil([&] { return ReadDataFile(otherData, "pm_in.txt") == firstEntry; }))
        << ReadDataFile(otherData, "pm_in.txt");
    EXPECT_TRUE(DataBecomes("pm_in.txt", otherId + "|Rui \xF0\x9F\x8E\xAE|resposta|com|barras\n"));

    // 3,000 characters, a third of them outside the basic plane: sent in
    // pieces that each fit one message, received as one entry.
    std::string longText;
    for (int i = 0; i < 1000; ++i) longText += "a\xC3\xA7\xF0\x9F\x8E\xAE";
    Command("pm " + otherId + "|" + longText);
    const std::string joined = firstEntry + me + "|Ana|" + longText + "\n";
    EXPECT_TRUE(WaitUntil([&] { return ReadDataFile(otherData, "pm_in.txt") == joined; }))
        << ReadDataFile(otherData, "pm_in.txt").size();
    EXPECT_TRUE(KilledWhileRunning(other, otherDir.File("bridge-output.txt"))) << "second bridge";
}

// Sent in pieces, a long text is still one message: a bot that answers
// each whole message answers it once.
TEST_P(GameCommandTest, ALongMessageIsOneMessageToItsRecipient) {
    Control({"bot", "add", "990", "Guia", "0", "reply", "Recebido"});
    Control({"bot", "add", "991", "Fim", "0", "reply", "Fim"});
    StartLoggedIn();
    Command("pm 990|" + std::string(1500, 'x'));
    // Answered after every answer to the long one.
    Command("pm 991|fim");
    EXPECT_TRUE(DataBecomes("pm_in.txt", "990|Guia|Recebido\n991|Fim|Fim\n"));
}

// A game that writes each command as soon as the bridge has taken the one
// before, without waiting for the file to be emptied: every command must
// run exactly once, in order.
TEST_P(GameCommandTest, CommandsWrittenAtAnyMomentRunExactlyOnce) {
    const char* configured = std::getenv("VOICEBRIDGE_STRESS_COMMANDS");
    const int count = configured != nullptr ? std::atoi(configured) : 1000;
    Control({"bot", "add", "990", "Sink"});
    StartLoggedIn();
    const std::string data = dir.File("data");
    for (int i = 0; i < count; ++i) {
        const std::string command = "pm 990|seq " + std::to_string(i);
        ASSERT_TRUE(WriteCommand(data, command));
        ASSERT_TRUE(WaitFor([&] { return ReadDataFile(data, "cmd.txt") != command; }, 20s))
            << "command " << i << " never taken";
    }
    std::vector<std::string> sent;
    EXPECT_TRUE(WaitUntil([&] {
        sent.clear();
        for (const std::string& line : RequestsFrom(myUserId))
            if (line.rfind("MESSAGE\t", 0) == 0) sent.push_back(line);
        return sent.size() >= static_cast<size_t>(count);
    }));
    ASSERT_EQ(sent.size(), static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        EXPECT_NE(sent[i].find("\tseq " + std::to_string(i) + "\t"), std::string::npos) << sent[i];
    // At rest: the last command's message is out before its file is put
    // back, so wait for the empty file, with nothing left aside.
    EXPECT_TRUE(WaitUntil([&] {
        return TestFileExists(DataPath("cmd.txt")) && Data("cmd.txt").empty() &&
               !TestFileExists(DataPath("cmd.txt.taken"));
    }));
}

INSTANTIATE_FOR_BOTH_BUILDS(GameCommandTest);

}  // namespace
