// Turning one line from the server into what it means for the client.
#pragma once

#include <string>
#include <vector>

#include "instance.h"

enum class LineKind {
    unknown,    // a name this library does not know: ignored, so servers can grow
    malformed,  // a known name with missing or bad fields: a protocol fault
    welcome,
    refused,
    events
};

struct ParsedLine {
    LineKind kind = LineKind::unknown;
    INT32 version = 0;  // for welcome
    std::vector<PendingEvent> events;
};

// line excludes the LF (a CR before it is tolerated and dropped by the caller).
ParsedLine ParseServerLine(const std::string& line);
