// bridge_bench: runs the real bridge, natively and voicebridge.exe under
// Wine, against voicesim over loopback as a game would, and prints the
// results as markdown. --short runs a little of everything, only to show
// that it all still works; --commands and --seconds give any plan more (or
// fewer) idle commands of each kind and longer cost windows. The exit
// status tells whether every measurement could be taken; no timing ever
// makes it fail. --kits measures the game kits' frames alone.
//
//   bridge_bench [--short] [--kits] [--commands N] [--seconds S] [--wine-prefix DIR]
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_session.h"
#include "join_latency.h"
#include "kits.h"
#include "load.h"
#include "report.h"
#include "stats.h"

namespace {

struct BurstPlan {
    int users;
    int runs;
};

struct Plan {
    double settleSeconds;  // after the login, before the idle window
    double idleSeconds;
    double loadSeconds;  // the cost window during 25 messages a second
    int nativeCommands;  // ptt_on/ptt_off, idle
    int wineCommands;
    int joinCommands;
    int chunkedCommands;
    int loadedCommands;
    std::vector<BurstPlan> nativeBursts;
    std::vector<BurstPlan> wineBursts;
};

const Plan kFullPlan = {5,
                        60,
                        20,
                        300,
                        300,
                        200,
                        300,
                        100,
                        {{250, 5}, {1000, 5}, {4000, 3}, {16000, 2}, {50000, 1}},
                        {{250, 3}, {1000, 3}, {4000, 2}, {16000, 1}}};
// Short runs take their bursts in the session already up, one small each.
const Plan kShortPlan = {0.5, 2, 2, 10, 6, 6, 5, 5, {{100, 1}}, {{100, 1}}};

// IDs well above what voicesim hands out to clients, for bots and channels:
// the steady loads and the joinid channels below the bursts.
const int kFirstLoadId = 500;
const int kFirstJoinId = 520;
const int kFirstBurstId = 1000;

void Progress(const std::string& text) { std::cerr << "bench: " << text << std::endl; }

bool RunBursts(BenchSession* reuse, BridgeBuild build, const std::vector<BurstPlan>& plan,
               std::mt19937& random, std::vector<BurstResult>& results) {
    for (const BurstPlan& step : plan) {
        for (int run = 0; run < step.runs; ++run) {
            Progress(std::string(build == BridgeBuild::Windows ? "Wine" : "native") + " burst of " +
                     std::to_string(step.users) + " bots, run " + std::to_string(run + 1) + " of " +
                     std::to_string(step.runs));
            std::string error;
            BenchSession fresh(build);
            BenchSession* session = reuse;
            if (session == nullptr) {
                if (!StartSession(fresh, error)) {
                    std::cerr << "bench: " << error << std::endl;
                    return false;
                }
                session = &fresh;
            }
            results.push_back(MeasureBurst(*session, step.users, kFirstBurstId, random, error));
            if (!results.back().complete) {
                std::cerr << "bench: " << error << std::endl;
                return false;
            }
        }
    }
    return true;
}

// Idle first, while nothing has happened since the login, then latency;
// in a short run the bursts follow in the same session.
bool RunBuild(BridgeBuild build, const Plan& plan, bool shortRun, const std::string& winePrefix,
              std::mt19937& random, BuildResults& results) {
    const bool wine = build == BridgeBuild::Windows;
    results.name = wine ? "Wine" : "native";
    BenchSession session(build);
    std::string error;
    Progress("starting the " + results.name + " bridge");
    if (!StartSession(session, error)) {
        std::cerr << "bench: " << error << std::endl;
        return false;
    }
    // Wine's own services may still be coming up right after the login.
    std::this_thread::sleep_for(std::chrono::duration<double>(plan.settleSeconds));
    Progress(results.name + " idle for " + Fixed(plan.idleSeconds, 0) + " s");
    results.idle = MeasureCost(session, plan.idleSeconds, winePrefix);
    const std::string dataDir = session.DataDir();
    const int commands = wine ? plan.wineCommands : plan.nativeCommands;
    Progress(results.name + " command latency, " + std::to_string(commands) + " ptt and " +
             std::to_string(plan.joinCommands) + " joinid commands");
    results.latency = MeasureCommandLatency(dataDir, PushToTalkCommands(), commands, random);
    results.joinLatency = MeasureJoinLatency(session, plan.joinCommands, kFirstJoinId, random);
    Progress(results.name + " under load: " + Fixed(plan.loadSeconds, 0) + " s of cost, " +
             std::to_string(plan.loadedCommands) + " commands each");
    // The cost window before the commands: what the stream alone costs.
    const auto underMessages = [&] {
        results.messagesCost = MeasureCost(session, plan.loadSeconds, winePrefix);
        results.messagesLatency =
            MeasureCommandLatency(dataDir, PushToTalkCommands(), plan.loadedCommands, random);
    };
    const auto underDirectoryEvents = [&] {
        results.directoryLatency =
            MeasureCommandLatency(dataDir, PushToTalkCommands(), plan.loadedCommands, random);
    };
    const bool loaded =
        RunUnderLoad(session, SteadyLoad::Messages, kFirstLoadId, underMessages) &&
        RunUnderLoad(session, SteadyLoad::DirectoryEvents, kFirstLoadId + 10, underDirectoryEvents);
    Progress(results.name + " two-piece commands, " + std::to_string(plan.chunkedCommands));
    results.chunked = MeasureChunkedCommands(session, plan.chunkedCommands, random);
    const LatencyResult* latencies[] = {&results.latency, &results.joinLatency,
                                        &results.messagesLatency, &results.directoryLatency};
    const bool lost = std::any_of(std::begin(latencies), std::end(latencies),
                                  [](const LatencyResult* l) { return l->timeouts > 0; });
    if (!loaded || lost || !results.idle.ok || !results.messagesCost.ok ||
        !results.chunked.written) {
        std::cerr << "bench: " << results.name << ": a cost not measured or commands lost"
                  << std::endl;
        return false;
    }
    if (!shortRun) return true;
    return RunBursts(&session, build, wine ? plan.wineBursts : plan.nativeBursts, random,
                     results.bursts);
}

std::string DefaultWinePrefix() {
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix != nullptr && *prefix != '\0') return prefix;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.wine";
}

}  // namespace

