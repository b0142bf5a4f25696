// What Linux tells about a process in /proc: CPU time, wake-ups and
// resident memory, and which processes belong to a Wine prefix.
#pragma once

#include <string>
#include <vector>

struct ProcSample {
    bool ok = false;
    std::string name;            // the command name (comm)
    double cpuSeconds = 0;       // utime + stime
    long rssKb = 0;              // VmRSS
    long hwmKb = 0;              // VmHWM, the peak of VmRSS
    long long writtenBytes = 0;  // handed to write calls so far (wchar)
    long long writeCalls = 0;    // write calls so far (syscw)
    // Voluntary and nonvoluntary, summed over the threads alive now: each
    // is a time the process was put off a core and later back on it.
    long long contextSwitches = 0;
};

ProcSample ReadProcSample(int pid);

// Wine's own processes serving `prefix` (wineserver, services.exe and the
// like): an executable under /usr/lib/wine and WINEPREFIX set to the
// prefix. `exclude` (the bridge itself) is left out.
std::vector<int> WinePrefixProcesses(const std::string& prefix, int exclude);
