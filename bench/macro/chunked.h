// Commands written in two pieces a few milliseconds apart, as game runtimes
// with buffered or formatted output write them: none may run in part.
#pragma once

#include <random>

#include "bench_session.h"

struct ChunkedResult {
    int commands = 0;
    int whole = 0;    // run as written
    int partial = 0;  // run with only their first piece
    bool written = false;
};

// Natively a POSIX writer does it; under Wine a Windows one (wintool.exe,
// with the C runtime), whose open file Windows will not let be moved.
ChunkedResult MeasureChunkedCommands(BenchSession& session, int count, std::mt19937& random);
