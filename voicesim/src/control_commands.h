// The control interface: commands a test (or a scenario file) gives the
// simulated server, each answered by exactly one line.
#pragma once

#include <string>
#include <vector>

#include "sim_state.h"

// Runs one command given as fields ("channel", "add", "5", ...) and returns
// the reply fields: "OK" and any results, or "ERR" and a reason.
std::vector<std::string> RunControlCommand(const std::vector<std::string>& fields);

// One line from a control connection: runs it and queues the reply line.
void HandleControlLine(Connection& connection, const std::string& line);
