// voicesim's command line.
#pragma once

#include <string>

// The bridge's default server port, so both start together without options.
constexpr int kDefaultClientPort = 10333;

struct SimOptions {
    int port = kDefaultClientPort;
    std::string portFile;
    int controlPort = 0;
    std::string controlPortFile;
    std::string scenarioFile;
    std::string logFile;
    size_t maxOutputBytes = 0;  // 0 = kMaxPendingOutputBytes
};

extern SimOptions gOptions;

enum class ParseOutcome { run, helped, bad };

// Fills gOptions. A bad command line gets one line on stderr naming what is
// wrong; --help (or -h) prints the usage on stdout.
ParseOutcome ParseOptions(int argc, char** argv);
