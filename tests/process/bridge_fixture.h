// A test that runs the real bridge in a fresh directory, once natively and
// once as voicebridge.exe under Wine, and looks only at its files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "bridge_runner.h"

class BridgeProcessTest : public ::testing::TestWithParam<BridgeBuild> {
protected:
    TempDirectory dir;
    std::string executable;
    ChildProcess bridge;

    void SetUp() override {
        executable = BridgeExecutable(GetParam());
        if (executable.empty()) {
            if (std::getenv("VOICEBRIDGE_SKIP_WINE") != nullptr) GTEST_SKIP() << "no Windows build";
            FAIL() << "voicebridge.exe not built; set VOICEBRIDGE_SKIP_WINE=1 to skip";
        }
    }

    void TearDown() override { StopProcess(bridge); }

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
