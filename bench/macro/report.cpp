// Markdown tables. Every figure comes from the measurements passed in; the
// targets are printed beside them and judged, never enforced.
#include "report.h"

#include <cmath>
#include <map>

#include "stats.h"

namespace {

const double kLatencyMedianTargetMs = 100;
const double kLatencyP99TargetMs = 200;
const int kBurstTargetUsers = 1000;
const double kBurstTargetMs = 1000;
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

// Least squares without intercept: processing time = a * events + b *
// lines written. Measured from the first change of users.txt, so the
// bridge's loop phase at the start is not in it.
struct CostModel {
    bool ok = false;
    double perEventMs = 0;
    double perLineMs = 0;
};

CostModel FitCostModel(const std::vector<BurstResult>& bursts) {
    double ee = 0, el = 0, ll = 0, et = 0, lt = 0;
    for (const BurstResult& burst : bursts) {
        if (!burst.complete) continue;
        const double e = burst.users + burst.channels;
        const double l = LinesWrittenPerEvent(burst.users, burst.channels);
        ee += e * e;
        el += e * l;
        ll += l * l;
        et += e * burst.processingMs;
        lt += l * burst.processingMs;
    }
    const double determinant = ee * ll - el * el;
    CostModel model;
    if (std::fabs(determinant) < 1e-9 * ee * ll) return model;  // one N only
    model.perEventMs = (et * ll - lt * el) / determinant;
    model.perLineMs = (ee * lt - el * et) / determinant;
    model.ok = true;
    return model;
}

}  // namespace

void PrintLatencyTable(std::ostream& out, const std::vector<BuildResults>& builds) {
    out << "| bridge | commands | median | p95 | p99 | max | median ≤ "
        << Fixed(kLatencyMedianTargetMs, 0) << " ms | p99 ≤ " << Fixed(kLatencyP99TargetMs, 0)
        << " ms |\n|---|---|---|---|---|---|---|---|\n";
    for (const BuildResults& build : builds) {
        const std::vector<double>& samples = build.latency.samplesMs;
        const double median = Median(samples), p99 = Percentile(samples, 99);
        out << "| " << build.name << " | " << samples.size();
        if (build.latency.timeouts > 0) out << " (+" << build.latency.timeouts << " lost)";
        out << " | " << Fixed(median) << " ms | " << Fixed(Percentile(samples, 95)) << " ms | "
            << Fixed(p99) << " ms | " << Fixed(Maximum(samples)) << " ms | "
            << Judge(median <= kLatencyMedianTargetMs) << " | " << Judge(p99 <= kLatencyP99TargetMs)
            << " |\n";
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
           "until channels.txt holds every channel too (the bridge takes the bots first, so this "
           "is the whole burst published). \"Bridge at work\" is from the first change of "
           "users.txt until the whole burst is published, and \"per event\" divides it by N + "
           "M. \"Command taken\" is how long a command written right after the bulk commands "
           "waits before the bridge takes it. The target is judged on the slowest run.\n\n";
    out << "| bridge | N bots | M channels | runs | users.txt complete | all published | bridge "
           "at work | per event (µs) | command taken | "
        << Fixed(kBurstTargetUsers, 0) << " users ≤ " << Fixed(kBurstTargetMs, 0)
        << " ms |\n|---|---|---|---|---|---|---|---|---|---|\n";
    for (const BuildResults& build : builds) {
        for (const auto& [users, runs] : ByUsers(build.bursts)) {
            const int channels = runs.front().channels;
            const double events = users + channels;
            const std::vector<double> published =
                Column(runs, [](const BurstResult& b) { return b.completeMs; });
            std::string target;
            if (users == kBurstTargetUsers)
                target = build.name == "native" ? Judge(Maximum(published) <= kBurstTargetMs)
                                                : "(native target)";
            out << "| " << build.name << " | " << users << " | " << channels << " | " << runs.size()
                << " | "
                << MedianAndRange(Column(runs, [](const BurstResult& b) { return b.usersMs; }))
                << " | " << MedianAndRange(published) << " | "
                << MedianAndRange(Column(runs, [](const BurstResult& b) { return b.processingMs; }))
                << " | "
                << MedianAndRange(
                       Column(runs,
                              [&](const BurstResult& b) { return b.processingMs * 1000 / events; }),
                       0)
                << " | "
                << MedianAndRange(
                       Column(runs, [](const BurstResult& b) { return b.commandWaitMs; }))
                << " | " << target << " |\n";
        }
    }

    out << "\nGrowth of the bridge's working time when N grows fourfold (medians): a time ratio "
           "of 4 (exponent 1) is linear, 16 (exponent 2) quadratic.\n\n"
        << "| bridge | N | time ratio | exponent |\n|---|---|---|---|\n";
    for (const BuildResults& build : builds) {
        const auto groups = ByUsers(build.bursts);
        for (auto it = groups.begin(); it != groups.end() && std::next(it) != groups.end(); ++it) {
            const auto next = std::next(it);
            const double before =
                Median(Column(it->second, [](const BurstResult& b) { return b.processingMs; }));
            const double after =
                Median(Column(next->second, [](const BurstResult& b) { return b.processingMs; }));
            const double ratio = after / before;
            const double exponent =
                std::log(ratio) / std::log(double(next->first) / double(it->first));
            out << "| " << build.name << " | " << it->first << " → " << next->first << " | "
                << Fixed(ratio) << " | " << Fixed(exponent, 2) << " |\n";
        }
    }

    out << "\nWhere the time goes, fitted over all runs of a build: working time = a × events + "
           "b × lines written. The bridge writes the whole users or channels file after each "
           "event, so the lines written, (N² + M²) / 2 and a little more, grow with the square "
           "of N; a is what every event costs whatever the file's length (the library, the "
           "handler, and the file replace itself). Publishing once per drain would write each "
           "line once: the estimate below is a × events + b × (N + M + 2). It still counts a "
           "replace for every event in a, so it is an upper bound; the micro-benchmark "
           "DirectoryBurst measures the publishing alone both ways.\n\n"
        << "| bridge | a (µs per event) | b (ns per line) | N | measured | fitted | of which "
           "whole-file rewrites (b × lines) | once per drain (estimate, at most) "
           "|\n|---|---|---|---|---|---|---|---|\n";
    for (const BuildResults& build : builds) {
        const CostModel model = FitCostModel(build.bursts);
        if (!model.ok) {
            out << "| " << build.name << " | one N only: no fit | | | | | | |\n";
            continue;
        }
        for (const auto& [users, runs] : ByUsers(build.bursts)) {
            const int channels = runs.front().channels;
            const double events = users + channels;
            const double rewrites = model.perLineMs * LinesWrittenPerEvent(users, channels);
            const double fitted = model.perEventMs * events + rewrites;
            const double once = model.perEventMs * events + model.perLineMs * (events + 2);
            out << "| " << build.name << " | " << Fixed(model.perEventMs * 1000) << " | "
                << Fixed(model.perLineMs * 1e6) << " | " << users << " | "
                << Fixed(Median(Column(runs, [](const BurstResult& b) { return b.processingMs; })))
                << " ms | " << Fixed(fitted) << " ms | " << Fixed(rewrites) << " ms ("
                << Fixed(100 * rewrites / fitted, 0) << " %) | " << Fixed(once) << " ms |\n";
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
