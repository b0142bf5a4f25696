// fork/exec based process control for the process tests.
#include "process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "temp_directory.h"

namespace {

// A helper that ends early closes its pipe or socket: writing to it then
// fails the write, so that the test reports how the helper ended, instead
// of ending the test process by SIGPIPE.
struct SigpipeIgnored {
    SigpipeIgnored() { signal(SIGPIPE, SIG_IGN); }
} sigpipeIgnored;

}  // namespace

ChildProcess::~ChildProcess() { StopProcess(*this); }

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : pid(other.pid) { other.pid = -1; }

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        StopProcess(*this);
        pid = other.pid;
        other.pid = -1;
    }
    return *this;
}

ChildProcess StartProcess(const std::vector<std::string>& argv, const std::string& directory,
                          const std::vector<std::pair<std::string, std::string>>& environment,
                          const std::string& outputFile) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ChildProcess child;
    child.pid = fork();
    if (child.pid == 0) {
        if (chdir(directory.c_str()) != 0) _exit(126);
        for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
        int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        int in = open("/dev/null", O_RDONLY);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        if (in >= 0) dup2(in, 0);
        // The program runs with SIGPIPE as it would anywhere else.
        signal(SIGPIPE, SIG_DFL);
        // A group of its own, so that a test run interrupted does not take
        // the child's signals for its own.
        setpgid(0, 0);
        execvp(args[0], args.data());
        _exit(127);
    }
    return child;
}

namespace {

int ExitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

bool WaitForExit(ChildProcess& process, std::chrono::milliseconds timeout, int& exitCode) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (process.pid > 0) {
        int status = 0;
        pid_t done = waitpid(process.pid, &status, WNOHANG);
        if (done == process.pid) {
            exitCode = ExitCodeOf(status);
            process.pid = -1;
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool IsRunning(ChildProcess& process) {
    int code = 0;
    return process.pid > 0 && !WaitForExit(process, std::chrono::milliseconds(0), code);
}

bool HasEnded(const ChildProcess& process) {
    if (process.pid <= 0) return true;
    siginfo_t info{};
    // WNOWAIT leaves the ended child to be reaped, with its status, later.
    if (waitid(P_PID, static_cast<id_t>(process.pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return true;
    return info.si_pid == process.pid;
}

void StopProcess(ChildProcess& process) {
    if (process.pid <= 0) return;
    kill(process.pid, SIGKILL);
    int status = 0;
    waitpid(process.pid, &status, 0);
    process.pid = -1;
}

bool KillRunning(ChildProcess& process, int& exitCode) {
    if (process.pid <= 0) return true;
    kill(process.pid, SIGKILL);
    int status = 0;
    waitpid(process.pid, &status, 0);
    process.pid = -1;
    exitCode = ExitCodeOf(status);
    // Killed here is what a running process shows; any other status is
    // how it had ended already, and no race between looking and killing
    // can hide it.
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

bool TerminateAndWait(ChildProcess& process, std::chrono::milliseconds timeout, int& exitCode) {
    if (process.pid > 0) kill(process.pid, SIGTERM);
    if (WaitForExit(process, timeout, exitCode)) return true;
    StopProcess(process);
    return false;
}

std::string DescribeExit(int exitCode) {
    if (exitCode > 128 && exitCode < 128 + 65) {
        const int signal = exitCode - 128;
        return "signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
    }
    return "exit code " + std::to_string(exitCode);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

FinishedRun RunToEnd(const std::vector<std::string>& argv, const std::string& directory,
                     std::chrono::milliseconds timeout) {
    const std::string out = directory + "/run-stdout.txt", err = directory + "/run-stderr.txt";
    unlink(out.c_str());
    unlink(err.c_str());
    // The shell only parts stderr from stdout; exec leaves the program's
    // own exit status.
    std::vector<std::string> shell = {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>run-stderr.txt"};
    shell.insert(shell.end(), argv.begin(), argv.end());
    ChildProcess process = StartProcess(shell, directory, {}, out);
    FinishedRun run;
    if (!WaitForExit(process, timeout, run.exitCode)) run.exitCode = -1;
    run.out = ReadTestFile(out);
    run.err = ReadTestFile(err);
    return run;
}
