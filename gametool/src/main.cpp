// gamectl: drives a running bridge through its data files, as a game does.
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bridge_start.h"
#include "game_files.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Operands = std::vector<std::string>;

// "a, b, c" or, with `last`, "a, b and c".
template <class Range, class Name>
std::string ListOf(const Range& items, Name name, const char* last = ", ") {
    std::string list;
    const size_t count = std::size(items);
    size_t i = 0;
    for (const auto& item : items) {
        if (i > 0) list += i + 1 == count ? last : ", ";
        list += name(item);
        ++i;
    }
    return list;
}

std::string Itself(const char* word) { return word; }
std::string KeywordOf(const BridgeCommand& command) { return command.keyword; }

// What a usage line adds about an argument for someone typing it in a shell.
const char* ShellHint(CommandArgument argument) {
    switch (argument) {
        case CommandArgument::ChannelName: return " (the rest of the line, spaces kept)";
        case CommandArgument::UserIdAndText: return " (quote it: the shell takes | for a pipe)";
        default: return "";
    }
}

// The bridge's commands as `send` takes them: those without an argument on
// one line, then one line each for the others.
std::string BridgeCommandLines() {
    const std::string indent = "                              ";
    std::string bare, lines;
    for (const BridgeCommand& command : kBridgeCommands) {
        if (command.argument == CommandArgument::None) {
            bare += (bare.empty() ? "" : " | ") + std::string(command.keyword);
            continue;
        }
        lines += indent + command.keyword + " " + command.argumentUsage +
                 ShellHint(command.argument) + "\n";
    }
    return indent + bare + "\n" + lines;
}

std::string Usage() {
    return "usage: gamectl [--dir GAME_DIR] COMMAND [ARGUMENT...]\n"
           "Drives a running voicebridge through its files in GAME_DIR/data, as a game does.\n"
           "GAME_DIR is the bridge's working directory (default: the current one, \".\").\n"
           "\n"
           "Commands:\n"
           "  start [--] PROGRAM [ARGUMENT...]\n"
           "                            start the bridge in GAME_DIR as a game should: remove\n"
           "                            the old " +
           std::string(kStateFileName) +
           ", start PROGRAM with the ARGUMENTs there, and\n"
           "                            wait (20 s) until this run's state is out and " +
           kLockFileName +
           "\n"
           "                            names the process; prints its process ID. A sixth\n"
           "                            ARGUMENT is a server account's user name; its password\n"
           "                            goes only in the environment, as " +
           kPasswordVariable +
           ",\n"
           "                            which the bridge inherits\n"
           "  send BRIDGE_COMMAND       write one command for the bridge once the previous one\n"
           "                            is consumed, and wait until the bridge takes it (10 s):\n" +
           BridgeCommandLines() + "  show                      print " +
           ListOf(kPublishedFileNames, Itself, " and ") +
           "\n"
           "  watch [SECONDS]           print every change of those files as it happens\n"
           "                            (default: until interrupted)\n"
           "  wait KEY VALUE [SECONDS]  wait until the KEY entry of " +
           kStateFileName +
           " equals VALUE\n"
           "                            (default: 20 s); KEY is one of:\n"
           "                            " +
           ListOf(kStateKeys, Itself) +
           "\n"
           "  pms [SECONDS]             print each private message once: those in " +
           kPrivateMessageFileName +
           "\n"
           "                            first, then each as it arrives (default: until\n"
           "                            interrupted); reads on from its place in the file and\n"
           "                            never empties it, as a game should\n"
           "  events [SECONDS]          print each event once, in the same way: those in " +
           kEventsFileName +
           "\n"
           "                            first, then each as it comes (the bridge's answer\n"
           "                            to every command, the session's start and end)\n"
           "  help, --help, -h          print this text\n"
           "  --version                 print gamectl's version\n"
           "SECONDS may have a fraction, as in 0.5.\n"
           "\n"
           "Exit status: 0 done, 1 a wait or send timed out, 2 a bad command line,\n"
           "3 no GAME_DIR/data directory (wait gives a starting bridge its SECONDS to make it).\n";
}

