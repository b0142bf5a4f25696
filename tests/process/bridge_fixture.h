// A test that runs the real bridge in a fresh directory, once natively and
// once as voicebridge.exe under Wine, and looks at its files; at the end it
// checks that the bridge was still running, so that a crash fails the test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "bridge_runner.h"
#include "process_checks.h"

// VOICEBRIDGE_SKIP_WINE=1 skips the Wine variants even where the Windows
// build is there (the sanitizer run has no Windows build of its own).
inline bool WineSkipped() {
    const char* value = std::getenv("VOICEBRIDGE_SKIP_WINE");
    return value != nullptr && value[0] != 0 && std::strcmp(value, "0") != 0;
}

// How often `needle` stands in `text`.
inline size_t Count(const std::string& text, const std::string& needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

class BridgeProcessTest : public ::testing::TestWithParam<BridgeBuild> {
protected:
    TempDirectory dir;
    std::string executable;
    ChildProcess bridge;

    void SetUp() override {
        if (GetParam() == BridgeBuild::Windows && WineSkipped())
            GTEST_SKIP() << "VOICEBRIDGE_SKIP_WINE is set";
        executable = BridgeExecutable(GetParam());
        if (executable.empty())
            FAIL() << "voicebridge.exe not built; set VOICEBRIDGE_SKIP_WINE=1 to skip";
    }

    // The bridge runs until the game ends it; one that ended by itself
    // during the test crashed. A test that waited for its exit has reaped
    // it already.
    void TearDown() override {
        EXPECT_TRUE(KilledWhileRunning(bridge, dir.File("bridge-output.txt"))) << "the bridge";
    }

    void Start(const std::vector<std::string>& args,
               std::vector<std::pair<std::string, std::string>> environment = {}) {
        bridge = StartBridge(GetParam(), executable, dir.path, args, std::move(environment));
    }

    std::string DataPath(const std::string& name) const { return dir.File("data/" + name); }
    std::string Data(const std::string& name) const { return ReadTestFile(DataPath(name)); }

    // Waits until the data file holds exactly `expected`.
    ::testing::AssertionResult DataBecomes(
        const std::string& name, const std::string& expected,
        std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        if (WaitUntil([&] { return Data(name) == expected; }, timeout))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "data/" << name << " holds:\n"
                                             << Data(name) << "\nexpected:\n"
                                             << expected;
    }

    std::string BridgeOutput() const { return ReadTestFile(dir.File("bridge-output.txt")); }
};

#define INSTANTIATE_FOR_BOTH_BUILDS(Suite)                                                 \
    INSTANTIATE_TEST_SUITE_P(, Suite,                                                      \
                             ::testing::Values(BridgeBuild::Native, BridgeBuild::Windows), \
                             [](const auto& build) { return BridgeBuildName(build.param); })
