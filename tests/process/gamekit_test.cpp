// The game kits, each driven through its agent (tests/gamekit/AGENT.md)
// against the real bridge and the simulated server: one table of
// scenarios, written once, run for every kit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <regex>
#include <thread>

#include "bridge_fixture.h"
#include "exchange_vocabulary.h"
#include "game_files.h"
#include "talking_process.h"
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
        ended_ = !StartTalking(child_, argv, directory, environment, errorFile);
    }

    // The agent stops the bridge it started; give it the time to. The
    // record kills one still running after that.
    ~Agent() { CloseTalking(child_, "quit", 10s); }

    Agent(const Agent&) = delete;
    Agent& operator=(const Agent&) = delete;

    bool Ended() const { return ended_; }

    // Ends the agent as a crash would: no quit, no stop.
    void Kill() {
        kill(child_.process.pid, SIGKILL);
        int code = 0;
        WaitForExit(child_.process, 10s, code);
        ended_ = true;
    }

    // The agent's standard input and output, as /proc names them.
    std::vector<std::string> Pipes() const {
        std::vector<std::string> names;
        struct stat pipe {};
        for (FILE* stream : {child_.in, child_.out})
            if (stream != nullptr && fstat(fileno(stream), &pipe) == 0)
                names.push_back("pipe:[" + std::to_string(pipe.st_ino) + "]");
        return names;
    }

    // The next line the program wrote (a sample game, not an agent).
    std::string NextLine() { return ended_ ? "" : ReadLine(); }

    // One request, its fields joined by TABs; the answer's first line.
    std::string Ask(const std::vector<std::string>& fields) {
        if (ended_) return "";
        std::string line;
        for (const std::string& field : fields) line += (line.empty() ? "" : "\t") + field;
        TellLine(child_, line);
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
        if (!ReadLineFrom(child_, line) && !ended_) {
            ended_ = true;
            int code = 0;
            ADD_FAILURE() << "the agent ended early, with "
                          << (WaitForExit(child_.process, 10s, code)
                                  ? DescribeExit(code)
                                  : "its output closed, still running")
                          << "; its error output:\n"
                          << ReadTestFile(errorFile_);
        }
        return line;
    }

    TalkingProcess child_;
    std::string errorFile_;
    bool ended_ = false;
};

// The scenarios below are free functions over the fixture.
class GameKitTest : public ::testing::TestWithParam<std::tuple<Kit, int>> {
public:
    TempDirectory dir;
    VoiceSim sim;
    std::unique_ptr<Agent> agent;
    std::string bridgeProgram;
    std::vector<std::string> argv;
    std::vector<std::pair<std::string, std::string>> environment;

    Kit kit() const { return std::get<0>(GetParam()); }
    std::string Game() const { return dir.File("game"); }
    std::string Data(const std::string& name) const {
        return ReadTestFile(Game() + "/data/" + name);
    }

    void SetUp() override {
        // A password the game inherited: no kit may hand it to the bridge.
        environment = {{"VOICEBRIDGE_PASSWORD", "segredo-ana"}};
        bridgeProgram = BridgeExecutable(BridgeBuild::Native);
        switch (kit()) {
            case Kit::CNative: argv = {GAMEKIT_C_AGENT}; break;
            case Kit::CWindows:
                if (WineSkipped()) GTEST_SKIP() << "VOICEBRIDGE_SKIP_WINE is set";
                bridgeProgram = BridgeExecutable(BridgeBuild::Windows);
                argv = {"wine", GAMEKIT_C_AGENT_WINDOWS};
                environment.insert(environment.end(), {{"WINEDEBUG", "-all"},
                                                       {"WINEDLLOVERRIDES", "mscoree,mshtml="},
                                                       {"LC_ALL", "C.UTF-8"}});
                break;
            case Kit::Python: argv = {"python3", GAMEKIT_PYTHON_AGENT}; break;
            case Kit::CSharp: argv = {"mono", GAMEKIT_CSHARP_AGENT}; break;
        }
        ASSERT_TRUE(fs::exists(argv.back())) << argv.back() << " is not built";
        ASSERT_FALSE(bridgeProgram.empty()) << "the bridge is not built";
        sim = StartVoiceSim(dir.path);
        agent = std::make_unique<Agent>(argv, dir.path, environment, dir.File("agent-errors.txt"));
    }

