// POSIX entry: keeps argv for the platform layer and runs the bridge.
#include <csignal>

#include "arguments.h"
#include "core/startup.h"

int main(int argc, char** argv) {
    // A write to a pipe whose reader went away fails like any other write;
    // it must not end the bridge.
    std::signal(SIGPIPE, SIG_IGN);
    PlatformSetArguments(argc, argv);
    return RunBridge();
}
