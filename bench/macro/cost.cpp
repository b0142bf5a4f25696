// Cost from /proc: the CPU time used and the context switches made between
// two readings, over the wall time between them.
#include "cost.h"

#include <chrono>
#include <map>
#include <thread>

#include "proc_stats.h"

CostResult MeasureCost(const BenchSession& session, double seconds, const std::string& winePrefix) {
    CostResult result;
    const int pid = session.bridge.pid;
    const bool wine = session.build == BridgeBuild::Windows;
    std::map<int, ProcSample> helpersBefore;
    if (wine)
        for (int helper : WinePrefixProcesses(winePrefix, pid))
            helpersBefore[helper] = ReadProcSample(helper);

    const auto start = std::chrono::steady_clock::now();
    const ProcSample before = ReadProcSample(pid);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const ProcSample after = ReadProcSample(pid);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!before.ok || !after.ok) return result;
    result.cpuSeconds = after.cpuSeconds - before.cpuSeconds;
    result.contextSwitches = after.contextSwitches - before.contextSwitches;
    result.rssKb = after.rssKb;
    result.hwmKb = after.hwmKb;

    if (wine) {
        for (int helper : WinePrefixProcesses(winePrefix, pid)) {
            const ProcSample sample = ReadProcSample(helper);
            if (!sample.ok) continue;
            // A helper that appeared during the window counts whole.
            const auto earlier = helpersBefore.find(helper);
            const ProcSample first =
                earlier != helpersBefore.end() ? earlier->second : ProcSample();
            result.helperCpuSeconds += sample.cpuSeconds - first.cpuSeconds;
            result.helperContextSwitches += sample.contextSwitches - first.contextSwitches;
            result.helperRssKb += sample.rssKb;
            ++result.helperCount;
            result.helperNames += (result.helperNames.empty() ? "" : ", ") + sample.name;
        }
    }
    result.ok = true;
    return result;
}
