// The game kits, each driven through its agent (tests/gamekit/AGENT.md)
// against the real bridge and the simulated server: one table of
// scenarios, written once, run for every kit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "bridge_fixture.h"
#include "exchange_vocabulary.h"
#include "game_files.h"
#include "voicesim_control.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

enum class Kit { CNative, CWindows, Python, CSharp };

const char* KitName(Kit kit) {
    const char* names[] = {"C", "CWindows", "Python", "CSharp"};
    return names[static_cast<int>(kit)];
}

// A kit's agent, asked one request at a time over its standard streams.
// One that ends early fails the test with how it ended and what it wrote
// to its error output.
class Agent {
public:
    Agent(const std::vector<std::string>& argv, const std::string& directory,
          const std::vector<std::pair<std::string, std::string>>& environment,
          const std::string& errorFile)
        : errorFile_(errorFile) {
        int toAgent[2], fromAgent[2];
        if (pipe(toAgent) != 0 || pipe(fromAgent) != 0) return;
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        process_.pid = fork();
        if (process_.pid == 0) {
            if (chdir(directory.c_str()) != 0) _exit(126);
            for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
            dup2(toAgent[0], 0);
            dup2(fromAgent[1], 1);
            freopen(errorFile.c_str(), "a", stderr);
            for (int fd : {toAgent[0], toAgent[1], fromAgent[0], fromAgent[1]}) close(fd);
            signal(SIGPIPE, SIG_DFL);
            execvp(args[0], args.data());
            _exit(127);
        }
        close(toAgent[0]);
        close(fromAgent[1]);
        in_ = fdopen(toAgent[1], "w");
        out_ = fdopen(fromAgent[0], "r");
    }

    ~Agent() {
        if (in_ != nullptr) {
            std::fputs("quit\n", in_);
            std::fclose(in_);
        }
        if (out_ != nullptr) std::fclose(out_);
        // The agent stops the bridge it started; give it the time to. The
        // record kills one still running after that.
        int code = 0;
        WaitForExit(process_, 10s, code);
    }

    Agent(const Agent&) = delete;
    Agent& operator=(const Agent&) = delete;

    bool Ended() const { return ended_; }

    // One request, its fields joined by TABs; the answer's first line.
    std::string Ask(const std::vector<std::string>& fields) {
        if (ended_) return "";
        std::string line;
        for (const std::string& field : fields) line += (line.empty() ? "" : "\t") + field;
        std::fprintf(in_, "%s\n", line.c_str());
        std::fflush(in_);
        return ReadLine();
    }

    // A list request: every line up to "end".
    std::vector<std::string> AskList(const std::string& request) {
        std::vector<std::string> lines;
        for (std::string line = Ask({request}); line != "end" && !ended_; line = ReadLine())
            lines.push_back(line);
        return lines;
    }

private:
    std::string ReadLine() {
        std::string line;
        for (int c; (c = std::fgetc(out_)) != EOF && c != '\n';) line += static_cast<char>(c);
        if (std::feof(out_) && !ended_) {
            ended_ = true;
            int code = 0;
            ADD_FAILURE() << "the agent ended early, with "
                          << (WaitForExit(process_, 10s, code) ? DescribeExit(code)
                                                               : "its output closed, still running")
                          << "; its error output:\n"
                          << ReadTestFile(errorFile_);
        }
        return line;
    }

    ChildProcess process_;
    std::string errorFile_;
    FILE* in_ = nullptr;
    FILE* out_ = nullptr;
    bool ended_ = false;
};

// The scenarios below are free functions over the fixture.
class GameKitTest : public ::testing::TestWithParam<std::tuple<Kit, int>> {
public:
    TempDirectory dir;
    VoiceSim sim;
    std::unique_ptr<Agent> agent;
    std::string bridgeProgram;

    Kit kit() const { return std::get<0>(GetParam()); }
    std::string Game() const { return dir.File("game"); }
    std::string Data(const std::string& name) const {
        return ReadTestFile(Game() + "/data/" + name);
    }

    void SetUp() override {
        std::vector<std::string> argv;
        std::vector<std::pair<std::string, std::string>> environment;
        bridgeProgram = BridgeExecutable(BridgeBuild::Native);
        switch (kit()) {
            case Kit::CNative: argv = {GAMEKIT_C_AGENT}; break;
            case Kit::CWindows:
                if (WineSkipped()) GTEST_SKIP() << "VOICEBRIDGE_SKIP_WINE is set";
                bridgeProgram = BridgeExecutable(BridgeBuild::Windows);
                argv = {"wine", GAMEKIT_C_AGENT_WINDOWS};
                environment = {{"WINEDEBUG", "-all"},
                               {"WINEDLLOVERRIDES", "mscoree,mshtml="},
                               {"LC_ALL", "C.UTF-8"}};
                break;
            case Kit::Python: argv = {"python3", GAMEKIT_PYTHON_AGENT}; break;
            case Kit::CSharp: argv = {"mono", GAMEKIT_CSHARP_AGENT}; break;
        }
        ASSERT_TRUE(fs::exists(argv.back())) << argv.back() << " is not built";
        ASSERT_FALSE(bridgeProgram.empty()) << "the bridge is not built";
        sim = StartVoiceSim(dir.path);
        agent = std::make_unique<Agent>(argv, dir.path, environment, dir.File("agent-errors.txt"));
    }