    // The kit's sample game, as AGENT.md says it is run.
    std::vector<std::string> sampleArgv() const {
        std::vector<std::string> run;
        switch (kit()) {
            case Kit::CNative: run = {GAMEKIT_C_SAMPLE}; break;
            case Kit::CWindows: run = {"wine", GAMEKIT_C_SAMPLE_WINDOWS}; break;
            case Kit::Python: run = {"python3", GAMEKIT_PYTHON_SAMPLE}; break;
            case Kit::CSharp: run = {"mono", GAMEKIT_CSHARP_SAMPLE}; break;
        }
        run.insert(run.end(), {Game(), bridgeProgram, "127.0.0.1", std::to_string(sim.port)});
        return run;
    }

    void TearDown() override {
        const bool reported = agent != nullptr && agent->Ended();
        agent.reset();
        EXPECT_TRUE(EndsCleanly(sim.process, dir.File("voicesim-output.txt"))) << "voicesim";
        if (HasFailure() && !reported)
            std::printf("%s", ReadTestFile(dir.File("agent-errors.txt")).c_str());
    }

    // The events of every update asked so far, one line each.
    std::vector<std::string> events;

    bool Seen(const std::string& line) const {
        return std::find(events.begin(), events.end(), line) != events.end();
    }

    // Updates, as a game's frames do, until the condition holds.
    bool UpdateUntil(const std::function<bool()>& condition, std::chrono::seconds timeout = 30s) {
        return Eventually(
            [&] {
                for (const std::string& line : agent->AskList("update")) events.push_back(line);
                return condition();
            },
            timeout);
    }

    std::string Post(const std::string& command) {
        const std::string answer = agent->Ask({"post", command});
        EXPECT_EQ(answer.rfind("posted ", 0), 0u) << command << ": " << answer;
        return answer.substr(answer.find(' ') + 1);
    }

