// Start-up: configuration, the data directory and its files, the library
// instance and the first connection attempt, in that order.
#include "core/startup.h"

#include "bridge.h"
#include "core/command_line.h"
#include "core/main_loop.h"
#include "files/command_file.h"
#include "files/debug_log.h"
#include "files/file_io.h"
#include "files/paths.h"
#include "files/pending_writes.h"
#include "files/state_file.h"
#include "files/text.h"
#include "platform.h"

namespace {

std::string StartLine() {
    const BridgeConfig& c = gBridgeConfig;
    return "start host=" + c.host + " tcp=" + std::to_string(c.tcpPort) +
           " udp=" + std::to_string(c.udpPort) + " nick=" + c.nickname;
}

int FailStartup(const char* error) {
    gBridgeState.lastError = error;
    gBridgeState.status = kStatusError;
    WriteStateFile();
    FlushPendingWrites();
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
    gBridgeState.status = kStatusStarting;
    WriteStateFile();

    gBridgeState.instance = TT_InitTeamTalkPoll();
    if (gBridgeState.instance == nullptr) return FailStartup("TT_InitTeamTalkPoll falhou");

    const WideString host = Utf8ToWide(gBridgeConfig.host);
    if (!TT_Connect(gBridgeState.instance, host.c_str(), gBridgeConfig.tcpPort,
                    gBridgeConfig.udpPort, 0, 0, gBridgeConfig.encrypted))
        return FailStartup("TT_Connect falhou");

    RunMainLoop();
}
