// The command poll.
#include "core/command_poll.h"

#include "bridge.h"
#include "commands/command_file.h"
#include "commands/command_processor.h"
#include "commands/command_text.h"
#include "files/debug_log.h"
#include "files/event_log.h"

namespace {

void LogAndRun(const std::string& written) {
    RunCommand(TrimCommandText(written), written);
    // Its lines are in events.txt before the game sees cmd.txt empty.
    FlushEvents();
}

}  // namespace

void PollCommandFile() {
    // Before the login is confirmed a command could reach nobody: it stays
    // in its file, where the game sees it waiting, and is taken on the
    // first turn after login. Once the session has ended it is taken and
    // run as ever, and the state goes on saying "error".
    if (gBridgeState.session == SessionStage::Connecting) return;
    TakeCommand(LogAndRun);
}
