// A child program spoken to line by line over its standard streams, such
// as a game kit's agent: one line in, its answer's lines out.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "process.h"

struct TalkingProcess {
    ChildProcess process;
    FILE* in = nullptr;   // the child's standard input
    FILE* out = nullptr;  // its standard output
};

// Starts argv[0] (searched in PATH) in `directory`, with `environment` set
// over the inherited one and its error output appended to `errorFile`.
// False when the pipes could not be made.
bool StartTalking(TalkingProcess& child, const std::vector<std::string>& argv,
                  const std::string& directory,
                  const std::vector<std::pair<std::string, std::string>>& environment,
                  const std::string& errorFile);

// Writes one line and flushes it.
void TellLine(TalkingProcess& child, const std::string& line);

// The next line the child wrote, without its line feed; false once its
// output has closed.
bool ReadLineFrom(TalkingProcess& child, std::string& line);

// Closes both streams (the child reads the end of its input) after writing
// `lastWords` when given, and waits up to `timeout` for it to end; the
// record kills it after that.
void CloseTalking(TalkingProcess& child, const std::string& lastWords,
                  std::chrono::milliseconds timeout);
