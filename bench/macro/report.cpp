// Markdown tables. Every figure comes from the measurements passed in; the
// targets are printed beside them and judged, never enforced.
#include "report.h"

#include <cmath>
#include <map>

#include "stats.h"

namespace {

// Push-to-talk within a frame, idle: a bare keyword runs on the next look
// at cmd.txt, which comes every few milliseconds.
struct PushToTalkTarget {
    double medianMs, p99Ms;
};
const PushToTalkTarget kNativePushToTalkTarget = {10, 25};
const PushToTalkTarget kWinePushToTalkTarget = {20, 50};
// A command with an argument waits out the settle, then the server's answer.
const double kJoinP99TargetMs = 100;
const double kLoadedP99TargetMs = 300;
const double kGrowthTarget = 4.5;
const double kBigBurstMbTarget = 50;

// Fully published within (ms), by N: native, then Wine (0: no target).
struct BurstTarget {
    int users;
    double nativeMs, wineMs;
};
const BurstTarget kBurstTargets[] = {{1000, 120, 250}, {4000, 450, 1000}, {50000, 5000, 0}};
const double kIdleCpuTargetPercent = 0.5;
// voicebridge.exe alone; Wine's own processes are shown beside it.
const double kWineIdleCpuTargetPercent = 2;
const double kIdleMemoryTargetKb = 8 * 1024;

std::string Judge(bool met) { return met ? "met" : "**not met**"; }

// "p99 ≤ 25 ms: met", or without `what` "≤ 25 ms: met".
std::string Limit(const std::string& what, double limit, const std::string& unit, double value,
                  int decimals = 0) {
    return (what.empty() ? "" : what + " ") + "≤ " + Fixed(limit, decimals) + unit + ": " +
           Judge(value <= limit);
}

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
        return Limit("", limit, " ms", slowestMs);
    }
    return "";
}

void LatencyRow(std::ostream& out, const std::string& build, const std::string& command,
                const std::string& condition, const LatencyResult& result,
                const std::string& judgement) {
    const std::vector<double>& samples = result.samplesMs;
    if (samples.empty()) return;
    out << "| " << build << " | " << command << " | " << condition << " | " << samples.size();
    if (result.timeouts > 0) out << " (+" << result.timeouts << " lost)";
    out << " | " << Fixed(Median(samples)) << " ms | " << Fixed(Percentile(samples, 99)) << " ms | "
        << Fixed(Maximum(samples)) << " ms | " << judgement << " |\n";
}

}  // namespace

void PrintLatencyTable(std::ostream& out, const std::vector<BuildResults>& builds) {
    out << "From writing data/cmd.txt until state.txt shows the command's effect: ptt_on and "
           "ptt_off alternating until its ptt entry changes, joinid alternating between two "
           "channels until its mychannelid does, each written after a random pause of 0 to "
           "199 ms. Under load the server sends the bridge a steady stream all the while; "
           "during a burst it is the one command written right after the bulk commands, once "
           "per run.\n\n"
        << "| bridge | command | while | commands | median | p99 | max | target |\n"
           "|---|---|---|---|---|---|---|---|\n";
    const std::string ptt = "ptt_on/ptt_off";
    for (const BuildResults& build : builds) {
        const std::vector<double>& idle = build.latency.samplesMs;
        const PushToTalkTarget& target =
            build.name == "native" ? kNativePushToTalkTarget : kWinePushToTalkTarget;
        LatencyRow(out, build.name, ptt, "idle", build.latency,
                   Limit("median", target.medianMs, " ms", Median(idle)) + ", " +
                       Limit("p99", target.p99Ms, " ms", Percentile(idle, 99)));
        LatencyRow(
            out, build.name, "joinid", "idle", build.joinLatency,
            Limit("p99", kJoinP99TargetMs, " ms", Percentile(build.joinLatency.samplesMs, 99)));
        const std::pair<const char*, const LatencyResult*> loads[] = {
            {"25 messages/s", &build.messagesLatency},
            {"40 directory events/s", &build.directoryLatency}};
        for (const auto& [condition, result] : loads)
            LatencyRow(out, build.name, ptt, condition, *result,
                       Limit("p99", kLoadedP99TargetMs, " ms", Percentile(result->samplesMs, 99)));
        for (const auto& [users, runs] : ByUsers(build.bursts)) {
            if (users != 1000 && users != 4000) continue;
            LatencyResult waits;
            waits.samplesMs = Column(runs, [](const BurstResult& b) { return b.commandWaitMs; });
            LatencyRow(out, build.name, "ptt_on", "a " + std::to_string(users) + "-user burst",
                       waits, "");
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
           "the burst (/proc/PID/io wchar) and in how many calls (syscw), \"events\" the lines "
           "and bytes events.txt gained, and VmHWM its resident peak after it. Targets are "
           "judged on the slowest run.\n\n";
    out << "| bridge | N bots | M channels | runs | users.txt complete | all published | per "
           "event (µs) | written | events | VmHWM | target |\n"
           "|---|---|---|---|---|---|---|---|---|---|---|\n";
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
                target += ", " + Limit("", kBigBurstMbTarget, " MB written", written / 1e6);
            out << "| " << build.name << " | " << users << " | " << channels << " | " << runs.size()
                << " | "
                << MedianAndRange(Column(runs, [](const BurstResult& b) { return b.usersMs; }))
                << " | " << MedianAndRange(published) << " | "
                << MedianAndRange(
                       Column(runs,
                              [&](const BurstResult& b) { return b.completeMs * 1000 / events; }),
                       0)
                << " | " << Fixed(written / 1e3, 0) << " kB in "
                << Fixed(Maximum(Column(runs,
                                        [](const BurstResult& b) { return double(b.writeCalls); })),
                         0)
                << " writes | "
                << Fixed(Maximum(Column(runs,
                                        [](const BurstResult& b) { return double(b.eventLines); })),
                         0)
                << " lines, "
                << Fixed(Maximum(Column(
                             runs, [](const BurstResult& b) { return double(b.eventBytes); })) /
                             1e3,
                         1)
                << " kB | "
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
            const std::string target = it->first == 4000 && next->first == 16000
                                           ? Limit("", kGrowthTarget, "×", ratio, 1)
                                           : "";
            out << "| " << build.name << " | " << it->first << " → " << next->first << " | "
                << Fixed(ratio) << " | " << Fixed(exponent, 2) << " | " << target << " |\n";
        }
    }
}

