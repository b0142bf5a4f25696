// Starting and ending the real programs under test, by their process IDs.
// A test process that links this ignores SIGPIPE, so that a helper that
// ended early fails its test rather than ending the test process; the
// programs it starts have the default back.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// A started child. It is killed and reaped when the record goes, so a test
// that stops early (a failed ASSERT) leaves no program running behind it.
struct ChildProcess {
    int pid = -1;

    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
};

// Starts argv[0] (searched in PATH) in `directory`, with `environment`
// added to the inherited environment; output goes to `outputFile`.
ChildProcess StartProcess(const std::vector<std::string>& argv, const std::string& directory,
                          const std::vector<std::pair<std::string, std::string>>& environment,
                          const std::string& outputFile);

// How a program that was run to its end ended, and what it printed.
struct FinishedRun {
    int exitCode = -1;  // -1: still running at the deadline, and killed
    std::string out, err;
};

// Runs argv in `directory` until it ends, with its stdout and stderr kept
// apart (in files there named run-stdout.txt and run-stderr.txt).
FinishedRun RunToEnd(const std::vector<std::string>& argv, const std::string& directory,
                     std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Waits for the process to end; false when it is still running at the
// deadline. `exitCode` is the exit status, or 128 + signal.
bool WaitForExit(ChildProcess& process, std::chrono::milliseconds timeout, int& exitCode);

bool IsRunning(ChildProcess& process);

// True once the process has ended, without reaping it, so that its exit
// status is still there for whoever ends it.
bool HasEnded(const ChildProcess& process);

// Ends the process if it still runs, and reaps it.
void StopProcess(ChildProcess& process);

// Kills a process that is meant to be running still, and reaps it. False
// when it had ended by itself before (`exitCode` then tells how): for a
// program that only ends when told to, that is a crash, or under the
// sanitizers the fault they reported.
bool KillRunning(ChildProcess& process, int& exitCode);

// Asks the process to end (SIGTERM) and waits for it. False, after killing
// it, when it is still running at the deadline.
bool TerminateAndWait(ChildProcess& process, std::chrono::milliseconds timeout, int& exitCode);

// "exit code N" or "signal N (name)", for failure messages.
std::string DescribeExit(int exitCode);

// Polls `condition` until it holds or the deadline passes.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));
