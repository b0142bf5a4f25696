// Starting and ending the programs of one measured session.
#include "bench_session.h"

#include <algorithm>
#include <thread>

#include "game_files.h"

namespace {

// A first Wine start in a fresh prefix brings up Wine's own services too.
const auto kStartTimeout = std::chrono::seconds(90);

// The pause is uniform over 200 ms: whole turns of any loop of up to 20 ms
// (ten of 20 ms, twenty of 10 ms), so the writes land evenly at every phase
// of such a loop, and more than one turn of the old 180 ms loop (100 ms of
// waiting for events, 80 ms of sleep), whose every phase they reach too,
// its first 20 ms twice as often. One pause for both, so that figures of
// the old and the new bridge compare.
const int kRandomPhaseSpanMs = 200;

}  // namespace

BenchSession::~BenchSession() {
    StopProcess(bridge);
    StopProcess(sim.process);
}

bool StartSession(BenchSession& session, std::string& error) {
    session.sim = StartVoiceSim(session.directory.path);
    if (session.sim.port <= 0 || session.sim.controlPort <= 0) {
        error = "voicesim did not start";
        return false;
    }
    const std::string executable = BridgeExecutable(session.build);
    if (executable.empty()) {
        error = "no " + BridgeBuildName(session.build) + " bridge to run (build it first)";
        return false;
    }
    session.bridge =
        StartBridge(session.build, executable, session.directory.path,
                    {"127.0.0.1", std::to_string(session.sim.port), "10333", "0", "Jogador"});
    const std::string dataDir = session.DataDir();
    const bool ready = WaitFor(
        [&] {
            return ParseStateText(ReadDataFile(dataDir, "state.txt"))["status"] == "authorized" &&
                   CountLines(ReadDataFile(dataDir, "users.txt")) == 1 &&
                   CountLines(ReadDataFile(dataDir, "channels.txt")) == 1;
        },
        kStartTimeout);
    if (!ready) error = BridgeBuildName(session.build) + " bridge did not log in";
    return ready;
}

void PauseAtRandomPhase(std::mt19937& random) {
    std::uniform_int_distribution<int> pauseMs(0, kRandomPhaseSpanMs - 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(random)));
}

size_t CountLines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

double MillisecondsBetween(std::chrono::steady_clock::time_point from,
                           std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}