    // The server ends, and another starts on its port with the same words.
    void RestartSim(const std::vector<std::string>& arguments = {}) {
        const int port = sim.port;
        EXPECT_TRUE(EndsCleanly(sim.process, dir.File("voicesim-output.txt"))) << "voicesim";
        std::vector<std::string> all = {"--port", std::to_string(port)};
        all.insert(all.end(), arguments.begin(), arguments.end());
        sim = StartVoiceSim(dir.path, all);
        ASSERT_EQ(sim.port, port);
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
         std::vector<std::string> malformed = {"",
                                               "hello",
                                               "REFRESH",
                                               "refresh now",
                                               "ptt_on\\n",
                                               "joinid",
                                               "joinid 0",
                                               "joinid -3",
                                               "joinid 5x",
                                               "joinid 99999999999",
                                               "joinid |segredo",
                                               "joinpath",
                                               "joinpath  \t ",
                                               "pm 5",
                                               "pm x|ol\xC3\xA1",
                                               "pm |ol\xC3\xA1",
                                               "pm 5|",
                                               "pm 100| \t ",
                                               "pm 5|a\\nb",
                                               "joinid 5\\nleave"};
         malformed.push_back("pm 5|" + std::string(kMaxCommandBytes, 'a'));
         for (const std::string& bad : malformed) {
             EXPECT_EQ(t.agent->Ask({"send", bad, "1000"}), "refused") << bad.substr(0, 40);
             EXPECT_EQ(t.agent->Ask({"post", bad}), "refused") << bad.substr(0, 40);
         }
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
    {"EveryPostedCommandGetsItsOutcomeFromUpdate",
     [](GameKitTest& t) {
         t.Control({"channel", "add", "5", "1", "Cinco"});
         t.Control({"channel", "add", "6", "1", "Reservado", "segredo"});
         t.Control({"bot", "add", "700", "Bea"});
         t.StartAuthorized();
         const std::string me = t.agent->Ask({"state", kStateKeyMyUserId});
         // Posted back to back: each waits its turn in the kit, none in the game.
         const std::vector<std::pair<std::string, std::string>> commands = {
             {"joinid 5", "done"},
             {"joinid 999", "no_such_channel"},
             {"joinid 6|errada", "rejected"},
             {"joinpath Reservado|segredo", "done"},
             {"ptt_on", "done"},
             {"pm 700|ol\xC3\xA1", "done"},
             {"pm 4242|ol\xC3\xA1", "no_such_user"}};
         std::vector<std::string> numbers;
         for (const auto& command : commands) numbers.push_back(t.Post(command.first));
         // A message the server refuses is done first, then failed: the last word counts.
         const auto outcomeOf = [&](size_t i) {
             return "outcome|" + numbers[i] + "|" + commands[i].second + "|" + commands[i].first;
         };
         EXPECT_TRUE(t.UpdateUntil([&] {
             for (size_t i = 0; i < commands.size(); ++i)
                 if (!t.Seen(outcomeOf(i))) return false;
             return t.agent->Ask({"state", kStateKeyPushToTalk}) == "1";
         }));
         for (size_t i = 0; i < commands.size(); ++i) {
             EXPECT_EQ(t.agent->Ask({"outcome", numbers[i]}), commands[i].second)
                 << commands[i].first;
         }
         EXPECT_TRUE(t.UpdateUntil([&] {
             for (const std::string& member : t.agent->AskList("members"))
                 if (member == me + "|6") return true;
             return false;
         }));
         EXPECT_TRUE(t.Seen("status|" + std::string(kStatusAuthorized)));
     }},
    {"MessagesReachTheGameOnceAsEventsOrThroughTheOldCall",
     [](GameKitTest& t) {
         t.Control({"bot", "add", "700", "Bea"});
         t.StartAuthorized();
         const std::string me = t.agent->Ask({"state", kStateKeyMyUserId});
         t.Control({"bot", "say", "700", me, "um|dois"});
         EXPECT_TRUE(t.UpdateUntil([&] { return t.Seen("message|700|Bea|um|dois"); }));
         EXPECT_EQ(t.agent->AskList("messages"), std::vector<std::string>{});
         t.Control({"bot", "say", "700", me, "tr\xC3\xAAs"});
         EXPECT_TRUE(t.Eventually([&] { return !t.agent->AskList("messages").empty(); }));
         for (int i = 0; i < 5; ++i)
             for (const std::string& line : t.agent->AskList("update"))
                 EXPECT_EQ(line.rfind("message|", 0), std::string::npos) << line;
     }},
    {"NothingIsPromisedToASessionThatIsOver",
     [](GameKitTest& t) {
         t.StartAuthorized();
         EXPECT_EQ(t.agent->Ask({"stop"}), "ok");
         EXPECT_TRUE(t.UpdateUntil([&] { return t.Seen("session_over|stopped|"); }));
         const std::string number = t.Post("ptt_on");
         EXPECT_TRUE(
             t.UpdateUntil([&] { return t.Seen("outcome|" + number + "|session_over|ptt_on"); }));
         EXPECT_EQ(t.agent->Ask({"send", "ptt_off", "1000"}), "false");
         EXPECT_EQ(t.Data("cmd.txt"), "");
         EXPECT_EQ(t.agent->Ask({"end_reason"}), "stopped");
     }},
    {"ABridgeThatCannotStartEndsTheWaitAtOnceWithItsReason",
     [](GameKitTest& t) {
         // Another bridge serves the folder: this one ends with exit code 2.
         std::vector<std::string> args = {"127.0.0.1", std::to_string(t.sim.port), "10333", "0",
                                          "Outra"};
         fs::create_directories(t.Game());
         ChildProcess other =
             StartBridge(t.kit() == Kit::CWindows ? BridgeBuild::Windows : BridgeBuild::Native,
                         t.bridgeProgram, t.Game(), args);
         ASSERT_TRUE(WaitUntil(
             [&] { return t.Data("state.txt").find("authorized") != std::string::npos; }, 30s));
         t.Start();
         const auto began = std::chrono::steady_clock::now();
         EXPECT_EQ(t.agent->Ask({"wait_status", kStatusAuthorized, "60000"}), "false");
         EXPECT_LT(std::chrono::steady_clock::now() - began, 30s);
         EXPECT_TRUE(t.UpdateUntil([&] { return t.Seen("session_over|already_running|"); }));
         EXPECT_EQ(t.agent->Ask({"end_reason"}), "already_running");
         StopProcess(other);
     }},
    {"AProgramThatCannotRunIsAnErrorAndNotStarted",
     [](GameKitTest& t) {
         t.bridgeProgram = t.dir.File("no-such-bridge");
         EXPECT_EQ(t.agent->Ask({"start", t.Game(), t.bridgeProgram}).rfind("error ", 0), 0u);
         EXPECT_TRUE(t.UpdateUntil([&] {
             return std::any_of(t.events.begin(), t.events.end(), [](const std::string& e) {
                 return e.rfind("session_over|not_started|", 0) == 0;
             });
         }));
         EXPECT_EQ(t.agent->Ask({"end_reason"}), "not_started");
     }},
    {"AStartAgainstAnotherServerShowsOnlyItsLists",
     [](GameKitTest& t) {
         t.Control({"channel", "add", "5", "1", "Cinco"});
         t.StartAuthorized();
         EXPECT_TRUE(t.Eventually([&] { return t.agent->AskList("channels").size() == 2; }));
         EXPECT_EQ(t.agent->Ask({"stop"}), "ok");
         t.RestartSim();
         t.Control({"channel", "add", "7", "1", "Sete"});
         t.Start();
         // From the first frame on, only this run's lists, or none yet.
         EXPECT_TRUE(t.UpdateUntil([&] {
             const auto channels = t.agent->AskList("channels");
             const auto users = t.agent->AskList("users");
             EXPECT_EQ(std::count(channels.begin(), channels.end(), "5|Cinco|1"), 0);
             EXPECT_LE(users.size(), 1u);
             return std::count(channels.begin(), channels.end(), "7|Sete|1") == 1;
         }));
     }},
    {"TheSessionComesBackByItselfAndJoinsAgain",
     [](GameKitTest& t) {
         t.Control({"channel", "add", "6", "1", "Reservado", "segredo"});
         t.agent->Ask({"configure", "restart", "1"});
         t.StartAuthorized();
         const std::string join = t.Post("joinpath Reservado|segredo");
         EXPECT_TRUE(t.UpdateUntil([&] { return t.agent->Ask({"outcome", join}) == "done"; }));
         StopProcess(t.sim.process);
         EXPECT_TRUE(t.UpdateUntil([&] { return t.Seen("restarting|1|1000"); }));
         EXPECT_TRUE(
             t.Seen("session_over|" + std::string(kOverLinkLost) + "|" + kConnectionFailedText));
         EXPECT_EQ(t.agent->Ask({"status"}), "");
         const std::string ptt = t.Post("ptt_on");
         t.RestartSim();
         t.Control({"channel", "add", "6", "1", "Reservado", "segredo"});
         EXPECT_TRUE(t.UpdateUntil(
             [&] {
                 return t.agent->Ask({"outcome", ptt}) != "pending";
             },
             90s));
         EXPECT_EQ(t.agent->Ask({"outcome", ptt}), "done");
         // The join came again, as written, before the game's own command.
         const auto rejoined =
             std::find_if(t.events.begin(), t.events.end(), [&](const std::string& e) {
                 return e.rfind("outcome|", 0) == 0 &&
                        e != "outcome|" + join + "|done|joinpath Reservado|segredo" &&
                        e.find("|done|joinpath Reservado|segredo") != std::string::npos;
             });
         EXPECT_LT(rejoined - t.events.begin(),
                   std::find(t.events.begin(), t.events.end(), "outcome|" + ptt + "|done|ptt_on") -
                       t.events.begin());
         EXPECT_EQ(t.agent->Ask({"state", "mychannelid"}), "6");
     }},
    {"TheBridgeGetsItsAccountAndNothingMoreOfTheGames",
     [](GameKitTest& t) {
         t.Control({"account", "add", "ana", "segredo-ana"});
         t.Control({"account", "add", "bia", "outra"});
         // The game gives no password: the one it inherited must not log in.
         t.agent->Ask({"configure", "username", "ana"});
         t.Start();
         EXPECT_TRUE(
             t.UpdateUntil([&] { return t.agent->Ask({"end_reason"}) == "login_refused"; }));
         t.agent->Ask({"configure", "username", "bia"});
         t.agent->Ask({"configure", "password", "outra"});
         t.StartAuthorized();
         EXPECT_EQ(t.agent->Ask({"env", "VOICEBRIDGE_PASSWORD"}), "segredo-ana");
         if (t.kit() != Kit::CWindows) {
             const std::string lock = t.Data("voicebridge.lock");
             const std::string commandLine =
                 ReadTestFile("/proc/" + lock.substr(0, lock.find('\n')) + "/cmdline");
             EXPECT_NE(commandLine.find("bia"), std::string::npos);
             EXPECT_EQ(commandLine.find("outra"), std::string::npos);
             // Nor any descriptor of the game's, such as the agent's streams.
             const std::string fds = "/proc/" + lock.substr(0, lock.find('\n')) + "/fd";
             const std::vector<std::string> games = t.agent->Pipes();
             ASSERT_EQ(games.size(), 2u);
             for (const auto& fd : fs::directory_iterator(fds)) {
                 const std::string target = fs::read_symlink(fd.path()).string();
                 EXPECT_EQ(std::count(games.begin(), games.end(), target), 0) << fd.path();
             }
         }
     }},
    {"AKilledGameTakesItsBridgeAlong",
     [](GameKitTest& t) {
         t.StartAuthorized();
         t.agent->Kill();
         // The next game in that folder gets it, once the orphan has gone.
         t.agent = std::make_unique<Agent>(t.argv, t.dir.path, t.environment,
                                           t.dir.File("agent-errors.txt"));
         EXPECT_TRUE(WaitUntil(
             [&] {
                 t.Start();
                 return t.agent->Ask({"wait_status", kStatusAuthorized, "5000"}) == "true";
             },
             30s));
     }},
    {"TheSampleGameRunsAsWritten",
     [](GameKitTest& t) {
         t.RestartSim({"--scenario", VOICESIM_DEMO_SCENARIO});
         Agent sample(t.sampleArgv(), t.dir.path, t.environment, t.dir.File("sample-errors.txt"));
         // Each line as a pattern: the IDs and counts are the server's.
         const std::vector<std::string> expected = {"authorized as [0-9]+",
                                                    "[0-9]+ users, [0-9]+ channels",
                                                    "joinpath Reservado\\|segredo: done",
                                                    "Eco says: Ol\xC3\xA1, Eco",
                                                    "ptt_on: done",
                                                    "ptt_off: done",
                                                    "leave: done",
                                                    "waiting for the server to come back",
                                                    "session over: link_lost",
                                                    "restarting: attempt 1 in 1000 ms",
                                                    "authorized again",
                                                    "stopped"};
         std::vector<std::string> lines;
         for (std::string line; lines.size() < expected.size() && !sample.Ended();) {
             line = sample.NextLine();
             if (line.rfind("restarting: attempt", 0) == 0 && !lines.empty() &&
                 lines.back().rfind("restarting:", 0) == 0)
                 continue;  // a slow server's further tries
             lines.push_back(line);
             if (line == "waiting for the server to come back")
                 t.RestartSim({"--scenario", VOICESIM_DEMO_SCENARIO});
         }
         ASSERT_EQ(lines.size(), expected.size()) << ::testing::PrintToString(lines);
         for (size_t i = 0; i < expected.size(); ++i)
             EXPECT_TRUE(std::regex_match(lines[i], std::regex(expected[i]))) << lines[i];
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
