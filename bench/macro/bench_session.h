// One measured session: voicesim and the bridge (native, or voicebridge.exe
// under Wine) in a fresh game directory, the bridge logged in.
#pragma once

#include <chrono>
#include <random>
#include <string>

#include "bridge_runner.h"
#include "temp_directory.h"

struct BenchSession {
    BridgeBuild build;
    TempDirectory directory;
    VoiceSim sim;
    ChildProcess bridge;

    explicit BenchSession(BridgeBuild b) : build(b) {}
    ~BenchSession();
    BenchSession(const BenchSession&) = delete;
    BenchSession& operator=(const BenchSession&) = delete;

    std::string DataDir() const { return directory.path + "/data"; }
};

// Starts both programs and waits until the bridge is authorized and has
// published itself and the root channel. False, with `error` set, when
// that does not happen in time.
bool StartSession(BenchSession& session, std::string& error);

// Sleeps for a random 0 to 199 ms before a write or a burst, so that it
// falls at any moment of the bridge's loop as a game's writes do; without
// it every write would follow right after the previous command ran.
void PauseAtRandomPhase(std::mt19937& random);

// Lines in a published file (each entry ends with a line feed).
size_t CountLines(const std::string& text);

// Milliseconds between two monotonic clock readings.
double MillisecondsBetween(std::chrono::steady_clock::time_point from,
                           std::chrono::steady_clock::time_point to);
