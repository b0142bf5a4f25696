// The command-file handshake.
//
// The file is moved aside before its content is read for good, so a command
// that the game writes from then on lands in a new data\cmd.txt, which is
// never truncated by the bridge: the empty file the game expects after a
// command is created only where none has appeared meanwhile.
#include "files/command_file.h"

#include "files/debug_log.h"
#include "files/file_io.h"
#include "files/paths.h"
#include "files/text.h"

namespace {

bool HoldsCommand(FileReadResult result, const std::string& bytes) {
    return result == FileReadResult::TooLarge ||
           (result == FileReadResult::Ok && !TrimCommandText(bytes).empty());
}

void RunTakenCommand(FileReadResult result, const std::string& bytes, CommandRunner run) {
    if (result == FileReadResult::TooLarge) {
        AppendDebugLine("cmd ignored: longer than " + std::to_string(kMaxCommandBytes) + " bytes");
        return;
    }
    if (result == FileReadResult::Ok) run(TrimCommandText(bytes));
}

}  // namespace

void TakeCommand(CommandRunner run) {
    std::string bytes;
    FileReadResult result = ReadWholeFile(kCommandFile, bytes, kMaxCommandBytes);
    // Empty, missing or white space only: left as it is, read again next turn.
    if (!HoldsCommand(result, bytes)) return;

    const MoveResult moved = PlatformReplaceFile(kCommandFile, kTakenCommandFile);
    // Gone since the read: whoever removed it took the command with it.
    if (moved == MoveResult::Missing) return;
    if (moved == MoveResult::Refused) {
        // The game holds the file so that it cannot be moved: run what was
        // read and empty the file in place.
        RunTakenCommand(result, bytes, run);
        WriteWholeFile(kCommandFile, "");
        return;
    }
    // What was moved is the command, whatever the first read saw.
    result = ReadWholeFile(kTakenCommandFile, bytes, kMaxCommandBytes);
    if (!HoldsCommand(result, bytes)) {
        // The game emptied it in between and may be writing into it still.
        if (!PlatformMoveFileIfAbsent(kTakenCommandFile, kCommandFile))
            PlatformRemoveFile(kTakenCommandFile);
        return;
    }
    RunTakenCommand(result, bytes, run);
    PlatformRemoveFile(kTakenCommandFile);
    CreateFileIfAbsent(kCommandFile, "");
}

void DiscardStaleCommands() {
    PlatformRemoveFile(kTakenCommandFile);
    WriteWholeFile(kCommandFile, "");
}
