// Markdown tables. Every figure comes from the measurements passed in; the
// targets are printed beside them and judged, never enforced.
#include "report.h"

#include <cmath>
#include <map>

#include "stats.h"

namespace {

const double kLatencyMedianTargetMs = 100;
const double kLatencyP99TargetMs = 200;
const double kLoadedP99TargetMs = 300;
const double kGrowthTarget = 4.5;
const double kBigBurstBytesTarget = 50e6;

// Fully published within (ms), by N: native, then Wine (0: no target).
struct BurstTarget {
    int users;
    double nativeMs, wineMs;
};
const BurstTarget kBurstTargets[] = {{1000, 120, 250}, {4000, 450, 1000}, {50000, 5000, 0}};
const double kIdleCpuTargetPercent = 0.5;
const double kIdleMemoryTargetKb = 8 * 1024;

std::string Judge(bool met) { return met ? "met" : "**not met**"; }

std::string Mib(long kb) { return Fixed(static_cast<double>(kb) / 1024) + " MiB"; }

// The bursts of one build grouped by N, in increasing N.
std::map<int, std::vector<BurstResult>> ByUsers(const std::vector<BurstResult>& bursts) {
    std::map<int, std::vector<BurstResult>> groups;
    for (const BurstResult& burst : bursts)
        if (burst.complete) groups[burst.users].push_back(burst);
    return groups;
}

template <class Field>
std::vector<double> Column(const std::vector<BurstResult>& bursts, Field field) {
    std::vector<double> values;
    for (const BurstResult& burst : bursts) values.push_back(field(burst));
    return values;
}

std::string BurstJudgement(const std::string& build, int users, double slowestMs) {
    for (const BurstTarget& target : kBurstTargets) {
        if (target.users != users) continue;
        const double limit = build == "native" ? target.nativeMs : target.wineMs;
        if (limit == 0) return "";
        return "≤ " + Fixed(limit, 0) + " ms: " + Judge(slowestMs <= limit);
    }
    return "";
}

void LatencyRow(std::ostream& out, const std::string& build, const std::string& condition,
                const std::vector<double>& samples, int lost, const std::string& judgement) {
    out << "| " << build << " | " << condition << " | " << samples.size();
    if (lost > 0) out << " (+" << lost << " lost)";
    out << " | " << Fixed(Median(samples)) << " ms | " << Fixed(Percentile(samples, 99)) << " ms | "
        << Fixed(Maximum(samples)) << " ms | " << judgement << " |\n";
}

}  // namespace

void PrintLatencyTable(std::ostream& out, const std::vector<BuildResults>& builds) {
    out << "From writing data/cmd.txt until state.txt shows the command's effect (ptt_on and "
           "ptt_off alternating, each written at a random moment of the loop turn). Under load "
           "the server sends the bridge a steady stream all the while; during a burst it is the "
           "one command written right after the bulk commands, once per run.\n\n"
        << "| bridge | while | commands | median | p99 | max | target |\n"
           "|---|---|---|---|---|---|---|\n";
    for (const BuildResults& build : builds) {
        const LatencyResult& idle = build.latency;
        const double median = Median(idle.samplesMs), p99 = Percentile(idle.samplesMs, 99);
        LatencyRow(out, build.name, "idle", idle.samplesMs, idle.timeouts,
                   "median ≤ " + Fixed(kLatencyMedianTargetMs, 0) +
                       " ms: " + Judge(median <= kLatencyMedianTargetMs) + ", p99 ≤ " +
                       Fixed(kLatencyP99TargetMs, 0) + " ms: " + Judge(p99 <= kLatencyP99TargetMs));
        const std::pair<const char*, const LatencyResult*> loads[] = {
            {"25 messages/s", &build.messagesLatency},
            {"40 directory events/s", &build.directoryLatency}};
        for (const auto& [condition, result] : loads) {
            if (result->samplesMs.empty()) continue;
            LatencyRow(out, build.name, condition, result->samplesMs, result->timeouts,
                       "p99 ≤ " + Fixed(kLoadedP99TargetMs, 0) + " ms: " +
                           Judge(Percentile(result->samplesMs, 99) <= kLoadedP99TargetMs));
        }
        for (const auto& [users, runs] : ByUsers(build.bursts)) {
            if (users != 1000 && users != 4000) continue;
            LatencyRow(out, build.name, "a " + std::to_string(users) + "-user burst",
                       Column(runs, [](const BurstResult& b) { return b.commandWaitMs; }), 0, "");
        }
    }
}

void PrintChunkedTable(std::ostream& out, const std::vector<BuildResults>& builds) {
    out << "Each command written in two pieces 0 to 20 ms apart, at a random moment of the "
           "loop turn: natively by a POSIX writer, under Wine by a Windows program with the C "
           "runtime. Counted in the debug log, where the bridge logs each command it runs.\n\n"
           "| bridge | commands | run whole | run in part | lost | none in part, none lost |\n"
           "|---|---|---|---|---|---|\n";
    for (const BuildResults& build : builds) {
        const ChunkedResult& c = build.chunked;
        const int lost = c.commands - c.whole - c.partial;
        out << "| " << build.name << " | " << c.commands << " | " << c.whole << " | " << c.partial
            << " | " << lost << " | " << Judge(c.partial == 0 && lost == 0) << " |\n";
    }
}

