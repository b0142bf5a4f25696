// gamectl: drives a running bridge through its data files, as a game does.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "game_files.h"

namespace {

using namespace std::chrono_literals;

const char kUsage[] =
    "usage: gamectl [--dir GAME_DIR] COMMAND\n"
    "  send WORDS...            write one command (the words joined by spaces), after the\n"
    "                           previous one is consumed, and wait until the bridge takes it\n"
    "  show                     print state.txt, users.txt, channels.txt and pm_in.txt\n"
    "  watch [SECONDS]          print every change of those files as it happens\n"
    "  wait KEY VALUE [SECONDS] wait until the state file's KEY entry equals VALUE\n"
    "GAME_DIR is the bridge's working directory (default: .); its files are in GAME_DIR/data.\n"
    "Exit code 0 on success, 1 when a wait times out, 2 on a bad command line.\n";

const char* const kWatchedFiles[] = {"state.txt", "users.txt", "channels.txt", "pm_in.txt"};

void PrintFile(const std::string& dataDir, const char* name) {
    std::printf("== %s\n%s", name, ReadDataFile(dataDir, name).c_str());
    std::fflush(stdout);
}

std::chrono::milliseconds Seconds(const std::vector<std::string>& args, size_t index,
                                  std::chrono::milliseconds fallback) {
    if (index >= args.size()) return fallback;
    return std::chrono::milliseconds(static_cast<long long>(std::atof(args[index].c_str()) * 1000));
}

int Send(const std::string& dataDir, const std::vector<std::string>& args) {
    std::string command;
    for (size_t i = 1; i < args.size(); ++i) command += (i > 1 ? " " : "") + args[i];
    if (!SendCommand(dataDir, command, 10s)) {
        std::fprintf(stderr, "gamectl: the bridge did not take the command in time\n");
        return 1;
    }
    return 0;
}

int Watch(const std::string& dataDir, const std::vector<std::string>& args) {
    const auto end = std::chrono::steady_clock::now() + Seconds(args, 1, 24h);
    std::string last[std::size(kWatchedFiles)];
    do {
        for (size_t i = 0; i < std::size(kWatchedFiles); ++i) {
            const std::string now = ReadDataFile(dataDir, kWatchedFiles[i]);
            if (now == last[i]) continue;
            // New private messages are shown alone; the rest whole.
            if (i == 3 && now.compare(0, last[i].size(), last[i]) == 0)
                std::printf("== pm_in.txt (new)\n%s", now.substr(last[i].size()).c_str());
            else
                std::printf("== %s\n%s", kWatchedFiles[i], now.c_str());
            std::fflush(stdout);
            last[i] = now;
        }
        std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < end);
    return 0;
}

int Wait(const std::string& dataDir, const std::vector<std::string>& args) {
    if (args.size() < 3) return 2;
    const bool reached = WaitFor(
        [&] { return ParseStateText(ReadDataFile(dataDir, "state.txt"))[args[1]] == args[2]; },
        Seconds(args, 3, 20s));
    if (!reached)
        std::fprintf(stderr, "gamectl: %s never became %s\n", args[1].c_str(), args[2].c_str());
    return reached ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string gameDir = ".";
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "--dir") {
        gameDir = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    const std::string dataDir = gameDir + "/data";
    int result = 2;
    if (args.empty()) {
        result = 2;
    } else if (args[0] == "send" && args.size() >= 2) {
        result = Send(dataDir, args);
    } else if (args[0] == "show") {
        for (const char* name : kWatchedFiles) PrintFile(dataDir, name);
        result = 0;
    } else if (args[0] == "watch") {
        result = Watch(dataDir, args);
    } else if (args[0] == "wait") {
        result = Wait(dataDir, args);
    }
    if (result == 2) std::fputs(kUsage, stderr);
    return result;
}