void PrintCostTable(std::ostream& out, const std::vector<BuildResults>& builds) {
    out << "CPU time of the process (utime + stime) over the window, and its wake-ups: the "
           "context switches, voluntary and not, of all its threads, per second. Under Wine "
           "the process is voicebridge.exe alone; what Wine's own processes of the prefix "
           "used in the same window is on the row below it, VmRSS summed "
           "with shared pages counted in each.\n\n"
        << "| bridge | while | what was measured | window | CPU time | share of one core | "
           "wake-ups/s | VmRSS | VmHWM | target |\n"
           "|---|---|---|---|---|---|---|---|---|---|\n";
    for (const BuildResults& build : builds) {
        const bool native = build.name == "native";
        const std::pair<const char*, const CostResult*> windows[] = {
            {"idle", &build.idle}, {"25 messages/s", &build.messagesCost}};
        for (const auto& [condition, cost] : windows) {
            const std::string row = "| " + build.name + " | " + condition + " | ";
            if (!cost->ok) {
                out << row << "not measured | | | | | | | |\n";
                continue;
            }
            const double percent = cost->cpuSeconds / cost->seconds * 100;
            std::string target;
            if (condition == std::string("idle"))
                target = native ? Limit("CPU", kIdleCpuTargetPercent, " %", percent, 1) + ", " +
                                      Limit("VmHWM", kIdleMemoryTargetKb / 1024, " MiB",
                                            static_cast<double>(cost->hwmKb) / 1024)
                                : Limit("CPU", kWineIdleCpuTargetPercent, " %", percent);
            out << row << (native ? "voicebridge" : "voicebridge.exe") << " | "
                << Fixed(cost->seconds) << " s | " << Fixed(cost->cpuSeconds * 1000, 0) << " ms | "
                << Fixed(percent, 3) << " % | "
                << Fixed(double(cost->contextSwitches) / cost->seconds) << " | " << Mib(cost->rssKb)
                << " | " << Mib(cost->hwmKb) << " | " << target << " |\n";
            if (native) continue;
            out << row << "added by Wine's " << cost->helperCount << " processes of the prefix ("
                << cost->helperNames << ") | " << Fixed(cost->seconds) << " s | "
                << Fixed(cost->helperCpuSeconds * 1000, 0) << " ms | "
                << Fixed(cost->helperCpuSeconds / cost->seconds * 100, 3) << " % | "
                << Fixed(double(cost->helperContextSwitches) / cost->seconds) << " | "
                << Mib(cost->helperRssKb) << " (sum) | | |\n";
        }
    }
}