void PrintBurstTables(std::ostream& out, const std::vector<BuildResults>& builds) {
    out << "Times in ms, median (min–max) over the runs, each run with a fresh voicesim and "
           "bridge. Counted from the first bulk command: until users.txt holds every bot, and "
           "until channels.txt holds every channel too (the whole burst published), which "
           "includes where in its loop turn the bridge was when the burst came; \"per event\" "
           "divides that by N + M. \"Written\" is what the bridge handed to write calls during "
           "the burst (/proc/PID/io wchar), and VmHWM its resident peak after it. Targets are "
           "judged on the slowest run.\n\n";
    out << "| bridge | N bots | M channels | runs | users.txt complete | all published | per "
           "event (µs) | written | VmHWM | target |\n"
           "|---|---|---|---|---|---|---|---|---|---|\n";
    for (const BuildResults& build : builds) {
        for (const auto& [users, runs] : ByUsers(build.bursts)) {
            const int channels = runs.front().channels;
            const double events = users + channels;
            const std::vector<double> published =
                Column(runs, [](const BurstResult& b) { return b.completeMs; });
            const double written =
                Maximum(Column(runs, [](const BurstResult& b) { return double(b.writtenBytes); }));
            std::string target = BurstJudgement(build.name, users, Maximum(published));
            if (users == 50000 && build.name == "native")
                target += ", ≤ 50 MB written: " + Judge(written <= kBigBurstBytesTarget);
            out << "| " << build.name << " | " << users << " | " << channels << " | " << runs.size()
                << " | "
                << MedianAndRange(Column(runs, [](const BurstResult& b) { return b.usersMs; }))
                << " | " << MedianAndRange(published) << " | "
                << MedianAndRange(
                       Column(runs,
                              [&](const BurstResult& b) { return b.completeMs * 1000 / events; }),
                       0)
                << " | " << Fixed(written / 1e3, 0) << " kB | "
                << Mib(long(
                       Maximum(Column(runs, [](const BurstResult& b) { return double(b.hwmKb); }))))
                << " | " << target << " |\n";
        }
    }

    out << "\nGrowth of the time to publish the whole burst when N grows fourfold (medians): a "
           "time ratio "
           "of 4 (exponent 1) is linear, 16 (exponent 2) quadratic.\n\n"
        << "| bridge | N | time ratio | exponent | target |\n|---|---|---|---|---|\n";
    for (const BuildResults& build : builds) {
        const auto groups = ByUsers(build.bursts);
        for (auto it = groups.begin(); it != groups.end() && std::next(it) != groups.end(); ++it) {
            const auto next = std::next(it);
            const double before =
                Median(Column(it->second, [](const BurstResult& b) { return b.completeMs; }));
            const double after =
                Median(Column(next->second, [](const BurstResult& b) { return b.completeMs; }));
            const double ratio = after / before;
            const double exponent =
                std::log(ratio) / std::log(double(next->first) / double(it->first));
            const std::string target =
                it->first == 4000 && next->first == 16000
                    ? "≤ " + Fixed(kGrowthTarget) + "×: " + Judge(ratio <= kGrowthTarget)
                    : "";
            out << "| " << build.name << " | " << it->first << " → " << next->first << " | "
                << Fixed(ratio) << " | " << Fixed(exponent, 2) << " | " << target << " |\n";
        }
    }
}

void PrintIdleTable(std::ostream& out, const std::vector<BuildResults>& builds) {
    out << "| what was measured | window | CPU time | share of one core | VmRSS | VmHWM | CPU ≤ "
        << Fixed(kIdleCpuTargetPercent) << " % | VmHWM ≤ " << Fixed(kIdleMemoryTargetKb / 1024, 0)
        << " MiB |\n|---|---|---|---|---|---|---|---|\n";
    for (const BuildResults& build : builds) {
        const IdleResult& idle = build.idle;
        if (!idle.ok) {
            out << "| " << build.name << " | not measured | | | | | | |\n";
            continue;
        }
        const bool native = build.name == "native";
        const double percent = idle.cpuSeconds / idle.seconds * 100;
        out << "| " << (native ? "native bridge" : "voicebridge.exe process under Wine") << " | "
            << Fixed(idle.seconds) << " s | " << Fixed(idle.cpuSeconds * 1000, 0) << " ms | "
            << Fixed(percent, 3) << " % | " << Mib(idle.rssKb) << " | " << Mib(idle.hwmKb) << " | "
            << (native ? Judge(percent <= kIdleCpuTargetPercent) : "(native target)") << " | "
            << (native ? Judge(static_cast<double>(idle.hwmKb) <= kIdleMemoryTargetKb)
                       : "(native target)")
            << " |\n";
        if (native) continue;
        const double total = idle.cpuSeconds + idle.helperCpuSeconds;
        out << "| the same with Wine's " << idle.helperCount << " processes of the prefix ("
            << idle.helperNames << ") | " << Fixed(idle.seconds) << " s | "
            << Fixed(total * 1000, 0) << " ms | " << Fixed(total / idle.seconds * 100, 3) << " % | "
            << Mib(idle.rssKb + idle.helperRssKb)
            << " (sum; shared pages counted in each) | | (native target) | (native target) |\n";
    }
}
