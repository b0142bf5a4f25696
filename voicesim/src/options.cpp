// Parsing voicesim's options.
#include "options.h"

#include <cstdio>
#include <cstring>

#include "wireline.h"

SimOptions gOptions;

namespace {

const char kUsage[] =
    "usage: voicesim [options]\n"
    "  --port N               TCP port for voice clients on 127.0.0.1; 0 picks a free one\n"
    "                         (default 10333)\n"
    "  --port-file PATH       write the client port there once listening (default none)\n"
    "  --control-port N       TCP port of the control interface; 0 picks a free one\n"
    "                         (default 0)\n"
    "  --control-port-file P  write the control port there once listening (default none)\n"
    "  --scenario FILE        run the control commands in FILE before accepting clients\n"
    "                         (default none)\n"
    "  --log FILE             append one line per client request: user id, TAB, raw line\n"
    "                         (default none)\n"
    "  --max-output BYTES     drop a connection with more unsent bytes than this\n"
    "                         (default 67108864, 64 MiB)\n"
    "  -h, --help             print this and exit\n";

bool ReadPort(const char* text, int& port) {
    int value = 0;
    if (!ReadNumber(text, value) || value < 0 || value > 65535) return false;
    port = value;
    return true;
}

bool ReadByteCount(const char* text, size_t& bytes) {
    int value = 0;
    if (!ReadNumber(text, value) || value <= 0) return false;
    bytes = static_cast<size_t>(value);
    return true;
}

bool Keep(const char* text, std::string& to) {
    to = text;
    return true;
}

struct OptionRule {
    const char* name;
    bool (*store)(const char* value);  // false when the value is bad
};

const OptionRule kOptions[] = {
    {"--port", [](const char* v) { return ReadPort(v, gOptions.port); }},
    {"--port-file", [](const char* v) { return Keep(v, gOptions.portFile); }},
    {"--control-port", [](const char* v) { return ReadPort(v, gOptions.controlPort); }},
    {"--control-port-file", [](const char* v) { return Keep(v, gOptions.controlPortFile); }},
    {"--scenario", [](const char* v) { return Keep(v, gOptions.scenarioFile); }},
    {"--log", [](const char* v) { return Keep(v, gOptions.logFile); }},
    {"--max-output", [](const char* v) { return ReadByteCount(v, gOptions.maxOutputBytes); }},
};

const OptionRule* FindOption(const char* name) {
    for (const OptionRule& rule : kOptions)
        if (std::strcmp(name, rule.name) == 0) return &rule;
    return nullptr;
}

}  // namespace

ParseOutcome ParseOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* name = argv[i];
        if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return ParseOutcome::helped;
        }
        // The name first: a value after an unknown name must not hide it.
        const OptionRule* rule = FindOption(name);
        if (rule == nullptr) {
            std::fprintf(stderr, "voicesim: unknown option %s\n", name);
            return ParseOutcome::bad;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "voicesim: %s needs a value\n", name);
            return ParseOutcome::bad;
        }
        const char* value = argv[++i];
        if (!rule->store(value)) {
            std::fprintf(stderr, "voicesim: bad value for %s: %s\n", name, value);
            return ParseOutcome::bad;
        }
    }
    return ParseOutcome::run;
}
