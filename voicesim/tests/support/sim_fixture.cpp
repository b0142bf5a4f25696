// Starting voicesim for a test and the client steps most tests share.
#include "sim_fixture.h"

#include <cstdlib>

void SimTest::TearDown() {
    SimControlClose(control);
    // A crash, or under the sanitizers a fault or a leak, shows here even
    // when every answer the test read was right.
    EXPECT_TRUE(EndsCleanly(sim, dir.File("voicesim-output.txt"))) << "voicesim";
}

ChildProcess LaunchSim(const std::string& directory, const std::vector<std::string>& extraArgs) {
    std::vector<std::string> argv = {VOICESIM_PATH,
                                     "--port",
                                     "0",
                                     "--port-file",
                                     directory + "/voicesim.port",
                                     "--control-port",
                                     "0",
                                     "--control-port-file",
                                     directory + "/voicesim.control",
                                     "--log",
                                     directory + "/requests.log"};
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    return StartProcess(argv, directory, {}, directory + "/voicesim-output.txt");
}

void SimTest::StartSim(const std::vector<std::string>& extraArgs) {
    const std::string portFile = dir.File("voicesim.port");
    const std::string controlFile = dir.File("voicesim.control");
    sim = LaunchSim(dir.path, extraArgs);
    ASSERT_TRUE(WaitUntil([&] {
        return !ReadTestFile(portFile).empty() && !ReadTestFile(controlFile).empty();
    })) << SimOutput();
    port = std::atoi(ReadTestFile(portFile).c_str());
    controlPort = std::atoi(ReadTestFile(controlFile).c_str());
    ASSERT_TRUE(SimControlOpen(control, controlPort));
}

Line SimTest::Control(const Line& command) { return SimControlCommand(control, command); }

WireClient SimTest::Greeted(bool encrypted) {
    WireClient client;
    EXPECT_TRUE(WireConnect(client, port));
    WireSend(client, {"HELLO", "1", "10333", encrypted ? "1" : "0"});
    EXPECT_EQ(WireNextLine(client), (Line{"WELCOME", "1"}));
    return client;
}

WireClient SimTest::LoggedIn(const std::string& nickname, const std::string& username) {
    WireClient client = Greeted();
    client.nickname = nickname;
    WireSend(client, {"LOGIN", "1", nickname, username, "secret"});
    const std::optional<Line> first = WireNextLine(client);
    if (!first || first->size() != 2 || (*first)[0] != "LOGGEDIN") {
        ADD_FAILURE() << "no LOGGEDIN for " << nickname << ": "
                      << (first ? Show({*first}) : "nothing");
        return client;
    }
    client.userId = std::atoi((*first)[1].c_str());
    client.loginLines = UntilMark(client);
    return client;
}

std::vector<Line> SimTest::UntilMark(WireClient& client) {
    const std::string mark = "TEST_MARK\t" + std::to_string(++marks);
    const Line reply = Control({"client", "raw", std::to_string(client.userId), mark});
    std::vector<Line> lines;
    if (reply != Line{"OK"}) {
        ADD_FAILURE() << "cannot mark user " << client.userId << ": " << Show({reply});
        return lines;
    }
    const Line expected = {"TEST_MARK", std::to_string(marks)};
    for (;;) {
        const std::optional<Line> line = WireNextLine(client);
        if (!line) {
            ADD_FAILURE() << "marker never came; got:\n" << Show(lines);
            return lines;
        }
        if (*line == expected) return lines;
        lines.push_back(*line);
    }
}

::testing::AssertionResult SkipUntil(WireClient& client, const Line& wanted) {
    std::vector<Line> seen;
    for (;;) {
        const std::optional<Line> line = WireNextLine(client);
        if (!line)
            return ::testing::AssertionFailure() << "never got " << Show({wanted}) << "saw:\n"
                                                 << Show(seen);
        if (*line == wanted) return ::testing::AssertionSuccess();
        seen.push_back(*line);
    }
}

std::string Show(const std::vector<Line>& lines) {
    std::string text;
    for (const Line& line : lines) {
        for (size_t i = 0; i < line.size(); ++i) text += (i > 0 ? " | " : "") + line[i];
        text += "\n";
    }
    return text;
}
