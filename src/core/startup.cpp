// Start-up: configuration, the data directory and its files, the library
// instance and the first connection attempt, in that order.
#include "core/startup.h"

#include <chrono>
#include <thread>

#include "core/bridge_config.h"
#include "core/bridge_state.h"
#include "core/command_line.h"
#include "core/command_poll.h"
#include "core/main_loop.h"
#include "files/debug_log.h"
#include "files/file_io.h"
#include "files/paths.h"
#include "files/publish.h"
#include "files/state_file.h"
#include "files/text.h"

namespace {

std::string StartLine() {
    const BridgeConfig& c = gBridgeConfig;
    return "start host=" + c.host + " tcp=" + std::to_string(c.tcpPort) +
           " udp=" + std::to_string(c.udpPort) + " nick=" + c.nickname;
}

// The process is about to end, so there are no later loop turns to retry
// on: give a state file that the game holds locked a short while to free.
void FlushPendingPublishes() {
    for (int attempt = 0; attempt < 20 && HasPendingPublishes(); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        RetryPendingPublishes();
    }
}

int FailStartup(const char* error) {
    gBridgeState.lastError = error;
    WriteStateFile(kStatusError);
    FlushPendingPublishes();
    return 1;
}

}  // namespace

int RunBridge() {
    gBridgeConfig = ParseCommandLine(PlatformCommandLine());

    PlatformMakeDirectory(kDataDirectory);
    StartDebugLog(StartLine());
    // Commands and messages of an earlier run are stale.
    DiscardStaleCommands();
    WriteWholeFile(kPrivateMessageFile, "");
    WriteStateFile(kStatusStarting);

    gBridgeState.instance = TT_InitTeamTalkPoll();
    if (gBridgeState.instance == nullptr) return FailStartup("TT_InitTeamTalkPoll falhou");

    const WideString host = Utf8ToWide(gBridgeConfig.host);
    if (!TT_Connect(gBridgeState.instance, host.c_str(), gBridgeConfig.tcpPort,
                    gBridgeConfig.udpPort, 0, 0, gBridgeConfig.encrypted))
        return FailStartup("TT_Connect falhou");

    RunMainLoop();
}
