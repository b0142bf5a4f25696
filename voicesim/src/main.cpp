// voicesim: a simulated voice server on loopback for tests. Start-up order:
// options, request log, scenario, then the two listening sockets and their
// port files, so that a test seeing the port files finds the scenario done.
#include <cstdio>
#include <string>

#include "channels.h"
#include "connections.h"
#include "options.h"
#include "port_file.h"
#include "request_log.h"
#include "scenario.h"
#include "sim_net.h"

namespace {

int Listen(int port, const std::string& portFile, const char* what) {
    int boundPort = 0;
    const int fd = ListenOnLoopback(port, boundPort);
    if (fd < 0) {
        std::fprintf(stderr, "voicesim: cannot listen on 127.0.0.1:%d: %s\n", port,
                     LastNetError().c_str());
        return -1;
    }
    if (!portFile.empty() && !WritePortFile(portFile, boundPort)) {
        std::fprintf(stderr, "voicesim: cannot write %s\n", portFile.c_str());
        CloseSocket(fd);
        return -1;
    }
    std::printf("voicesim: %s on 127.0.0.1:%d\n", what, boundPort);
    return fd;
}

}  // namespace

int main(int argc, char** argv) {
    const ParseOutcome parsed = ParseOptions(argc, argv);
    if (parsed == ParseOutcome::helped) return 0;
    if (parsed == ParseOutcome::bad) return 2;
    if (!gOptions.logFile.empty() && !OpenRequestLog(gOptions.logFile)) {
        std::fprintf(stderr, "voicesim: cannot open the request log %s\n",
                     gOptions.logFile.c_str());
        return 1;
    }
    if (!StartNetwork()) {
        std::fputs("voicesim: sockets cannot be used\n", stderr);
        return 1;
    }
    ResetChannels();
    if (!gOptions.scenarioFile.empty()) {
        std::string error;
        if (!RunScenarioFile(gOptions.scenarioFile, error)) {
            std::fprintf(stderr, "voicesim: %s\n", error.c_str());
            return 1;
        }
    }
    // Before the port files tell anyone that the server is up: a stop
    // asked for right after that is an orderly end, not a kill.
    CatchStopRequests();
    const int clientFd = Listen(gOptions.port, gOptions.portFile, "voice clients");
    if (clientFd < 0) return 1;
    const int controlFd = Listen(gOptions.controlPort, gOptions.controlPortFile, "control");
    if (controlFd < 0) return 1;
    std::fflush(stdout);
    const int status = RunServerLoop(clientFd, controlFd);
    CloseSocket(clientFd);
    CloseSocket(controlFd);
    // Once everything is closed: tells an orderly end (quit, Ctrl-C,
    // SIGTERM) from a process that was cut short.
    if (status == 0) std::puts("voicesim: stopped");
    return status;
}
