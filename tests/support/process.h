// Starting and ending the real programs under test, by their process IDs.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct ChildProcess {
    int pid = -1;
};

// Starts argv[0] (searched in PATH) in `directory`, with `environment`
// added to the inherited environment; output goes to `outputFile`.
ChildProcess StartProcess(const std::vector<std::string>& argv, const std::string& directory,
                          const std::vector<std::pair<std::string, std::string>>& environment,
                          const std::string& outputFile);

// Waits for the process to end; false when it is still running at the
// deadline. `exitCode` is the exit status, or 128 + signal.
bool WaitForExit(ChildProcess& process, std::chrono::milliseconds timeout, int& exitCode);

bool IsRunning(ChildProcess& process);

// Ends the process if it still runs, and reaps it.
void StopProcess(ChildProcess& process);

// Polls `condition` until it holds or the deadline passes.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));
