// voicesim's command line.
#pragma once

#include <string>

struct SimOptions {
    int port = 0;
    std::string portFile;
    int controlPort = 0;
    std::string controlPortFile;
    std::string scenarioFile;
    std::string logFile;
    size_t maxOutputBytes = 0;  // 0 = kMaxPendingOutputBytes
};

extern SimOptions gOptions;

// Fills gOptions; false (after printing why and the usage) on a bad command
// line. Sets showedHelp for --help.
bool ParseOptions(int argc, char** argv, bool& showedHelp);