int main(int argc, char** argv) {
    bool shortRun = false;
    bool kitsOnly = false;
    int commands = 0;
    double seconds = 0;
    std::string winePrefix = DefaultWinePrefix();
    for (int i = 1; i < argc; ++i) {
        const bool valued = i + 1 < argc;
        if (std::strcmp(argv[i], "--short") == 0) {
            shortRun = true;
        } else if (std::strcmp(argv[i], "--commands") == 0 && valued) {
            commands = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--seconds") == 0 && valued) {
            seconds = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--kits") == 0) {
            kitsOnly = true;
        } else if (std::strcmp(argv[i], "--wine-prefix") == 0 && valued) {
            winePrefix = argv[++i];
        } else {
            std::cerr << "usage: bridge_bench [--short] [--kits] [--commands N] [--seconds S] "
                         "[--wine-prefix DIR]"
                      << std::endl;
            return 2;
        }
    }
    Plan plan = shortRun ? kShortPlan : kFullPlan;
    if (commands > 0) plan.nativeCommands = plan.wineCommands = plan.joinCommands = commands;
    if (seconds > 0) plan.idleSeconds = plan.loadSeconds = seconds;
    // A fixed seed: the pauses differ between commands, not between runs.
    std::mt19937 random(20240601);

    const KitPlan kitPlan = shortRun ? KitPlan{1000, 100, 10} : KitPlan{10000, 1000, 200};
    const std::vector<KitResult> kits = MeasureKits(kitPlan);
    bool ok = true;
    for (const KitResult& kit : kits) ok = ok && (kit.error.empty() || kit.error == "not built");
    if (kitsOnly) {
        std::cout << "### Game kits: the cost of a frame\n\n";
        PrintKitTable(std::cout, kits);
        return ok ? 0 : 1;
    }

    std::vector<BuildResults> builds(2);
    ok = ok && RunBuild(BridgeBuild::Native, plan, shortRun, winePrefix, random, builds[0]) &&
         RunBuild(BridgeBuild::Windows, plan, shortRun, winePrefix, random, builds[1]);
    if (ok && !shortRun) {
        ok = RunBursts(nullptr, BridgeBuild::Native, plan.nativeBursts, random, builds[0].bursts) &&
             RunBursts(nullptr, BridgeBuild::Windows, plan.wineBursts, random, builds[1].bursts);
    }

    std::cout << "### Command latency\n\n";
    PrintLatencyTable(std::cout, builds);
    std::cout << "\n### Commands written in two pieces\n\n";
    PrintChunkedTable(std::cout, builds);
    std::cout << "\n### Event bursts\n\n";
    PrintBurstTables(std::cout, builds);
    std::cout << "\n### Cost of the bridge process, idle and under load\n\n";
    PrintCostTable(std::cout, builds);
    std::cout << "\n### Game kits: the cost of a frame\n\n";
    PrintKitTable(std::cout, kits);
    return ok ? 0 : 1;
}