    void TearDown() override {
        const bool reported = agent != nullptr && agent->Ended();
        agent.reset();
        EXPECT_TRUE(EndsCleanly(sim.process, dir.File("voicesim-output.txt"))) << "voicesim";
        if (HasFailure() && !reported)
            std::printf("%s", ReadTestFile(dir.File("agent-errors.txt")).c_str());
    }

    void Control(const std::vector<std::string>& command) {
        ASSERT_EQ(SimControl(sim.controlPort, command), std::vector<std::string>{"OK"});
    }

    void Start() {
        ASSERT_EQ(agent->Ask({"start", Game(), bridgeProgram, "127.0.0.1", std::to_string(sim.port),
                              "10333", "0", "Ana"}),
                  "ok");
    }

    void StartAuthorized() {
        Start();
        ASSERT_EQ(agent->Ask({"wait_status", kStatusAuthorized, "30000"}), "true")
            << Data("state.txt");
    }

    // An agent that ended answers nothing more: no use waiting for it.
    bool Eventually(const std::function<bool()>& condition, std::chrono::seconds timeout = 30s) {
        return WaitUntil([&] { return agent->Ended() || condition(); }, timeout) && !agent->Ended();
    }
};

// What an earlier run left in the folder: its state, nine messages and a
// command of its own, written long before.
void LeaveAnEarlierRun(const std::string& data) {
    fs::create_directories(data);
    WriteTestFile(data + "/state.txt", StateText("authorized", "Ana", 9, 6, "Seis"));
    std::string old;
    for (int i = 1; i <= 9; ++i) old += "700|Bea|velha " + std::to_string(i) + "\n";
    WriteTestFile(data + "/pm_in.txt", old);
    WriteTestFile(data + "/cmd.txt", "ptt_on");
    fs::last_write_time(data + "/cmd.txt", fs::file_time_type::clock::now() - 24h);
}

struct Scenario {
    const char* name;
    void (*run)(GameKitTest& t);
};

