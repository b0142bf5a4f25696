// Fuzzes the game's command file: any bytes as data/cmd.txt, taken by the
// bridge's real poll (file moved aside, read, logged, run, emptied) and run
// against the recording library double. Checked for every input:
//  - a blank file is left alone; any other is emptied, and logged trimmed,
//    or refused whole in the log when it holds a zero byte;
//  - only the command the text names reaches the library, with the right
//    arguments: a join to a known channel, one piece per message part;
//  - a pm goes out in pieces of at most 511 units, zero-terminated, never
//    split inside a pair, that together are the text after the first bar.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bridge.h"
#include "commands/command_file.h"
#include "commands/command_processor.h"
#include "commands/command_text.h"
#include "core/command_poll.h"
#include "core/event_dispatch.h"
#include "files/event_log.h"
#include "files/file_io.h"
#include "files/paths.h"
#include "fuzz_check.h"
#include "library_double.h"
#include "platform.h"
#include "session/command_outcomes.h"
#include "session/library_text.h"
#include "utf_reference.h"

namespace {

using Calls = std::vector<std::string>;

struct KnownChannel {
    int32_t id;
    const char* name;  // UTF-8
};

// The bridge's mirror of the server's channels for every run; the first
// of equal names wins a joinpath.
const KnownChannel kChannels[] = {
    {1, ""}, {2, "Equipa Azul"}, {3, "A\xC3\xA7\xC3\xA3o"}, {4, " dois"}, {5, "Azul"}, {6, "Azul"},
};

int gHome = -1;
std::string gScratch;

void RemoveScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(gScratch, ignored);
}

// The scratch directory is the current one while the guard lives.
struct ScratchDirectory {
    ScratchDirectory() { FUZZ_CHECK(chdir(gScratch.c_str()) == 0, gScratch); }
    ~ScratchDirectory() {
        if (fchdir(gHome) != 0) std::abort();
    }
};

// A crash is written while the run is in the scratch directory, which goes
// at exit: unless told otherwise, libFuzzer is told to write crash files
// into the directory it was started in.
void AddArtifactPrefix(int& argc, char**& argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "-artifact_prefix=", 17) == 0) return;
    static std::string flag = "-artifact_prefix=" + std::filesystem::current_path().string() + "/";
    static std::vector<char*> arguments(argv, argv + argc);
    arguments.insert(arguments.begin() + 1, flag.data());
    arguments.push_back(nullptr);
    argc += 1;
    argv = arguments.data();
}

std::u16string Utf16(const std::string& utf8) {
    const WideString wide = Utf8ToWide(utf8);
    return std::u16string(wide.begin(), wide.end());
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The calls that `command` must make, from the keywords alone; a pm's
// calls are counted by CheckMessages. None when a joinpath may name a path
// or carry a password, which the command tests cover.
std::optional<Calls> ExpectedCalls(const std::string& command) {
    if (command == "leave") return Calls{"TT_DoLeaveChannel"};
    if (command == "ptt_on") return Calls{"TT_EnableVoiceTransmission 1"};
    if (command == "ptt_off") return Calls{"TT_EnableVoiceTransmission 0"};
    int32_t channel = 0;
    std::string password;
    if (StartsWith(command, "joinid ")) {
        const size_t bar = command.find('|');
        channel = ParseInt32(command.substr(7, bar == std::string::npos ? bar : bar - 7));
        if (bar != std::string::npos) password = command.substr(bar + 1);
        // The double records ASCII only, and no more than a record holds;
        // how other text crosses to the library is the UTF fuzzer's.
        for (const char c : password)
            if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
        if (password.size() >= TT_STRLEN) return std::nullopt;
    }
    if (StartsWith(command, "joinpath ")) {
        std::string name = command.substr(9);
        if (StartsWith(name, "/")) name = name.substr(1);
        for (const KnownChannel& known : kChannels) {
            if (name != known.name) continue;
            channel = known.id;
            break;
        }
        if (channel == 0 && name.find_first_of("/|") != std::string::npos) return std::nullopt;
    }
    if (channel > 0)
        return Calls{"TT_DoJoinChannelByID " + std::to_string(channel) + " password=" + password};
    return Calls{};
}

void CheckMessages(const std::string& command) {
    const std::vector<TextMessage>& sent = gLibraryDouble.sentMessages;
    const size_t bar = command.find('|');
    // Only to a user ID above 0, after a bar.
    if (!StartsWith(command, "pm ") || bar == std::string::npos ||
        ParseInt32(command.substr(3, bar - 3)) <= 0) {
        FUZZ_CHECK(sent.empty(), "a message from " + Show(command));
        return;
    }
    const int32_t recipient = ParseInt32(command.substr(3, bar - 3));
    const std::u16string text = Utf16(command.substr(bar + 1));
    FUZZ_CHECK(!sent.empty(), "no message for " + Show(command));
    FUZZ_CHECK(gLibraryDouble.calls ==
                   Calls(sent.size(), "TT_DoTextMessage to=" + std::to_string(recipient)),
               "calls for " + Show(command));
    std::u16string joined;
    for (size_t i = 0; i < sent.size(); ++i) {
        const TextMessage& message = sent[i];
        FUZZ_CHECK(message.nMsgType == MSGTYPE_USER && message.nToUserID == recipient &&
                       message.nFromUserID == 0 && message.nChannelID == 0 &&
                       message.bMore == (i + 1 < sent.size() ? 1 : 0),
                   "fields of piece " + std::to_string(i));
        size_t length = 0;
        while (length < TT_STRLEN && message.szMessage[length] != 0) ++length;
        FUZZ_CHECK(length <= TT_STRLEN - 1, "piece " + std::to_string(i) + " not terminated");
        const std::u16string piece(message.szMessage, message.szMessage + length);
        FUZZ_CHECK(piece.size() > 0 || sent.size() == 1, "empty piece " + std::to_string(i));
        FUZZ_CHECK(!SplitsAPair(joined, piece), "a pair cut before piece " + std::to_string(i));
        joined += piece;
    }
    FUZZ_CHECK(joined == text, "sent " + Show(joined) + "\nexpected " + Show(text));
}

std::string DebugLog() {
    std::string log;
    ReadWholeFile(kDebugLogFile, log, SIZE_MAX);
    return log;
}

void ResetBridge() {
    gBridgeConfig = BridgeConfig();
    gBridgeState = BridgeState();
    gBridgeState.instance = DoubleInstance();
    gBridgeState.session = SessionStage::LoggedIn;
    gBridgeState.myUserId = 3;
    gLibraryDouble = LibraryDouble();
    gEventLog = EventLog();
    gRequests = Requests();
    gCommandFile = CommandFileState();
    PlatformRemoveFile(kDebugLogFile);
    PlatformRemoveFile(kEventsFile);
}

}  // namespace

