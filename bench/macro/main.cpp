// bridge_bench: runs the real bridge, natively and voicebridge.exe under
// Wine, against voicesim over loopback as a game would, and prints the
// results as markdown. --short runs a little of everything, only to show
// that it all still works. The exit status tells whether every measurement
// could be taken; no timing ever makes it fail.
//
//   bridge_bench [--short] [--wine-prefix DIR]
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_session.h"
#include "load.h"
#include "report.h"

namespace {

struct BurstPlan {
    int users;
    int runs;
};

struct Plan {
    double settleSeconds;  // after the login, before the idle window
    double idleSeconds;
    int nativeCommands;
    int wineCommands;
    int chunkedCommands;
    int loadedCommands;
    std::vector<BurstPlan> nativeBursts;
    std::vector<BurstPlan> wineBursts;
};

const Plan kFullPlan = {5,
                        60,
                        300,
                        300,
                        300,
                        100,
                        {{250, 5}, {1000, 5}, {4000, 3}, {16000, 2}, {50000, 1}},
                        {{250, 3}, {1000, 3}, {4000, 2}, {16000, 1}}};
// Short runs take their bursts in the session already up, one small each.
const Plan kShortPlan = {0.5, 2, 10, 6, 5, 5, {{100, 1}}, {{100, 1}}};

// IDs well above what voicesim hands out to clients, for bots and channels:
// the steady loads below the bursts.
const int kFirstLoadId = 500;
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
    Progress(results.name + " idle for " + std::to_string(static_cast<int>(plan.idleSeconds)) +
             " s");
    results.idle = MeasureIdle(session, plan.idleSeconds, winePrefix);
    const int commands = wine ? plan.wineCommands : plan.nativeCommands;
    Progress(results.name + " command latency, " + std::to_string(commands) + " commands");
    results.latency = MeasureCommandLatency(session.DataDir(), commands, random);
    Progress(results.name + " command latency under load, " + std::to_string(plan.loadedCommands) +
             " commands each");
    results.messagesLatency = MeasureLatencyUnderLoad(session, SteadyLoad::Messages,
                                                      plan.loadedCommands, kFirstLoadId, random);
    results.directoryLatency = MeasureLatencyUnderLoad(
        session, SteadyLoad::DirectoryEvents, plan.loadedCommands, kFirstLoadId + 10, random);
    Progress(results.name + " two-piece commands, " + std::to_string(plan.chunkedCommands));
    results.chunked = MeasureChunkedCommands(session, plan.chunkedCommands, random);
    if (!results.idle.ok || results.latency.timeouts > 0 || !results.chunked.written ||
        results.messagesLatency.timeouts > 0 || results.directoryLatency.timeouts > 0) {
        std::cerr << "bench: " << results.name << ": idle not measured or commands lost"
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
    std::string winePrefix = DefaultWinePrefix();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--short") == 0) {
            shortRun = true;
        } else if (std::strcmp(argv[i], "--wine-prefix") == 0 && i + 1 < argc) {
            winePrefix = argv[++i];
        } else {
            std::cerr << "usage: bridge_bench [--short] [--wine-prefix DIR]" << std::endl;
            return 2;
        }
    }
    const Plan& plan = shortRun ? kShortPlan : kFullPlan;
    // A fixed seed: the pauses differ between commands, not between runs.
    std::mt19937 random(20240601);

    std::vector<BuildResults> builds(2);
    bool ok = RunBuild(BridgeBuild::Native, plan, shortRun, winePrefix, random, builds[0]) &&
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
    std::cout << "\n### Idle cost\n\n";
    PrintIdleTable(std::cout, builds);
    return ok ? 0 : 1;
}
