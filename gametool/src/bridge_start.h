// Starting the bridge as a game should, so that nothing an earlier run
// left in the folder is taken for this run's: the old state removed first,
// the bridge started hidden in the game's folder, and this run's state
// trusted only once the lock names the process just started.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// This program's arguments in UTF-8, whatever the system's code page
// (Windows hands main() its arguments in the code page).
std::vector<std::string> ProgramArguments(int argc, char** argv);

// A bridge process this program started.
struct BridgeProcess {
    std::int64_t pid = 0;
    void* handle = nullptr;  // Windows: the process handle, kept for its exit code
};

// Starts `program` with `args` in `workingDirectory`, detached from this
// program's console and output. Nothing when it cannot be started.
std::optional<BridgeProcess> SpawnBridge(const std::string& program,
                                         const std::vector<std::string>& args,
                                         const std::string& workingDirectory);

// Its exit code once it has ended; nothing while it runs.
std::optional<int> ExitCodeIfEnded(BridgeProcess& process);

// Ends it, if it still runs, and lets go of it.
void EndBridge(BridgeProcess& process);

enum class StartOutcome {
    Ready,       // this run's state.txt is there and the lock names it
    Ended,       // it ended during the start (exit 2: another bridge serves the folder)
    NotStarted,  // the program could not be started
    TimedOut,
};

struct BridgeStart {
    StartOutcome outcome = StartOutcome::NotStarted;
    BridgeProcess process;
    int exitCode = 0;  // when Ended
};

// The start recipe: makes `gameDir`, removes `gameDir/data/state.txt` (the
// previous bridge of this folder must have ended), starts the bridge there
// and waits until it is Ready, has Ended, or `timeout` passes. pm_in.txt is
// then this run's, to be read from its start.
BridgeStart StartBridgeAsGame(const std::string& gameDir, const std::string& program,
                              const std::vector<std::string>& args,
                              std::chrono::milliseconds timeout);
