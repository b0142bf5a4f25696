// The developer's kit as a game developer on Windows first meets it: the
// ZIP unpacked, and the commands of its QUICKSTART.txt run word for word
// under Wine with the kit's own programs, nothing from the build tree.
// scripts/package runs it once the kit is built (VOICEBRIDGE_DEVKIT_ZIP).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "process.h"
#include "temp_directory.h"

namespace {

using namespace std::chrono_literals;

// The command lines of the text: those indented as commands are, in order.
std::vector<std::string> QuickStartCommands(const std::string& text) {
    std::vector<std::string> commands;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("     ", 0) == 0 && line.find_first_not_of(' ') == 5)
            commands.push_back(line.substr(5));
    }
    return commands;
}

// Words as the command prompt parts them: at blanks, but not inside quotes.
std::vector<std::string> Words(const std::string& command) {
    std::vector<std::string> words(1);
    bool quoted = false;
    for (char c : command) {
        if (c == '"')
            quoted = !quoted;
        else if (c == ' ' && !quoted && !words.back().empty())
            words.emplace_back();
        else if (c != ' ' || quoted)
            words.back() += c;
    }
    return words;
}

TEST(DevkitTest, TheWindowsQuickStartRunsWordForWordFromTheUnpackedZip) {
    const char* zip = std::getenv("VOICEBRIDGE_DEVKIT_ZIP");
    if (zip == nullptr) GTEST_SKIP() << "VOICEBRIDGE_DEVKIT_ZIP names no developer's kit";
    TempDirectory dir;
    ASSERT_EQ(RunToEnd({"python3", "-m", "zipfile", "-e", zip, dir.path}, dir.path).exitCode, 0);
    const std::string top = std::filesystem::path(zip).stem().string();
    const std::string kit = dir.File(top);
    const std::vector<std::string> commands =
        QuickStartCommands(ReadTestFile(kit + "/QUICKSTART.txt"));
    ASSERT_GE(commands.size(), 8u);

    ChildProcess server;
    std::string pid, shown;
    // A bridge left running by a step that failed is ended all the same.
    struct EndBridge {
        const std::string& pid;
        const std::string& kit;
        ~EndBridge() {
            if (!pid.empty()) RunToEnd({"wine", "taskkill", "/PID", pid, "/F"}, kit);
        }
    } endBridge{pid, kit};
    for (std::string command : commands) {
        SCOPED_TRACE(command);
        const std::string placeholder = "<the process ID that gamectl printed>";
        if (const size_t at = command.find(placeholder); at != std::string::npos)
            command.replace(at, placeholder.size(), pid);
        std::vector<std::string> argv = Words(command);
        argv.insert(argv.begin(), "wine");
        // The server runs until it is ended, beside the rest.
        if (argv[1] == "voicesim.exe") {
            server = StartProcess(argv, kit, {}, dir.File("voicesim-output.txt"));
            ASSERT_TRUE(WaitUntil([&] {
                return ReadTestFile(dir.File("voicesim-output.txt")).find("control on") !=
                       std::string::npos;
            })) << ReadTestFile(dir.File("voicesim-output.txt"));
            continue;
        }
        FinishedRun run = RunToEnd(argv, kit, 60s);
        ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
        // The console's line ends, as a Windows program writes them.
        run.out.erase(std::remove(run.out.begin(), run.out.end(), '\r'), run.out.end());
        if (const size_t at = run.out.find("process "); at != std::string::npos)
            pid = run.out.substr(at + 8, run.out.find('\n', at) - at - 8);
        if (argv[1] == "taskkill") pid.clear();
        if (command.find(" show") != std::string::npos) shown = run.out;
    }
    for (const char* expected : {"status|authorized", "ptt|1", "mychannelname|Sala de espera",
                                 "100|Eco\n", "2|Sala de espera|0|1\n", "100|Eco|Ol\xC3\xA1\n"})
        EXPECT_NE(shown.find(expected), std::string::npos) << expected << " not in:\n" << shown;
    StopProcess(server);
}

}  // namespace
