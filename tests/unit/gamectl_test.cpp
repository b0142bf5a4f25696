// gamectl's command line, run as the real program: what it accepts, and
// the one line it prints for each kind of mistake.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "exchange_vocabulary.h"
#include "game_files.h"
#include "process.h"
#include "temp_directory.h"

namespace {

using namespace std::chrono_literals;

struct Row {
    std::vector<std::string> args;
    int exitCode;
    std::string error;     // the line on stderr, without its line feed
    std::string outStart;  // how stdout begins (empty: nothing on stdout)
};

size_t JoinedSize(const std::vector<std::string>& words) {
    size_t size = 0;
    for (const std::string& word : words) size += word.size() + 1;
    return size;
}

TEST(Gamectl, AcceptsWhatItDocumentsAndNamesEachMistake) {
    TempDirectory dir;
    const std::string data = dir.File("data");
    std::filesystem::create_directory(data);
    std::filesystem::create_directory(dir.File("bare"));  // a bridge not started yet
    WriteTestFile(data + "/state.txt", "status|authorized\nptt|0\n");
    WriteTestFile(data + "/pm_in.txt", "7|Bea|ol\xC3\xA1\n8|Rui|a meio");
    // A stand-in bridge that takes every command.
    std::atomic<bool> taking{true};
    std::string taken;
    std::thread bridge([&] {
        for (; taking; std::this_thread::sleep_for(2ms)) {
            const std::string command = ReadDataFile(data, "cmd.txt");
            if (command.empty()) continue;
            taken += command + "\n";
            WriteTestFile(data + "/cmd.txt", "");
        }
    });
    const std::string commands = "(refresh, leave, ptt_on, ptt_off, joinid, joinpath, pm)";
    const std::string hint = " (is the bridge running there?)";
    const std::string keys = "(status, ptt, myuserid, mychannelid, mychannelname, nickname, error)";
    // Over the bridge's limit in all, in words each within the system's.
    std::vector<std::string> oversize = {"send", "pm", "12|"};
    while (JoinedSize(oversize) <= kMaxCommandBytes + 5)
        oversize.push_back(std::string(100000, 'a'));
    const std::vector<Row> rows = {
        {{"--help"}, 0, "", "usage: gamectl [--dir GAME_DIR] COMMAND"},
        {{"-h"}, 0, "", "usage: gamectl [--dir GAME_DIR] COMMAND"},
        {{"--version"}, 0, "", "gamectl " VOICEBRIDGE_VERSION "\n"},
        {{"send", "ptt_on"}, 0, "", ""},
        {{"send", "joinpath", "Sala  A"}, 0, "", ""},
        {{"send", "pm 12|ol\xC3\xA1", "mundo"}, 0, "", ""},
        {{"wait", "status", "authorized", "0.5"}, 0, "", ""},
        {{"pms", "0"}, 0, "", "7|Bea|ol\xC3\xA1\n"},
        {{}, 2, "no command given (gamectl --help lists them)", ""},
        {{"bogus"}, 2, "unknown command \"bogus\" (gamectl --help lists them)", ""},
        {{"--dir"}, 2, "--dir needs a GAME_DIR", ""},
        {{"wait", "status"},
         2,
         "wait is missing arguments (usage: gamectl wait KEY VALUE [SECONDS])",
         ""},
        {{"show", "all"}, 2, "too many arguments for show (usage: gamectl show)", ""},
        {{"wait", "status", "nope", "abc"}, 2, "\"abc\" is not a number of seconds", ""},
        {{"wait", "mood", "x"}, 2, "unknown state key \"mood\" " + keys, ""},
        {{"send"}, 2, "send is missing arguments (usage: gamectl send BRIDGE_COMMAND)", ""},
        {{"send", "hello", "world"}, 2, "\"hello\" is not a bridge command " + commands, ""},
        {{"send", "ptt_on", "now"}, 2, "ptt_on takes no argument", ""},
        {{"start", "--"}, 2, "start needs a PROGRAM", ""},
        {{"send", "joinid"}, 2, "joinid needs a CHANNEL_ID[|PASSWORD]", ""},
        {{"send", "joinid", "5x"}, 2, "\"5x\" is not a channel ID", ""},
        {{"send", "pm", "12"},
         2,
         "pm takes USER_ID|TEXT (quote it: the shell takes | for a pipe)",
         ""},
        {{"send", "pm", "Bea|oi"}, 2, "\"Bea\" is not a user ID", ""},
        {{"send", "joinpath", " \t"}, 2, "joinpath needs a CHANNEL_NAME_OR_PATH[|PASSWORD]", ""},
        {{"send", "pm", "12| \t"},
         2,
         "pm takes USER_ID|TEXT (quote it: the shell takes | for a pipe)",
         ""},
        {{"send", "pm", "12|a\nb"}, 2, "a bridge command is one line, without a zero byte", ""},
        {oversize, 2, "a bridge command holds at most 1048576 bytes", ""},
        {{"--dir", "nowhere", "show"}, 3, "no data directory nowhere/data" + hint, ""},
        {{"--dir", "bare", "wait", "status", "x", "0.1"},
         3,
         "no data directory bare/data" + hint,
         ""},
    };
    for (const Row& row : rows) {
        std::vector<std::string> argv = {GAMECTL_PATH};
        argv.insert(argv.end(), row.args.begin(), row.args.end());
        const FinishedRun run = RunToEnd(argv, dir.path);
        const std::string label = ::testing::PrintToString(row.args);
        EXPECT_EQ(run.exitCode, row.exitCode) << label;
        EXPECT_EQ(run.err, row.error.empty() ? "" : "gamectl: " + row.error + "\n") << label;
        EXPECT_EQ(row.outStart.empty() ? run.out : run.out.substr(0, row.outStart.size()),
                  row.outStart)
            << label;
    }
    taking = false;
    bridge.join();
    EXPECT_EQ(taken, "ptt_on\njoinpath Sala  A\npm 12|ol\xC3\xA1 mundo\n");
}

}  // namespace
