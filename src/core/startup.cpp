// Start-up: configuration, the data directory and its files, the library
// instance and the first connection attempt, in that order.
#include "core/startup.h"

#include "bridge.h"
#include "commands/command_file.h"
#include "core/command_line.h"
#include "core/data_directory.h"
#include "core/game_watch.h"
#include "core/main_loop.h"
#include "files/debug_log.h"
#include "files/event_log.h"
#include "files/file_io.h"
#include "files/paths.h"
#include "files/pending_writes.h"
#include "platform.h"
#include "session/directories.h"
#include "session/status.h"
#include "session/voice_library.h"

namespace {

std::string StartLine() {
    const BridgeConfig& c = gBridgeConfig;
    return "start host=" + c.host + " tcp=" + std::to_string(c.tcpPort) +
           " udp=" + std::to_string(c.udpPort) + " nick=" + c.nickname;
}

int FailStartup(const char* error) {
    gBridgeState.lastError = error;
    AddEvent(kEventOver, {kOverConnectionFailed, error});
    FlushEvents();
    SetStatus(kStatusError);
    FlushPendingWrites();
    return kExitStartupFailed;
}

}  // namespace

int RunBridge() {
    gBridgeConfig = ParseCommandLine(PlatformCommandLine());
    if (const int refused = ClaimDataDirectory()) return refused;
    // Before anything that may wait on a file the game holds, so that the
    // wait is told.
    StartDebugLog(StartLine());
    RecordLockHolder();
    // Before any file is published: a bridge whose game is gone already
    // ends with the folder as the earlier run left it.
    WatchGameProcess();
    // Before anything else the game could misread: a game that sees this
    // run's "starting" knows that the lists, pm_in.txt and events.txt are
    // this run's too. The lists are empty, as the directories are now.
    WriteChannelsFile();
    WriteUsersFile();
    if (!EmptyAppendedFiles()) {
        AppendDebugLine("pm_in.txt or events.txt cannot be emptied or made anew: not starting");
        return kExitDataUnusable;
    }
    // A command written before this process began belongs to an earlier
    // run: judged before "starting", so that a command a game finds waiting
    // once it sees this run's state has been judged this run's.
    DiscardStaleCommands();
    SetStatus(kStatusStarting);

    const BridgeConfig& c = gBridgeConfig;
    switch (StartVoiceSession(c.host, c.tcpPort, c.udpPort, c.encrypted)) {
        case SessionStart::NoInstance: return FailStartup(kNoInstanceText);
        case SessionStart::NoConnection: return FailStartup(kNoConnectionText);
        case SessionStart::Started: break;
    }
    AddEvent(kEventConnecting);
    FlushEvents();

    RunMainLoop();
}