// Once: a scratch directory with data/ for the inputs to run in, and the
// channels known. The fuzzer itself stays in the directory it was started
// in, where corpus and crash paths are meant; only each run steps into the
// scratch directory.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    gHome = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // In memory where the system has it: every run writes and moves files.
    const bool shm = std::filesystem::is_directory("/dev/shm");
    std::string pattern = std::string(shm ? "/dev/shm" : "/tmp") + "/vb-command-fuzz-XXXXXX";
    FUZZ_CHECK(gHome >= 0 && mkdtemp(pattern.data()) != nullptr, "no scratch directory");
    gScratch = pattern;
    std::atexit(RemoveScratch);
    AddArtifactPrefix(*argc, *argv);
    ScratchDirectory scratch;
    PlatformMakeDirectory(kDataDirectoryName);
    for (const KnownChannel& known : kChannels)
        HandleClientEvent(VoiceEventOf(
            MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, known.id, 1, Utf16(known.name))));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    ScratchDirectory scratch;
    ResetBridge();
    FUZZ_CHECK(PlatformWriteFile(kCommandFile, bytes, FileWriteMode::Truncate), "write cmd.txt");
    PollCommandFile();
    // A command with an argument waits for its file to stand still, judged
    // by what the loop has seen of it: here, as though a later turn found
    // it unchanged long after.
    if (gCommandFile.takenWaiting) {
        gCommandFile.takenUnchangedSince -= std::chrono::seconds(1);
        PollCommandFile();
    }

    const std::string command = TrimCommandText(bytes);
    std::string left;
    FUZZ_CHECK(PlatformReadFile(kTakenCommandFile, left, 0) == FileReadResult::Missing,
               "cmd.txt.taken left behind");
    FUZZ_CHECK(PlatformReadFile(kCommandFile, left, size + 1) == FileReadResult::Ok, "cmd.txt");
    if (command.empty()) {
        FUZZ_CHECK(left == bytes, "a blank command file changed: " + Show(left));
        FUZZ_CHECK(gLibraryDouble.calls.empty(), "calls for a blank file");
        FUZZ_CHECK(DebugLog().empty(), "a blank file logged");
        ResetBridge();
        return 0;
    }
    FUZZ_CHECK(left.empty(), "cmd.txt not emptied: " + Show(left));
    if (bytes.find('\0') != std::string::npos) {
        FUZZ_CHECK(DebugLog() == "cmd ignored: holds a zero byte\n", "log " + Show(DebugLog()));
        FUZZ_CHECK(gLibraryDouble.calls.empty(), "calls for a zero byte");
        ResetBridge();
        return 0;
    }
    // A join's password stands masked.
    FUZZ_CHECK(DebugLog() == "cmd: " + ShownCommand(command) + "\n", "log " + Show(DebugLog()));
    CheckMessages(command);
    const std::optional<Calls> expected = ExpectedCalls(command);
    if (gLibraryDouble.sentMessages.empty() && expected)
        FUZZ_CHECK(gLibraryDouble.calls == *expected, "calls for " + Show(command));
    // Freed here rather than at the next run's start, so that libFuzzer's
    // leak check (run whenever a run allocated more than it freed) only
    // runs on real leaks.
    ResetBridge();
    return 0;
}