std::optional<std::chrono::milliseconds> ParseSeconds(const std::string& text) {
    if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.'))
        return std::nullopt;
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (*end != 0 || !std::isfinite(seconds) || seconds > 1e9) return std::nullopt;
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

// No SECONDS operand at `index`: no deadline.
std::optional<Clock::time_point> DeadlineOf(const Operands& operands, size_t index) {
    if (index >= operands.size()) return std::nullopt;
    return Clock::now() + *ParseSeconds(operands[index]);
}

bool Passed(const std::optional<Clock::time_point>& deadline) {
    return deadline && Clock::now() >= *deadline;
}

// Positive and within the bridge's 32-bit IDs.
bool IsId(const std::string& text) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != text.npos)
        return false;
    const long long id = std::stoll(text);
    return id > 0 && id <= INT32_MAX;
}

// Nothing but spaces and tabs: no name, no text.
bool IsBlank(const std::string& text) { return text.find_first_not_of(" \t") == text.npos; }

std::string JoinWords(const Operands& words) {
    std::string line;
    for (size_t i = 0; i < words.size(); ++i) line += (i > 0 ? " " : "") + words[i];
    return line;
}

const BridgeCommand* FindBridgeCommand(const std::string& keyword) {
    for (const BridgeCommand& command : kBridgeCommands)
        if (keyword == command.keyword) return &command;
    return nullptr;
}

// What is wrong with the argument of a command that takes one, or nothing.
std::string CheckArgument(const BridgeCommand& command, const std::string& argument) {
    const std::string keyword = command.keyword;
    const std::string missing = keyword + " needs a " + command.argumentUsage;
    switch (command.argument) {
        case CommandArgument::ChannelId: {
            // A channel's password may follow after a bar.
            const std::string id = argument.substr(0, argument.find(kFieldSeparator));
            if (id.empty()) return missing;
            return IsId(id) ? "" : "\"" + id + "\" is not a channel ID";
        }
        case CommandArgument::ChannelName: return IsBlank(argument) ? missing : "";
        case CommandArgument::UserIdAndText: {
            const size_t bar = argument.find(kFieldSeparator);
            if (bar == argument.npos || IsBlank(argument.substr(bar + 1)))
                return keyword + " takes " + command.argumentUsage + ShellHint(command.argument);
            const std::string user = argument.substr(0, bar);
            return IsId(user) ? "" : "\"" + user + "\" is not a user ID";
        }
        default: return "";
    }
}

// What is wrong with the bridge command, or nothing. The words may come
// one by one or as one quoted line. The rules are those every game kit
// holds, so that a command tried here behaves as it will in the game.
std::string CheckBridgeCommand(const Operands& words) {
    const std::string line = JoinWords(words);
    if (line.find_first_of(std::string("\r\n\0", 3)) != line.npos)
        return "a bridge command is one line, without a zero byte";
    if (line.size() > kMaxCommandBytes)
        return "a bridge command holds at most " + std::to_string(kMaxCommandBytes) + " bytes";
    const size_t space = line.find(kArgumentSeparator);
    const std::string keyword = line.substr(0, space);
    const std::string argument = space == line.npos ? "" : line.substr(space + 1);
    const BridgeCommand* command = FindBridgeCommand(keyword);
    if (command == nullptr)
        return "\"" + keyword + "\" is not a bridge command (" +
               ListOf(kBridgeCommands, KeywordOf) + ")";
    if (command->argument == CommandArgument::None)
        return space == line.npos ? "" : keyword + " takes no argument";
    return CheckArgument(*command, argument);
}

std::string CheckSecondsAt(const Operands& operands, size_t index) {
    if (index >= operands.size() || ParseSeconds(operands[index])) return "";
    return "\"" + operands[index] + "\" is not a number of seconds";
}

std::string CheckWait(const Operands& operands) {
    for (const char* key : kStateKeys)
        if (operands[0] == key) return CheckSecondsAt(operands, 2);
    return "unknown state key \"" + operands[0] + "\" (" + ListOf(kStateKeys, Itself) + ")";
}

std::string CheckFirstSeconds(const Operands& operands) { return CheckSecondsAt(operands, 0); }

