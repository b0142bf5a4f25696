// A test that runs the real voicesim on free loopback ports in a fresh
// directory and talks to it as voice clients and through the control port.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process.h"
#include "process_checks.h"
#include "temp_directory.h"
#include "voicesim_control.h"
#include "wire_client.h"

class SimTest : public ::testing::Test {
protected:
    TempDirectory dir;
    ChildProcess sim;
    int port = 0;
    int controlPort = 0;
    SimControlLink control;
    int marks = 0;

    void SetUp() override { StartSim(ExtraArgs()); }
    void TearDown() override;

    // Options added to the ports, port files and request log.
    virtual std::vector<std::string> ExtraArgs() const { return {}; }

    // Starts voicesim and waits for its port files; fails the test when
    // they do not appear.
    void StartSim(const std::vector<std::string>& extraArgs);

    std::string LogPath() const { return dir.File("requests.log"); }
    std::string SimOutput() const { return ReadTestFile(dir.File("voicesim-output.txt")); }

    // One control command over the test's control connection.
    Line Control(const Line& command);

    // Connected, HELLO sent and WELCOME 1 read.
    WireClient Greeted(bool encrypted = false);

    // Greeted and logged in; the lines after LOGGEDIN are kept in
    // loginLines.
    WireClient LoggedIn(const std::string& nickname, const std::string& username = "");

    // Every line the server has queued for the logged-in client up to now:
    // a marker line is sent to it through the control port, which the
    // server handles after everything before it, and the lines before the
    // marker are returned.
    std::vector<Line> UntilMark(WireClient& client);
};

// Starts voicesim in `directory` with its port files, log and output
// there, without waiting for it.
ChildProcess LaunchSim(const std::string& directory, const std::vector<std::string>& extraArgs);

// Reads the client's lines until `wanted` comes; false (with the lines
// seen) when the link ends or the deadline passes first.
::testing::AssertionResult SkipUntil(WireClient& client, const Line& wanted);

// For readable failures of line comparisons.
std::string Show(const std::vector<Line>& lines);
