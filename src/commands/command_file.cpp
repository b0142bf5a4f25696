// The command-file handshake.
//
// The file is moved aside before its content is read for good, so a command
// that the game writes from then on lands in a new data\cmd.txt, which is
// never truncated by the bridge: the empty file the game expects after a
// command is created only where none has appeared meanwhile.
//
// Games write a command in several calls, some with pauses between them,
// so the bridge takes a command with an argument only once its file has
// stood still for a moment, and never any while the game holds it open for
// writing (which, on Windows, is what refuses the move).
#include "commands/command_file.h"

#include <chrono>

#include "commands/command_processor.h"
#include "commands/command_text.h"
#include "exchange_vocabulary.h"
#include "files/debug_log.h"
#include "files/file_io.h"
#include "files/folder_clock.h"
#include "files/paths.h"
#include "session/command_outcomes.h"

CommandFileState gCommandFile;

namespace {

// Longer than a game's pause between the writes of one command, short
// enough not to be felt.
const int64_t kSettleMs = 40;

// Whether the moved file has not changed for kSettleMs, by what the loop
// has seen of it: its size, time and content at each look. Its time alone
// cannot tell: a file system may keep whole seconds only.
bool StoodStill(const std::string& bytes) {
    const auto now = std::chrono::steady_clock::now();
    const std::optional<FileStamp> stamp = PlatformFileStamp(kTakenCommandFile);
    if (stamp != gCommandFile.takenStamp || bytes != gCommandFile.takenBytes) {
        gCommandFile.takenStamp = stamp;
        gCommandFile.takenBytes = bytes;
        gCommandFile.takenUnchangedSince = now;
    }
    return now - gCommandFile.takenUnchangedSince >= std::chrono::milliseconds(kSettleMs);
}

// A keyword alone cannot be a command still being written: nothing follows
// it.
bool IsBareKeyword(const std::string& bytes) {
    const std::string text = TrimCommandText(bytes);
    for (const BridgeCommand& command : kBridgeCommands)
        if (command.argument == CommandArgument::None && text == command.keyword) return true;
    return false;
}

bool HoldsCommand(FileReadResult result, const std::string& bytes) {
    return result == FileReadResult::TooLarge ||
           (result == FileReadResult::Ok && !TrimCommandText(bytes).empty());
}

void RunTakenCommand(FileReadResult result, const std::string& bytes, CommandRunner run) {
    if (result == FileReadResult::TooLarge) {
        AppendDebugLine("cmd ignored: longer than " + std::to_string(kMaxCommandBytes) + " bytes");
        return CommandFailed(CommandTaken(""), kFailedNotACommand);
    }
    if (result != FileReadResult::Ok) return;
    // No game writes one on purpose: it is a broken write, not a command.
    if (bytes.find('\0') != std::string::npos) {
        AppendDebugLine("cmd ignored: holds a zero byte");
        return CommandFailed(CommandTaken(""), kFailedNotACommand);
    }
    run(bytes);
}

}  // namespace

void TakeCommand(CommandRunner run) {
    if (gCommandFile.takenWaiting && !RunMovedCommand(run)) return;
    const std::optional<FileStamp> stamp = PlatformFileStamp(kCommandFile);
    if (!stamp || stamp->size == 0) {
        gCommandFile.heldSince.reset();
        return;
    }
    const auto readAt = std::chrono::steady_clock::now();
    std::string bytes;
    const FileReadResult result = ReadWholeFile(kCommandFile, bytes, kMaxCommandBytes);
    // White space only: left as it is, read again next time.
    if (!HoldsCommand(result, bytes)) {
        gCommandFile.heldSince.reset();
        return;
    }

    const MoveResult moved = PlatformReplaceFile(kCommandFile, kTakenCommandFile);
    // Gone since the read: whoever removed it took the command with it.
    if (moved == MoveResult::Missing) return;
    if (moved == MoveResult::Refused) {
        // The game may be writing into it still: wait for it to let go,
        // and take the command in place only once it never does.
        if (!HeldTooLong(gCommandFile.heldSince)) return;
        gCommandFile.heldSince.reset();
        AppendDebugLine("cmd taken in place, held open for a second");
        RunTakenCommand(result, bytes, run);
        WriteWholeFile(kCommandFile, "");
        return;
    }
    gCommandFile.heldSince.reset();
    gCommandFile.takenWaiting = true;
    // The read before the move was a look at the moved file already.
    gCommandFile.takenStamp = stamp;
    gCommandFile.takenBytes = bytes;
    gCommandFile.takenUnchangedSince = readAt;
    RunMovedCommand(run);
}

bool RunMovedCommand(CommandRunner run) {
    std::string bytes;
    const FileReadResult result = ReadWholeFile(kTakenCommandFile, bytes, kMaxCommandBytes);
    if (!HoldsCommand(result, bytes)) {
        gCommandFile.takenWaiting = false;
        // The game emptied it in between and may be writing into it still.
        if (!PlatformMoveFileIfAbsent(kTakenCommandFile, kCommandFile))
            PlatformRemoveFile(kTakenCommandFile);
        return true;
    }
    // What was moved is the command, whatever the first read saw: a write
    // the game had under way lands in the moved file, so it settles there.
    if (result == FileReadResult::Ok && !IsBareKeyword(bytes) && !StoodStill(bytes)) return false;
    gCommandFile.takenWaiting = false;
    RunTakenCommand(result, bytes, run);
    PlatformRemoveFile(kTakenCommandFile);
    CreateFileIfAbsent(kCommandFile, "");
    return true;
}

void DiscardStaleCommands() {
    PlatformRemoveFile(kTakenCommandFile);
    // Judged once moved aside, as a take does: what the game writes from now
    // on lands in a new file and cannot be mistaken for the old. A game that
    // reads the file holds it a moment at a time.
    MoveResult moved = MoveResult::Refused;
    RetryWhileHeld(kCommandFile, [&] {
        moved = PlatformReplaceFile(kCommandFile, kTakenCommandFile);
        return moved != MoveResult::Refused;
    });
    // Held for a whole second: left to the loop, which takes it once let go.
    if (moved == MoveResult::Refused) {
        AppendDebugLine("cmd.txt held open for a second at start-up: not judged");
        return;
    }
    if (moved == MoveResult::Done) {
        const std::optional<FileStamp> stamp = PlatformFileStamp(kTakenCommandFile);
        const std::optional<FolderClock> clock = ReadFolderClock(kProbeFile);
        // Without a clock it is discarded: an old command run unasked is
        // the worse mistake, and the game learns of a discarded one.
        if (stamp && clock && !WrittenByAnEarlierRun(stamp->modified, *clock)) {
            // Back where the game sees it waiting, unless it wrote another.
            if (!PlatformMoveFileIfAbsent(kTakenCommandFile, kCommandFile))
                gCommandFile.takenWaiting = true;
            return;
        }
        std::string bytes;
        ReadWholeFile(kTakenCommandFile, bytes, kMaxCommandBytes);
        const std::string command = ShownCommand(TrimCommandText(bytes));
        if (!command.empty()) {
            AppendDebugLine("cmd discarded, written before this bridge started: " + command);
            CommandFailed(CommandTaken(command), kFailedDiscarded);
        }
        PlatformRemoveFile(kTakenCommandFile);
    }
    CreateFileIfAbsent(kCommandFile, "");
}