// Why a bridge may end while it starts, by its exit code.
const char* WhyEnded(int exitCode) {
    switch (exitCode) {
        case kExitStartupFailed: return " (the voice library could not start a connection)";
        case kExitAlreadyServed:
            return " (another bridge serves this folder: data/voicebridge.lock names it)";
        case kExitDataUnusable: return " (no file can be made in its data folder)";
        default: return "";
    }
}

int Start(const std::string& dataDir, const Operands& operands) {
    const bool separated = operands[0] == "--";
    const Operands command(operands.begin() + (separated ? 1 : 0), operands.end());
    const std::string gameDir = std::filesystem::path(dataDir).parent_path().string();
    BridgeStart start =
        StartBridgeAsGame(gameDir, command[0], Operands(command.begin() + 1, command.end()), 20s);
    switch (start.outcome) {
        case StartOutcome::Ready:
            std::printf("voicebridge started: process %lld\n",
                        static_cast<long long>(start.process.pid));
            return 0;
        case StartOutcome::Ended:
            std::fprintf(stderr, "gamectl: the bridge ended at start-up with exit code %d%s\n",
                         start.exitCode, WhyEnded(start.exitCode));
            return 1;
        case StartOutcome::NotStarted:
            std::fprintf(stderr, "gamectl: cannot start %s\n", command[0].c_str());
            return 1;
        case StartOutcome::TimedOut: break;
    }
    std::fprintf(stderr, "gamectl: the bridge did not publish its state within 20 s\n");
    return 1;
}

std::string CheckStart(const Operands& operands) {
    return operands[0] == "--" && operands.size() == 1 ? "start needs a PROGRAM" : "";
}

int Send(const std::string& dataDir, const Operands& operands) {
    if (SendCommand(dataDir, JoinWords(operands), 10s)) return 0;
    std::fprintf(stderr, "gamectl: the bridge did not take the command within 10 s\n");
    return 1;
}

int Show(const std::string& dataDir, const Operands&) {
    for (const char* name : kPublishedFileNames)
        std::printf("== %s\n%s", name, ReadDataFile(dataDir, name).c_str());
    return 0;
}

int Watch(const std::string& dataDir, const Operands& operands) {
    const auto deadline = DeadlineOf(operands, 0);
    std::map<std::string, std::string> last;
    do {
        for (const char* name : kPublishedFileNames) {
            const std::string now = ReadDataFile(dataDir, name);
            std::string& before = last[name];
            if (now == before) continue;
            // New private messages are shown alone, since the bridge only
            // appends to their file; the rest whole.
            const bool appendedTo = std::string(name) == kPrivateMessageFileName;
            if (appendedTo && now.compare(0, before.size(), before) == 0)
                std::printf("== %s (new)\n%s", name, now.substr(before.size()).c_str());
            else
                std::printf("== %s\n%s", name, now.c_str());
            std::fflush(stdout);
            before = now;
        }
        std::this_thread::sleep_for(20ms);
    } while (!Passed(deadline));
    return 0;
}

