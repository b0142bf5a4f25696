// The debug log over the whole-file primitives.
#include "files/debug_log.h"

#include "files/file_io.h"
#include "files/paths.h"

void StartDebugLog(const std::string& firstLine) {
    WriteWholeFile(kDebugLogFile, firstLine + "\n");
}

void AppendDebugLine(const std::string& text) { AppendToFile(kDebugLogFile, text + "\n"); }
