// Starting and ending the bridge on POSIX systems.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "bridge_start.h"

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

std::optional<BridgeProcess> SpawnBridge(const std::string& program,
                                         const std::vector<std::string>& args,
                                         const std::string& workingDirectory) {
    // A path is taken from here, not from the bridge's own folder, which the
    // child changes to first; a bare name is looked for in PATH.
    std::error_code error;
    const std::string path = program.find('/') == std::string::npos
                                 ? program
                                 : std::filesystem::absolute(program, error).string();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        // Its own session, and none of this program's output: a reader of
        // that output must not wait for the bridge to end.
        setsid();
        const int devNull = open("/dev/null", O_RDWR);
        for (int fd = 0; fd <= 2; ++fd) dup2(devNull, fd);
        if (chdir(workingDirectory.c_str()) == 0) execvp(argv[0], argv.data());
        _exit(127);
    }
    return BridgeProcess{pid, nullptr};
}

std::optional<int> ExitCodeIfEnded(BridgeProcess& process) {
    int status = 0;
    if (waitpid(static_cast<pid_t>(process.pid), &status, WNOHANG) != process.pid)
        return std::nullopt;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void EndBridge(BridgeProcess& process) {
    if (process.pid <= 0) return;
    if (!ExitCodeIfEnded(process)) {
        kill(static_cast<pid_t>(process.pid), SIGTERM);
        waitpid(static_cast<pid_t>(process.pid), nullptr, 0);
    }
    process.pid = 0;
}
