// Running the real bridge (natively or voicebridge.exe under Wine) and the
// simulated voice server for process tests, and reading what the bridge
// publishes, as the game sees it.
#pragma once

#include <string>
#include <vector>

#include "process.h"
#include "temp_directory.h"

enum class BridgeBuild { Native, Windows };

std::string BridgeBuildName(BridgeBuild build);

// The executable for `build`; empty when the Windows build is not there.
std::string BridgeExecutable(BridgeBuild build);

// tests/wintool/wintool.exe of the Windows build; empty when not built.
std::string WintoolExecutable();

// voicesim/voicesim.exe of the Windows build; empty when not built.
std::string WindowsVoiceSimExecutable();

// Runs a Windows program under Wine in `directory`.
ChildProcess StartWine(const std::vector<std::string>& args, const std::string& directory);

// Starts the bridge with `args` in `directory` ("data" goes below it).
ChildProcess StartBridge(BridgeBuild build, const std::string& executable,
                         const std::string& directory, const std::vector<std::string>& args,
                         std::vector<std::pair<std::string, std::string>> environment = {});

// The simulated server on a free loopback port, with its files in
// `directory`: the native one, or voicesim.exe under Wine. Both ports are 0
// when it did not start listening in time.
struct VoiceSim {
    ChildProcess process;
    int port = 0;
    int controlPort = 0;
};

VoiceSim StartVoiceSim(const std::string& directory, const std::vector<std::string>& extraArgs = {},
                       BridgeBuild build = BridgeBuild::Native);

// A loopback port that takes connections into its backlog and never
// answers, like a server that hangs.
struct SilentListener {
    int fd = -1;
    int port = 0;
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
};

// The text a state file holds for these values.
std::string StateText(const std::string& status, const std::string& nickname, int userId = 0,
                      int channelId = 0, const std::string& channelName = "",
                      const std::string& error = "", bool ptt = false);
