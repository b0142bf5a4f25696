// Reading /proc/<pid>/stat, /proc/<pid>/status (its own and its threads'),
// /proc/<pid>/io and /proc/<pid>/environ.
#include "proc_stats.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// The number after "key:" in a status text that starts with a line feed.
long long StatusNumber(const std::string& status, const std::string& key) {
    const size_t at = status.find("\n" + key + ":");
    if (at == std::string::npos) return 0;
    return std::atoll(status.c_str() + at + key.size() + 2);
}

// The process's own status counts only its main thread's switches; Wine's
// bridge has several threads, each of which may be the one woken.
long long ContextSwitches(const std::string& base) {
    long long switches = 0;
    std::error_code error;
    for (const fs::directory_entry& task : fs::directory_iterator(base + "/task", error)) {
        const std::string status = "\n" + ReadWhole(task.path().string() + "/status");
        switches += StatusNumber(status, "voluntary_ctxt_switches") +
                    StatusNumber(status, "nonvoluntary_ctxt_switches");
    }
    return switches;
}

std::string Canonical(const std::string& path) {
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(path, error);
    return error ? path : canonical.string();
}

}  // namespace

ProcSample ReadProcSample(int pid) {
    ProcSample sample;
    const std::string base = "/proc/" + std::to_string(pid);
    const std::string stat = ReadWhole(base + "/stat");
    // The command name is in parentheses and may hold spaces: the fields
    // are counted from the last ')'.
    const size_t open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos) return sample;
    sample.name = stat.substr(open + 1, close - open - 1);
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    // After the name: state is field 3; utime and stime are fields 14, 15.
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number == 14) utime = std::stoull(field);
        if (number == 15) stime = std::stoull(field);
    }
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    sample.cpuSeconds = static_cast<double>(utime + stime) / ticks;
    const std::string status = "\n" + ReadWhole(base + "/status");
    sample.rssKb = static_cast<long>(StatusNumber(status, "VmRSS"));
    sample.hwmKb = static_cast<long>(StatusNumber(status, "VmHWM"));
    sample.contextSwitches = ContextSwitches(base);
    const std::string io = "\n" + ReadWhole(base + "/io");
    const size_t written = io.find("\nwchar:");
    if (written != std::string::npos) sample.writtenBytes = std::atoll(io.c_str() + written + 7);
    const size_t calls = io.find("\nsyscw:");
    if (calls != std::string::npos) sample.writeCalls = std::atoll(io.c_str() + calls + 7);
    sample.ok = true;
    return sample;
}

std::vector<int> WinePrefixProcesses(const std::string& prefix, int exclude) {
    const std::string wanted = Canonical(prefix);
    std::vector<int> pids;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const int pid = std::atoi(name.c_str());
        if (pid == exclude) continue;
        std::error_code linkError;
        const std::string exe = fs::read_symlink(entry.path() / "exe", linkError).string();
        if (linkError || exe.rfind("/usr/lib/wine/", 0) != 0) continue;
        // environ is NUL-separated; a process without WINEPREFIX uses the
        // default prefix in its HOME.
        std::string environment = ReadWhole(entry.path().string() + "/environ");
        std::string processPrefix, home;
        std::istringstream variables(environment);
        std::string variable;
        while (std::getline(variables, variable, '\0')) {
            if (variable.rfind("WINEPREFIX=", 0) == 0) processPrefix = variable.substr(11);
            if (variable.rfind("HOME=", 0) == 0) home = variable.substr(5);
        }
        if (processPrefix.empty()) processPrefix = home + "/.wine";
        if (Canonical(processPrefix) == wanted) pids.push_back(pid);
    }
    return pids;
}
