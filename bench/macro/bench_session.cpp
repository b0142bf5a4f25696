// Starting and ending the programs of one measured session.
#include "bench_session.h"

#include <algorithm>

#include "game_files.h"

namespace {

// A first Wine start in a fresh prefix brings up Wine's own services too.
const auto kStartTimeout = std::chrono::seconds(90);

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

size_t CountLines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

double MillisecondsBetween(std::chrono::steady_clock::time_point from,
                           std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}
