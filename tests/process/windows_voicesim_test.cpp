// voicebridge.exe against voicesim.exe, both under Wine, through a whole
// session with the demo scenario, steered through the data files and
// voicesim's control port; voicesim.exe then ends on Ctrl-C with status 0.
#include <signal.h>

#include "bridge_fixture.h"
#include "game_files.h"
#include "voicesim_control.h"

namespace {

using namespace std::chrono_literals;

class WindowsVoiceSimTest : public BridgeProcessTest {
protected:
    std::string StateEntry(const std::string& key) const {
        return ParseStateText(Data("state.txt"))[key];
    }

    void Command(const std::string& command) {
        ASSERT_TRUE(SendCommand(dir.File("data"), command, 20s)) << "not taken: " << command;
    }
};

TEST_P(WindowsVoiceSimTest, WholeSessionWithTheDemoScenario) {
    const std::string simExecutable = WindowsVoiceSimExecutable();
    ASSERT_FALSE(simExecutable.empty())
        << "voicesim.exe not built; set VOICEBRIDGE_SKIP_WINE=1 to skip";
    VoiceSim sim =
        StartVoiceSim(dir.path, {"--scenario", VOICESIM_DEMO_SCENARIO}, BridgeBuild::Windows);
    const std::string simOutput = dir.File("voicesim-output.txt");
    ASSERT_GT(sim.controlPort, 0) << ReadTestFile(simOutput);
    EXPECT_NE(ReadTestFile(simOutput).find(
                  "voicesim: voice clients on 127.0.0.1:" + std::to_string(sim.port) + "\r\n"),
              std::string::npos)
        << ReadTestFile(simOutput);

    Start({"127.0.0.1", std::to_string(sim.port), "10333", "0", "Ana"});
    ASSERT_TRUE(WaitUntil([&] { return StateEntry("status") == "authorized"; }))
        << Data("state.txt") << BridgeOutput();
    const std::string me = StateEntry("myuserid");
    EXPECT_TRUE(DataBecomes("channels.txt",
                            "1||0|0\n2|Sala de espera|0|1\n3|Equipa Azul|0|1\n"
                            "5|A\xC3\xA7\xC3\xA3o|0|3\n4|Equipa Vermelha|0|1\n6|Reservado|0|1\n"));
    EXPECT_TRUE(DataBecomes("users.txt", "100|Eco\n101|Guia\n" + me + "|Ana\n"));

    Command("joinpath A\xC3\xA7\xC3\xA3o");
    EXPECT_TRUE(WaitUntil([&] { return StateEntry("mychannelid") == "5"; })) << Data("state.txt");
    // The server, asked from this side of Wine, has Ana in that channel.
    const std::vector<std::string> users = SimControl(sim.controlPort, {"query", "users"});
    const std::vector<std::string> ana = {me, "Ana", "", "5", "client"};
    ASSERT_EQ(users.size(), 16u) << ::testing::PrintToString(users);
    EXPECT_EQ(std::vector<std::string>(users.begin() + 11, users.end()), ana);

    Command("pm 100|Ol\xC3\xA1, Eco!");
    EXPECT_TRUE(DataBecomes("pm_in.txt", "100|Eco|Ol\xC3\xA1, Eco!\n"));

    // Ctrl-C, as in a terminal: Wine turns SIGINT into CTRL_C_EVENT. Wine
    // ends a program that does not handle it with status 0 as well, so the
    // closing line is what shows the server loop ended in order.
    kill(sim.process.pid, SIGINT);
    int code = -1;
    ASSERT_TRUE(WaitForExit(sim.process, 20s, code)) << ReadTestFile(simOutput);
    EXPECT_EQ(code, 0) << ReadTestFile(simOutput);
    EXPECT_NE(ReadTestFile(simOutput).find("voicesim: stopped\r\n"), std::string::npos)
        << ReadTestFile(simOutput);
}

INSTANTIATE_TEST_SUITE_P(, WindowsVoiceSimTest, ::testing::Values(BridgeBuild::Windows),
                         [](const auto& build) { return BridgeBuildName(build.param); });

}  // namespace