bool IsDirectory(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

int NoDataDirectory(const std::string& dataDir) {
    std::fprintf(stderr, "gamectl: no data directory %s (is the bridge running there?)\n",
                 dataDir.c_str());
    return 3;
}

// A bridge just started makes its data directory first: that is waited for
// too, so that a script can start the bridge and wait at once.
int Wait(const std::string& dataDir, const Operands& operands) {
    const std::string &key = operands[0], &value = operands[1];
    const auto timeout = operands.size() > 2 ? *ParseSeconds(operands[2]) : 20s;
    auto current = [&] { return ParseStateText(ReadDataFile(dataDir, kStateFileName))[key]; };
    if (WaitFor([&] { return IsDirectory(dataDir) && current() == value; }, timeout)) return 0;
    if (!IsDirectory(dataDir)) return NoDataDirectory(dataDir);
    std::fprintf(stderr, "gamectl: %s did not become \"%s\" in time (it is \"%s\")\n", key.c_str(),
                 value.c_str(), current().c_str());
    return 1;
}

// Prints each line of an appended file once, as a game reads it, until the
// deadline.
int PrintNewLines(const std::string& dataDir, const Operands& operands,
                  std::vector<std::string> (*readNew)(const std::string&, LineReader&)) {
    const auto deadline = DeadlineOf(operands, 0);
    LineReader reader;
    for (;;) {
        for (const std::string& entry : readNew(dataDir, reader)) {
            std::fwrite(entry.data(), 1, entry.size(), stdout);
            std::fputc('\n', stdout);
        }
        std::fflush(stdout);
        if (Passed(deadline)) return 0;
        std::this_thread::sleep_for(20ms);
    }
}

int Pms(const std::string& dataDir, const Operands& operands) {
    return PrintNewLines(dataDir, operands, ReadNewMessages);
}

int Events(const std::string& dataDir, const Operands& operands) {
    return PrintNewLines(dataDir, operands, ReadNewEvents);
}

int Help(const std::string&, const Operands&) {
    std::fputs(Usage().c_str(), stdout);
    return 0;
}

int Version(const std::string&, const Operands&) {
    std::printf("gamectl %s\n", VOICEBRIDGE_VERSION);
    return 0;
}

enum class DataNeed {
    None,
    Now,     // GAME_DIR/data must be there
    InTime,  // GAME_DIR must be there; the command waits for its data folder
};

struct Subcommand {
    const char* name;
    const char* operands;  // as the usage names them
    size_t fewest, most;
    std::string (*check)(const Operands&);  // what is wrong, or nothing
    int (*run)(const std::string& dataDir, const Operands&);
    DataNeed data;
};

const Subcommand kSubcommands[] = {
    {"start", "[--] PROGRAM [ARGUMENT...]", 1, SIZE_MAX, CheckStart, Start, DataNeed::None},
    {"send", "BRIDGE_COMMAND", 1, SIZE_MAX, CheckBridgeCommand, Send, DataNeed::Now},
    {"show", "", 0, 0, nullptr, Show, DataNeed::Now},
    {"watch", "[SECONDS]", 0, 1, CheckFirstSeconds, Watch, DataNeed::Now},
    {"wait", "KEY VALUE [SECONDS]", 2, 3, CheckWait, Wait, DataNeed::InTime},
    {"pms", "[SECONDS]", 0, 1, CheckFirstSeconds, Pms, DataNeed::Now},
    {"events", "[SECONDS]", 0, 1, CheckFirstSeconds, Events, DataNeed::Now},
    {"help", "", 0, 0, nullptr, Help, DataNeed::None},
    {"--help", "", 0, 0, nullptr, Help, DataNeed::None},
    {"-h", "", 0, 0, nullptr, Help, DataNeed::None},
    {"--version", "", 0, 0, nullptr, Version, DataNeed::None},
};

int BadUsage(const std::string& what) {
    std::fprintf(stderr, "gamectl: %s\n", what.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const Operands all = ProgramArguments(argc, argv);
    Operands args(all.begin() + 1, all.end());
    std::string gameDir = ".";
    if (!args.empty() && args[0] == "--dir") {
        if (args.size() < 2) return BadUsage("--dir needs a GAME_DIR");
        gameDir = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) return BadUsage("no command given (gamectl --help lists them)");
    const Subcommand* command = nullptr;
    for (const Subcommand& candidate : kSubcommands)
        if (args[0] == candidate.name) command = &candidate;
    if (command == nullptr)
        return BadUsage("unknown command \"" + args[0] + "\" (gamectl --help lists them)");
    const Operands operands(args.begin() + 1, args.end());
    const std::string usage = std::string(" (usage: gamectl ") + command->name +
                              (*command->operands ? " " : "") + command->operands + ")";
    if (operands.size() < command->fewest)
        return BadUsage(std::string(command->name) + " is missing arguments" + usage);
    if (operands.size() > command->most)
        return BadUsage(std::string("too many arguments for ") + command->name + usage);
    if (command->check) {
        const std::string wrong = command->check(operands);
        if (!wrong.empty()) return BadUsage(wrong);
    }
    const std::string dataDir = gameDir + "/data";
    if ((command->data == DataNeed::Now && !IsDirectory(dataDir)) ||
        (command->data == DataNeed::InTime && !IsDirectory(gameDir)))
        return NoDataDirectory(dataDir);
    return command->run(dataDir, operands);
}
