// What the bridge process costs over a window, idle or under load: CPU
// time, wake-ups and resident memory, and under Wine what Wine's own
// processes of the prefix add.
#pragma once

#include <string>

#include "bench_session.h"

struct CostResult {
    bool ok = false;
    double seconds = 0;     // wall time of the window
    double cpuSeconds = 0;  // the bridge process
    long long contextSwitches = 0;
    long rssKb = 0;  // at the end of the window
    long hwmKb = 0;
    // Under Wine: Wine's processes serving the prefix, summed.
    int helperCount = 0;
    std::string helperNames;
    double helperCpuSeconds = 0;
    long long helperContextSwitches = 0;
    long helperRssKb = 0;
};

// Measures over `seconds`. `winePrefix` names the prefix whose helper
// processes are counted for a Wine session.
CostResult MeasureCost(const BenchSession& session, double seconds, const std::string& winePrefix);
