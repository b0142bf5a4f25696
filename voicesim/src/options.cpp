// Parsing voicesim's options.
#include "options.h"

#include <cstdio>
#include <cstring>

#include "wire.h"

SimOptions gOptions;

namespace {

const char kUsage[] =
    "usage: voicesim [--port N] [--port-file PATH] [--control-port N]\n"
    "                [--control-port-file PATH] [--scenario FILE] [--log FILE]\n"
    "                [--max-output BYTES]\n"
    "  --port N               TCP port for voice clients on 127.0.0.1 (0 = any free one)\n"
    "  --port-file PATH       write the chosen client port there once listening\n"
    "  --control-port N       TCP port of the control interface (0 = any free one)\n"
    "  --control-port-file P  write the chosen control port there once listening\n"
    "  --scenario FILE        run the control commands in FILE before accepting clients\n"
    "  --log FILE             append one line per client request: user id, TAB, raw line\n"
    "  --max-output BYTES     drop a connection with more unsent bytes than this\n"
    "                         (default 64 MiB)\n";

bool ReadPort(const char* text, int& port) {
    return ReadNumber(text, port) && port >= 0 && port <= 65535;
}

bool ReadByteCount(const char* text, size_t& bytes) {
    int value = 0;
    if (!ReadNumber(text, value) || value <= 0) return false;
    bytes = static_cast<size_t>(value);
    return true;
}

}  // namespace

bool ParseOptions(int argc, char** argv, bool& showedHelp) {
    showedHelp = false;
    for (int i = 1; i < argc; ++i) {
        const char* name = argv[i];
        if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0) {
            std::fputs(kUsage, stdout);
            showedHelp = true;
            return false;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "voicesim: %s needs a value\n%s", name, kUsage);
            return false;
        }
        const char* value = argv[++i];
        bool good = true;
        if (std::strcmp(name, "--port") == 0)
            good = ReadPort(value, gOptions.port);
        else if (std::strcmp(name, "--port-file") == 0)
            gOptions.portFile = value;
        else if (std::strcmp(name, "--control-port") == 0)
            good = ReadPort(value, gOptions.controlPort);
        else if (std::strcmp(name, "--control-port-file") == 0)
            gOptions.controlPortFile = value;
        else if (std::strcmp(name, "--scenario") == 0)
            gOptions.scenarioFile = value;
        else if (std::strcmp(name, "--log") == 0)
            gOptions.logFile = value;
        else if (std::strcmp(name, "--max-output") == 0)
            good = ReadByteCount(value, gOptions.maxOutputBytes);
        else {
            std::fprintf(stderr, "voicesim: unknown option %s\n%s", name, kUsage);
            return false;
        }
        if (!good) {
            std::fprintf(stderr, "voicesim: bad value for %s: %s\n%s", name, value, kUsage);
            return false;
        }
    }
    return true;
}
