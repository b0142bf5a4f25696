// The request log: flushed after every line so a test can read it at once.
#include "request_log.h"

#include <cstdio>
#include <string>

namespace {

constexpr size_t kRecentRequestLimit = 1000;

FILE* gLogFile = nullptr;
std::deque<LoggedRequest> gRecent;

}  // namespace

bool OpenRequestLog(const std::string& path) {
    // Binary, so that Windows writes the same line feeds as POSIX systems.
    gLogFile = std::fopen(path.c_str(), "ab");
    return gLogFile != nullptr;
}

void LogRequest(int userId, const std::string& line) {
    gRecent.push_back({userId, line});
    if (gRecent.size() > kRecentRequestLimit) gRecent.pop_front();
    if (gLogFile == nullptr) return;
    // fwrite rather than %s: a request may hold NUL bytes.
    const std::string entry = std::to_string(userId) + "\t" + line + "\n";
    std::fwrite(entry.data(), 1, entry.size(), gLogFile);
    std::fflush(gLogFile);
}

const std::deque<LoggedRequest>& RecentRequests() { return gRecent; }
