#include "kits.h"

#include <filesystem>
#include <iostream>
#include <sstream>
#include <thread>

#include "bridge_runner.h"
#include "stats.h"
#include "talking_process.h"
#include "voicesim_control.h"

namespace {

struct KitAgent {
    const char* name;
    std::vector<std::string> argv;  // the agent program last
    BridgeBuild build;
    long medianTargetUs;
};

const long kP99TargetUs = 1000;
const long kBurstFrameTargetUs = 5000;
const long kPttP99TargetUs = 50000;
const int kFirstBurstId = 1000;

std::vector<KitAgent> Agents() {
    return {{"C (native)", {GAMEKIT_C_AGENT}, BridgeBuild::Native, 20},
            {"C (Wine)", {"wine", GAMEKIT_C_AGENT_WINDOWS}, BridgeBuild::Windows, 1000},
            {"Python", {"python3", GAMEKIT_PYTHON_AGENT}, BridgeBuild::Native, 150},
            {"C#", {"mono", GAMEKIT_CSHARP_AGENT}, BridgeBuild::Native, 150}};
}

std::string Ask(TalkingProcess& agent, const std::string& request) {
    TellLine(agent, request);
    std::string line;
    ReadLineFrom(agent, line);
    return line;
}

// The value after `name` in an answer of words and numbers.
long Field(const std::string& answer, const std::string& name) {
    std::istringstream words(answer);
    for (std::string word; words >> word;)
        if (word == name && words >> word) return std::atol(word.c_str());
    return -1;
}

void Measure(const KitAgent& kit, const KitPlan& plan, KitResult& result) {
    const std::string bridge = BridgeExecutable(kit.build);
    if (!std::filesystem::exists(kit.argv.back()) || bridge.empty()) {
        result.error = "not built";
        return;
    }
    TempDirectory directory;
    VoiceSim sim = StartVoiceSim(directory.path);
    TalkingProcess agent;
    if (!StartTalking(agent, kit.argv, directory.path, {}, directory.File("agent-errors.txt"))) {
        result.error = "the agent did not start";
        return;
    }
    const std::string tab = "\t";
    const std::string started =
        Ask(agent, "start" + tab + directory.File("game") + tab + bridge + tab + "127.0.0.1" + tab +
                       std::to_string(sim.port) + tab + "10333" + tab + "0" + tab + "Ana");
    if (started != "ok" || Ask(agent, "wait_status\tauthorized\t30000") != "true") {
        result.error = "the bridge did not log in: " + started;
        CloseTalking(agent, "quit", std::chrono::seconds(10));
        return;
    }
    Ask(agent, "frames\t" + std::to_string(plan.frames));  // warm-up
    const std::string idle = Ask(agent, "frames\t" + std::to_string(plan.frames));
    result.idleMedianUs = Field(idle, "median_us");
    result.idleP99Us = Field(idle, "p99_us");
    result.idleMaxUs = Field(idle, "max_us");
    // The burst lands a moment into three seconds of frames.
    std::thread burst([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        SimControlLink link;
        if (!SimControlOpen(link, sim.controlPort)) return;
        SimControlCommand(link, {"bulk", "bots", std::to_string(plan.burstUsers),
                                 std::to_string(kFirstBurstId), "bot"});
        SimControlClose(link);
    });
    const std::string paced = Ask(agent, "paced_frames\t3000");
    burst.join();
    result.burstUsers = plan.burstUsers;
    result.burstFrames = Field(paced, "frames");
    result.burstMaxUs = Field(paced, "max_us");
    const std::string ptt = Ask(agent, "ptt_latency\t" + std::to_string(plan.pttCommands));
    result.pttP50Us = Field(ptt, "p50_us");
    result.pttP99Us = Field(ptt, "p99_us");
    result.pttMaxUs = Field(ptt, "max_us");
    if (result.idleMedianUs < 0 || result.burstMaxUs < 0 || result.pttP99Us < 0)
        result.error = "unanswered: " + idle + " / " + paced + " / " + ptt;
    CloseTalking(agent, "quit", std::chrono::seconds(10));
    StopProcess(sim.process);
}

std::string Ms(long us) { return Fixed(static_cast<double>(us) / 1000) + " ms"; }

std::string Us(long us) { return std::to_string(us) + " µs"; }

std::string Within(long value, long limit) {
    return value <= limit ? "met" : "**not met** (≤ " + Us(limit) + ")";
}

}  // namespace

std::vector<KitResult> MeasureKits(const KitPlan& plan) {
    std::vector<KitResult> results;
    for (const KitAgent& kit : Agents()) {
        std::cerr << "bench: the " << kit.name << " kit's frames" << std::endl;
        results.emplace_back();
        results.back().kit = kit.name;
        Measure(kit, plan, results.back());
    }
    return results;
}

void PrintKitTable(std::ostream& out, const std::vector<KitResult>& kits) {
    out << "| kit | update(), nothing changed: median | p99 | max | slowest update() while a "
           "burst of users is published | ptt posted to state seen: median | p99 | targets |\n"
           "|---|---|---|---|---|---|---|---|\n";
    const std::vector<KitAgent> agents = Agents();
    for (size_t i = 0; i < kits.size(); ++i) {
        const KitResult& kit = kits[i];
        if (!kit.error.empty()) {
            out << "| " << kit.kit << " | " << kit.error << " | | | | | | |\n";
            continue;
        }
        out << "| " << kit.kit << " | " << Us(kit.idleMedianUs) << " | " << Us(kit.idleP99Us)
            << " | " << Us(kit.idleMaxUs) << " | " << Us(kit.burstMaxUs) << " (" << kit.burstFrames
            << " frames, " << kit.burstUsers << " users) | " << Ms(kit.pttP50Us) << " | "
            << Ms(kit.pttP99Us) << " | median ≤ " << Us(agents[i].medianTargetUs) << ": "
            << Within(kit.idleMedianUs, agents[i].medianTargetUs);
        // Wine's own p99 and ptt are shown, judged natively only.
        if (agents[i].build == BridgeBuild::Native)
            out << "; p99 ≤ 1 ms: " << Within(kit.idleP99Us, kP99TargetUs)
                << "; ptt p99 ≤ 50 ms: " << Within(kit.pttP99Us, kPttP99TargetUs);
        out << "; burst frame ≤ 5 ms: " << Within(kit.burstMaxUs, kBurstFrameTargetUs) << " |\n";
    }
}
