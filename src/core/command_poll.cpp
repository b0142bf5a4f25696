// The command poll.
#include "core/command_poll.h"

#include "commands/command_processor.h"
#include "files/command_file.h"
#include "files/debug_log.h"

namespace {

void LogAndRun(const std::string& command) {
    AppendDebugLine("cmd: " + command);
    RunCommand(command);
}

}  // namespace

void PollCommandFile() { TakeCommand(LogAndRun); }
