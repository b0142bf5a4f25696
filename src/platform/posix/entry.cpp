// POSIX entry: keeps argv for the platform layer and runs the bridge.
#include "arguments.h"
#include "core/startup.h"

int main(int argc, char** argv) {
    PlatformSetArguments(argc, argv);
    return RunBridge();
}
