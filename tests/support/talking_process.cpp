#include "talking_process.h"

#include <signal.h>
#include <unistd.h>

bool StartTalking(TalkingProcess& child, const std::vector<std::string>& argv,
                  const std::string& directory,
                  const std::vector<std::pair<std::string, std::string>>& environment,
                  const std::string& errorFile) {
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0) return false;
    if (pipe(fromChild) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return false;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    child.process.pid = fork();
    if (child.process.pid == 0) {
        if (chdir(directory.c_str()) != 0) _exit(126);
        for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        if (freopen(errorFile.c_str(), "a", stderr) == nullptr) _exit(126);
        for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) close(fd);
        signal(SIGPIPE, SIG_DFL);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    child.in = fdopen(toChild[1], "w");
    child.out = fdopen(fromChild[0], "r");
    return child.process.pid > 0;
}

void TellLine(TalkingProcess& child, const std::string& line) {
    if (child.in == nullptr) return;
    std::fprintf(child.in, "%s\n", line.c_str());
    std::fflush(child.in);
}

bool ReadLineFrom(TalkingProcess& child, std::string& line) {
    line.clear();
    if (child.out == nullptr) return false;
    int c;
    while ((c = std::fgetc(child.out)) != EOF && c != '\n') line += static_cast<char>(c);
    return c == '\n' || !line.empty();
}

void CloseTalking(TalkingProcess& child, const std::string& lastWords,
                  std::chrono::milliseconds timeout) {
    if (child.in != nullptr) {
        if (!lastWords.empty()) TellLine(child, lastWords);
        std::fclose(child.in);
        child.in = nullptr;
    }
    if (child.out != nullptr) std::fclose(child.out);
    child.out = nullptr;
    int code = 0;
    WaitForExit(child.process, timeout, code);
}
