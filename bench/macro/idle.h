// Idle cost: CPU time and resident memory of a logged-in bridge that has
// nothing to do.
#pragma once

#include <string>

#include "bench_session.h"

struct IdleResult {
    bool ok = false;
    double seconds = 0;     // wall time of the window
    double cpuSeconds = 0;  // the bridge process
    long rssKb = 0;         // at the end of the window
    long hwmKb = 0;
    // Under Wine: Wine's processes serving the prefix, summed.
    int helperCount = 0;
    std::string helperNames;
    double helperCpuSeconds = 0;
    long helperRssKb = 0;
};

// Measures over `seconds`. `winePrefix` names the prefix whose helper
// processes are counted for a Wine session.
IdleResult MeasureIdle(const BenchSession& session, double seconds, const std::string& winePrefix);
