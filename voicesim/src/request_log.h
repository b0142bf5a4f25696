// What the voice clients asked for: an optional log file and a bounded list
// of the latest requests for the control interface.
#pragma once

#include <deque>
#include <string>

struct LoggedRequest {
    int userId;
    std::string line;
};

bool OpenRequestLog(const std::string& path);
void LogRequest(int userId, const std::string& line);
const std::deque<LoggedRequest>& RecentRequests();
