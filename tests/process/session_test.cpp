// A voice session as the game sees it: login, errors, the directories, the
// own channel and private messages, against the simulated server.
#include <algorithm>
#include <filesystem>

#include "exchange_vocabulary.h"
#include "session_fixture.h"

namespace {

using namespace std::chrono_literals;

class VoiceSessionTest : public SessionTest {};

TEST_P(VoiceSessionTest, LogsInOpensDevicesAndMirrorsTheServer) {
    Control({"channel", "add", "2", "1", "Sala de espera"});
    Control({"channel", "add", "3", "2", "A\xC3\xA7\xC3\xA3o|1"});
    Control({"bot", "add", "900", "Bot \xF0\x9F\xA4\x96", "2"});
    StartLoggedIn("Z\xC3\xA9");

    EXPECT_GT(myUserId, 0);
    EXPECT_TRUE(
        DataBecomes("corvanex_debug.txt", "start host=127.0.0.1 tcp=" + Port() +
                                              " udp=10333 nick=Z\xC3\xA9\n"
                                              "event con_success\nsound devices initialized\n"));
    EXPECT_TRUE(
        DataBecomes("channels.txt", "1||0|0\n2|Sala de espera|0|1\n3|A\xC3\xA7\xC3\xA3o|1|0|2\n"));
    // The server lists its users in ID order, the bridge itself among them.
    EXPECT_TRUE(DataBecomes(
        "users.txt", "900|Bot \xF0\x9F\xA4\x96\n" + std::to_string(myUserId) + "|Z\xC3\xA9\n"));
    const std::vector<std::string> requests = RequestsFrom(myUserId);
    EXPECT_NE(std::find(requests.begin(), requests.end(), "SOUND_INPUT\t1"), requests.end());
    EXPECT_NE(std::find(requests.begin(), requests.end(), "SOUND_OUTPUT\t2"), requests.end());
    const std::vector<std::string> client = Query({"query", "client", std::to_string(myUserId)});
    ASSERT_GE(client.size(), 4u);
    EXPECT_EQ(client[2], "1");
    EXPECT_EQ(client[3], "2");
}

TEST_P(VoiceSessionTest, WithoutSoundDevicesLoginStillEndsAuthorized) {
    StartLoggedIn("Ana", {{"VOICECLIENT_NO_SOUND_DEVICES", "1"}});
    EXPECT_EQ(Data("corvanex_debug.txt"),
              "start host=127.0.0.1 tcp=" + Port() + " udp=10333 nick=Ana\nevent con_success\n");
    for (const std::string& line : RequestsFrom(myUserId))
        EXPECT_NE(line.rfind("SOUND_", 0), 0u) << line;
}

TEST_P(VoiceSessionTest, RefusedConnectionIsAnErrorAndTheLoopGoesOn) {
    Control({"switch", "refuse-connections", "1"});
    Start({"127.0.0.1", Port(), "10333", "0", "Ana"});
    EXPECT_TRUE(
        DataBecomes("state.txt", StateText("error", "Ana", 0, 0, "", kConnectionFailedText)));
    // The session ended before it began: a command is taken and fails, and
    // the error stays.
    Command("ptt_on");
    EXPECT_TRUE(WaitUntil([&] {
        return Data("events.txt").find("|over|connection_failed|") != std::string::npos &&
               Data("events.txt").find("|taken|ptt_on\n") != std::string::npos &&
               Data("events.txt").find("|session_over|") != std::string::npos;
    })) << Data("events.txt");
    EXPECT_EQ(Data("state.txt"), StateText("error", "Ana", 0, 0, "", kConnectionFailedText));
    EXPECT_TRUE(IsRunning(bridge));
}

// A server account: the user name is the sixth argument, the password is
// only in the bridge's environment and shows nowhere a game or another user
// of the machine could read it; a wrong one is a refused login.
TEST_P(VoiceSessionTest, AnAccountLogsInWithThePasswordFromTheEnvironment) {
    Control({"account", "add", "ana", "segredo-ana"});
    Start({"127.0.0.1", Port(), "10333", "0", "Ana", "ana"}, {{kPasswordVariable, "segredo-ana"}});
    ASSERT_TRUE(WaitUntil([&] { return StateEntry("status") == "authorized"; }))
        << Data("state.txt");
    Command("joinid 1|segredo-canal");
    EXPECT_TRUE(WaitUntil([&] { return StateEntry("mychannelid") == "1"; }));
    if (GetParam() == BridgeBuild::Native) {
        const std::string commandLine =
            ReadTestFile("/proc/" + std::to_string(bridge.pid) + "/cmdline");
        EXPECT_NE(commandLine.find("ana"), std::string::npos);
        EXPECT_EQ(commandLine.find("segredo"), std::string::npos);
    }
    for (const auto& file : std::filesystem::directory_iterator(dir.File("data")))
        EXPECT_EQ(ReadTestFile(file.path().string()).find("segredo"), std::string::npos)
            << file.path();
    StopProcess(bridge);

    Start({"127.0.0.1", Port(), "10333", "0", "Ana", "ana"}, {{kPasswordVariable, "errada"}});
    const std::string reason = "Wrong password for account ana";
    EXPECT_TRUE(DataBecomes("state.txt", StateText("error", "Ana", 0, 0, "", reason)));
    EXPECT_TRUE(WaitUntil([&] {
        return Data("events.txt").find("|over|login_refused|" + reason + "\n") != std::string::npos;
    })) << Data("events.txt");
}

TEST_P(VoiceSessionTest, CommandErrorsAndALostConnectionAreReported) {
    StartLoggedIn();
    Control({"client", "error", std::to_string(myUserId), "Primeiro erro"});
    Control({"client", "error", std::to_string(myUserId), "Segundo | erro\nlinha"});
    EXPECT_TRUE(WaitUntil([&] { return StateEntry("error") == "Segundo | erro linha"; }));
    EXPECT_EQ(StateEntry("status"), "error");
    EXPECT_TRUE(DataBecomes("corvanex_debug.txt",
                            "start host=127.0.0.1 tcp=" + Port() +
                                " udp=10333 nick=Ana\n"
                                "event con_success\nsound devices initialized\n"
                                "cmd_error: Primeiro erro\ncmd_error: Segundo | erro\nlinha\n"));
    Control({"client", "drop", std::to_string(myUserId)});
    EXPECT_TRUE(
        DataBecomes("state.txt", StateText("error", "Ana", 0, 0, "", kConnectionFailedText)));
    EXPECT_TRUE(IsRunning(bridge));
}

TEST_P(VoiceSessionTest, DirectoriesFollowTheServer) {
    StartLoggedIn();
    const std::string me = std::to_string(myUserId) + "|Ana\n";
    Control({"bot", "add", "901", "Rui"});
    Control({"bot", "add", "902", "Eva|\xC3\xA9"});
    EXPECT_TRUE(DataBecomes("users.txt", me + "901|Rui\n902|Eva|\xC3\xA9\n"));
    Control({"bot", "remove", "901"});
    EXPECT_TRUE(DataBecomes("users.txt", me + "902|Eva|\xC3\xA9\n"));

    Control({"channel", "add", "5", "1", "Cinco"});
    Control({"channel", "add", "6", "1", "Seis"});
    EXPECT_TRUE(DataBecomes("channels.txt", "1||0|0\n5|Cinco|0|1\n6|Seis|0|1\n"));
    Control({"channel", "rename", "5", "Quinta\nlinha"});
    Control({"channel", "move", "6", "5"});
    EXPECT_TRUE(DataBecomes("channels.txt", "1||0|0\n5|Quinta linha|0|1\n6|Seis|0|5\n"));
    Control({"channel", "remove", "6"});
    EXPECT_TRUE(DataBecomes("channels.txt", "1||0|0\n5|Quinta linha|0|1\n"));
}

TEST_P(VoiceSessionTest, OwnChannelFollowsJoinsLeavesRenamesAndRemovals) {
    Control({"channel", "add", "5", "1", "Cinco"});
    Control({"channel", "add", "6", "1", "Seis"});
    StartLoggedIn();
    Command("joinid 5");
    EXPECT_TRUE(DataBecomes("state.txt", StateText("authorized", "Ana", myUserId, 5, "Cinco")));
    Command("joinpath Seis");
    EXPECT_TRUE(DataBecomes("state.txt", StateText("authorized", "Ana", myUserId, 6, "Seis")));
    Control({"channel", "rename", "6", "Sexta"});
    EXPECT_TRUE(DataBecomes("state.txt", StateText("authorized", "Ana", myUserId, 6, "Sexta")));
    Control({"channel", "remove", "6"});
    EXPECT_TRUE(DataBecomes("state.txt", StateText("authorized", "Ana", myUserId, 0, "")));
    Command("joinid 5");
    EXPECT_TRUE(DataBecomes("state.txt", StateText("authorized", "Ana", myUserId, 5, "Cinco")));
    Command("leave");
    EXPECT_TRUE(DataBecomes("state.txt", StateText("authorized", "Ana", myUserId, 0, "")));
}

TEST_P(VoiceSessionTest, PrivateMessagesFromABotAndAnotherBridgeArrive) {
    StartLoggedIn();
    // Line breaks in names and texts become spaces: one entry, one line,
    // however a sender words it; a bar in the name cannot make a field.
    Control({"bot", "add", "950", "Bot|B\r"});
    Control({"bot", "say", "950", std::to_string(myUserId),
             "ol\xC3\xA1 | \xF0\x9F\x8E\xAE\nlinha 2\ttab\r\n101|Guia|forjada"});
    const std::string first =
        "950|Bot\xC2\xA6"
        "B |ol\xC3\xA1 | \xF0\x9F\x8E\xAE linha 2\ttab  101|Guia|forjada\n";
    EXPECT_TRUE(DataBecomes("pm_in.txt", first));

    // A second bridge, in a game directory of its own, writes to the first.
    TempDirectory otherDir;
    ChildProcess other = StartBridge(GetParam(), executable, otherDir.path,
                                     {"127.0.0.1", Port(), "10333", "0", "Rui"});
    ASSERT_TRUE(WaitUntil([&] {
        return ParseStateText(ReadTestFile(otherDir.File("data/state.txt")))["status"] ==
               "authorized";
    }));
    const std::string otherId =
        ParseStateText(ReadTestFile(otherDir.File("data/state.txt")))["myuserid"];
    ASSERT_TRUE(SendCommand(otherDir.File("data"),
                            "pm " + std::to_string(myUserId) + "|a|b\nc \xE2\x82\xAC", 20s));
    EXPECT_TRUE(DataBecomes("pm_in.txt", first + otherId + "|Rui|a|b c \xE2\x82\xAC\n"));
    EXPECT_TRUE(KilledWhileRunning(other, otherDir.File("bridge-output.txt"))) << "second bridge";
}

INSTANTIATE_FOR_BOTH_BUILDS(VoiceSessionTest);

}  // namespace
