// A bridge logged in to the simulated voice server, for tests that drive a
// whole session through the server's control port and the data files.
#pragma once

#include <string>
#include <vector>

#include "bridge_fixture.h"
#include "game_files.h"
#include "voicesim_control.h"

class SessionTest : public BridgeProcessTest {
protected:
    VoiceSim sim;
    int myUserId = 0;

    void SetUp() override {
        BridgeProcessTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        sim = StartVoiceSim(dir.path);
    }

    void TearDown() override {
        BridgeProcessTest::TearDown();
        EXPECT_TRUE(EndsCleanly(sim.process, dir.File("voicesim-output.txt"))) << "voicesim";
    }

    // Runs a control command on the server and expects it to succeed.
    void Control(const std::vector<std::string>& command) {
        const std::vector<std::string> reply = SimControl(sim.controlPort, command);
        ASSERT_FALSE(reply.empty());
        ASSERT_EQ(reply[0], "OK") << ::testing::PrintToString(command) << " -> "
                                  << ::testing::PrintToString(reply);
    }

    std::vector<std::string> Query(const std::vector<std::string>& command) {
        return SimControl(sim.controlPort, command);
    }

    std::string Port() const { return std::to_string(sim.port); }

    // Starts the bridge against the server and waits for "authorized".
    void StartLoggedIn(const std::string& nickname = "Ana",
                       std::vector<std::pair<std::string, std::string>> environment = {}) {
        Start({"127.0.0.1", Port(), "10333", "0", nickname}, std::move(environment));
        ASSERT_TRUE(WaitUntil([&] { return StateEntry("status") == "authorized"; }))
            << Data("state.txt") << BridgeOutput();
        myUserId = std::stoi(StateEntry("myuserid"));
    }

    std::string StateEntry(const std::string& key) const {
        return ParseStateText(Data("state.txt"))[key];
    }

    // Sends a command as the game does and waits until the bridge took it.
    void Command(const std::string& command) {
        ASSERT_TRUE(SendCommand(dir.File("data"), command, std::chrono::seconds(20)))
            << "not taken: " << command;
    }

    // The requests the server logged from `userId`, as raw wire lines.
    std::vector<std::string> RequestsFrom(int userId) const {
        std::vector<std::string> lines;
        const std::string log = ReadTestFile(dir.File("voicesim.log"));
        const std::string prefix = std::to_string(userId) + "\t";
        size_t start = 0;
        while (start < log.size()) {
            size_t end = log.find('\n', start);
            if (end == std::string::npos) end = log.size();
            if (log.compare(start, prefix.size(), prefix) == 0)
                lines.push_back(log.substr(start + prefix.size(), end - start - prefix.size()));
            start = end + 1;
        }
        return lines;
    }

    // How many requests named `name` the server logged from `userId`.
    size_t CountRequests(int userId, const std::string& name) const {
        size_t count = 0;
        for (const std::string& line : RequestsFrom(userId))
            if (line.rfind(name + "\t", 0) == 0) ++count;
        return count;
    }
};
