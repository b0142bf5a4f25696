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
#include "platform.h"
#include "session/voice_library.h"

namespace {

std::string StartLine() {
    const BridgeConfig& c = gBridgeConfig;
    return "start host=" + c.host + " tcp=" + std::to_string(c.tcpPort) +
           " udp=" + std::to_string(c.udpPort) + " nick=" + c.nickname;
}

int FailStartup(const char* error) {
    gBridgeState.lastError = error;
    SetStatus(kStatusError);
    FlushPendingWrites();
    return kExitStartupFailed;
}

bool CanMakeFilesInData() {
    if (!WriteWholeFile(kProbeFile, "")) return false;
    PlatformRemoveFile(kProbeFile);
    return true;
}

// One bridge per directory, and one that can write there: otherwise the
// bridge would log in and stay on the server while the game sees nothing.
// Nothing of the game's is touched on the way out.
int ClaimDataDirectory() {
    PlatformMakeDirectory(kDataDirectoryName);
    const LockResult lock = PlatformLockFile(kLockFile);
    if (lock == LockResult::HeldElsewhere) return kExitAlreadyServed;
    if (lock == LockResult::CannotCreate || !CanMakeFilesInData()) return kExitDataUnusable;
    return 0;
}

}  // namespace

int RunBridge() {
    gBridgeConfig = ParseCommandLine(PlatformCommandLine());
    if (const int refused = ClaimDataDirectory()) return refused;

    StartDebugLog(StartLine());
    // Commands and messages of an earlier run are stale.
    DiscardStaleCommands();
    WriteWholeFile(kPrivateMessageFile, "");
    SetStatus(kStatusStarting);

    const BridgeConfig& c = gBridgeConfig;
    switch (StartVoiceSession(c.host, c.tcpPort, c.udpPort, c.encrypted)) {
        case SessionStart::NoInstance: return FailStartup("TT_InitTeamTalkPoll falhou");
        case SessionStart::NoConnection: return FailStartup("TT_Connect falhou");
        case SessionStart::Started: break;
    }

    RunMainLoop();
}