const Scenario kScenarios[] = {
    {"StartReachesAuthorizedWithTheLists",
     [](GameKitTest& t) {
         t.StartAuthorized();
         EXPECT_EQ(t.agent->Ask({"status"}), kStatusAuthorized);
         EXPECT_EQ(t.agent->Ask({"exit_code"}), "none");
         EXPECT_TRUE(t.Eventually([&] {
             const auto channels = t.agent->AskList("channels");
             return !channels.empty() && channels[0] == "1||0";
         }));
         EXPECT_EQ(t.agent->Ask({"session_over"}), "false");
     }},
    {"ARestartInAUsedFolderShowsNothingOldAndLosesNoCommand",
     [](GameKitTest& t) {
         t.Control({"channel", "add", "5", "1", "Cinco"});
         LeaveAnEarlierRun(t.Game() + "/data");
         t.Start();
         // A frame after the start: nothing of the earlier run shows.
         EXPECT_NE(t.agent->Ask({"state", kStateKeyMyUserId}), "9");
         EXPECT_EQ(t.agent->Ask({"send", "joinid 5", "30000"}), "true");
         EXPECT_TRUE(t.Eventually([&] { return t.agent->Ask({"state", "mychannelid"}) == "5"; }));
         EXPECT_EQ(t.agent->AskList("messages"), std::vector<std::string>{});
         EXPECT_EQ(t.agent->Ask({"state", kStateKeyPushToTalk}), "0");
     }},
    {"ARefusedLoginIsTheEndOfTheSessionWithItsReason",
     [](GameKitTest& t) {
         t.Control({"switch", "refuse-logins", "1", "Servidor cheio"});
         t.Start();
         EXPECT_TRUE(t.Eventually([&] { return t.agent->Ask({"session_over"}) == "true"; }));
         EXPECT_EQ(t.agent->Ask({"state", kStateKeyError}), "Servidor cheio");
         EXPECT_EQ(t.agent->Ask({"exit_code"}), "none");
     }},
    {"EveryMessageOfABurstArrivesOnceInOrder",
     [](GameKitTest& t) {
         t.Control({"bot", "add", "700", "Bea"});
         t.StartAuthorized();
         const std::string me = t.agent->Ask({"state", kStateKeyMyUserId});
         const int count = 2000;
         std::vector<std::string> expected, got;
         for (int i = 0; i < count; ++i) expected.push_back("700|Bea|m" + std::to_string(i));
         std::thread burst([&] {
             SimControlLink link;
             if (!SimControlOpen(link, t.sim.controlPort)) return;
             for (int i = 0; i < count; ++i)
                 SimControlCommand(link, {"bot", "say", "700", me, "m" + std::to_string(i)});
             SimControlClose(link);
         });
         t.Eventually(
             [&] {
                 for (const std::string& m : t.agent->AskList("messages")) got.push_back(m);
                 return got.size() >= expected.size();
             },
             180s);
         burst.join();
         EXPECT_TRUE(got == expected)
             << got.size() << " messages, first differing at "
             << std::mismatch(got.begin(), got.end(), expected.begin(), expected.end()).first -
                    got.begin();
     }},
    {"MalformedCommandsAreRefusedAndTouchNoFile",
     [](GameKitTest& t) {
         t.StartAuthorized();
         struct stat before {
         }, after{};
         ASSERT_EQ(stat((t.Game() + "/data/cmd.txt").c_str(), &before), 0);
         for (const char* bad :
              {"", "hello", "REFRESH", "refresh now", "ptt_on\\n", "joinid", "joinid 0",
               "joinid -3", "joinid 5x", "joinid 99999999999", "joinpath", "pm 5",
               "pm x|ol\xC3\xA1", "pm |ol\xC3\xA1", "pm 5|", "pm 5|a\\nb", "joinid 5\\nleave"})
             EXPECT_EQ(t.agent->Ask({"send", bad, "1000"}), "refused") << bad;
         ASSERT_EQ(stat((t.Game() + "/data/cmd.txt").c_str(), &after), 0);
         EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
         EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
         EXPECT_EQ(t.Data("cmd.txt"), "");
     }},
    {"ALostLinkIsTheEndOfTheSession",
     [](GameKitTest& t) {
         t.StartAuthorized();
         StopProcess(t.sim.process);
         EXPECT_TRUE(t.Eventually([&] { return t.agent->Ask({"session_over"}) == "true"; }));
         EXPECT_EQ(t.agent->Ask({"state", kStateKeyMyUserId}), "0");
     }},
    {"StopEndsTheBridge",
     [](GameKitTest& t) {
         t.StartAuthorized();
         EXPECT_EQ(t.agent->Ask({"stop"}), "ok");
         EXPECT_NE(t.agent->Ask({"exit_code"}), "none");
         EXPECT_EQ(t.agent->Ask({"session_over"}), "true");
     }},
    {"AReaderAtFullSpeedNeverSeesARefusedOpen",
     [](GameKitTest& t) {
         t.StartAuthorized();
         // The bridge publishes its state all the while.
         std::atomic<bool> reading{true};
         std::thread game([&] {
             for (int i = 0; reading; ++i)
                 SendCommand(t.Game() + "/data", i % 2 ? "ptt_off" : "ptt_on", 5s);
         });
         const std::string counts = t.agent->Ask({"read_state", "100000"});
         reading = false;
         game.join();
         EXPECT_EQ(counts, "reads 100000 empty 0");
     }},
    {"ItsCommandsAndWordsAreTheVocabularys",
     [](GameKitTest& t) {
         const char* shapes[] = {"none", "channel_id", "channel_name", "user_id_text"};
         std::vector<std::string> expected;
         for (const BridgeCommand& command : kBridgeCommands)
             expected.push_back(std::string(command.keyword) + "\t" +
                                shapes[static_cast<int>(command.argument)]);
         std::string keys;
         for (const char* key : kStateKeys) keys += (keys.empty() ? "" : ",") + std::string(key);
         const std::pair<const char*, std::string> words[] = {
             {"data_directory", kDataDirectoryName},
             {"state_file", kStateFileName},
             {"users_file", kUsersFileName},
             {"channels_file", kChannelsFileName},
             {"pm_file", kPrivateMessageFileName},
             {"command_file", kCommandFileName},
             {"lock_file", kLockFileName},
             {"state_keys", keys},
             {"status_starting", kStatusStarting},
             {"status_loggedin", kStatusLoggedIn},
             {"status_authorized", kStatusAuthorized},
             {"status_error", kStatusError},
             {"field_separator", std::string(1, kFieldSeparator)},
             {"default_host", kDefaultHost},
             {"default_port", std::to_string(kDefaultPort)},
             {"default_encrypted", kDefaultEncrypted ? "1" : "0"},
             {"default_nickname", kDefaultNickname},
         };
         for (const auto& [name, value] : words) expected.push_back(name + ("\t" + value));
         std::vector<std::string> answered = t.agent->AskList("commands");
         for (const std::string& line : t.agent->AskList("constants")) answered.push_back(line);
         EXPECT_EQ(answered, expected);
     }},
};

TEST_P(GameKitTest, Scenario) { kScenarios[std::get<1>(GetParam())].run(*this); }

INSTANTIATE_TEST_SUITE_P(
    , GameKitTest,
    ::testing::Combine(::testing::Values(Kit::CNative, Kit::CWindows, Kit::Python, Kit::CSharp),
                       ::testing::Range(0, static_cast<int>(std::size(kScenarios)))),
    [](const auto& test) {
        return std::string(KitName(std::get<0>(test.param))) + "_" +
               kScenarios[std::get<1>(test.param)].name;
    });

}  // namespace
