// Idle cost from /proc: the CPU time used between two readings, over the
// wall time between them.
#include "idle.h"

#include <chrono>
#include <map>
#include <thread>

#include "proc_stats.h"

IdleResult MeasureIdle(const BenchSession& session, double seconds, const std::string& winePrefix) {
    IdleResult result;
    const int pid = session.bridge.pid;
    const bool wine = session.build == BridgeBuild::Windows;
    std::map<int, double> helpersBefore;
    if (wine)
        for (int helper : WinePrefixProcesses(winePrefix, pid))
            helpersBefore[helper] = ReadProcSample(helper).cpuSeconds;

    const auto start = std::chrono::steady_clock::now();
    const ProcSample before = ReadProcSample(pid);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const ProcSample after = ReadProcSample(pid);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!before.ok || !after.ok) return result;
    result.cpuSeconds = after.cpuSeconds - before.cpuSeconds;
    result.rssKb = after.rssKb;
    result.hwmKb = after.hwmKb;

    if (wine) {
        for (int helper : WinePrefixProcesses(winePrefix, pid)) {
            const ProcSample sample = ReadProcSample(helper);
            if (!sample.ok) continue;
            // A helper that appeared during the window counts whole.
            const auto earlier = helpersBefore.find(helper);
            result.helperCpuSeconds +=
                sample.cpuSeconds - (earlier != helpersBefore.end() ? earlier->second : 0);
            result.helperRssKb += sample.rssKb;
            ++result.helperCount;
            result.helperNames += (result.helperNames.empty() ? "" : ", ") + sample.name;
        }
    }
    result.ok = true;
    return result;
}
