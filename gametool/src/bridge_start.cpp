// The start recipe over the system's process calls.
#include "bridge_start.h"

#include <filesystem>
#include <system_error>

#include "game_files.h"

BridgeStart StartBridgeAsGame(const std::string& gameDir, const std::string& program,
                              const std::vector<std::string>& args,
                              std::chrono::milliseconds timeout) {
    BridgeStart start;
    std::error_code error;
    std::filesystem::create_directories(gameDir, error);
    const std::string dataDir = gameDir + "/" + kDataDirectoryName;
    // While it is absent, the new bridge has not published yet; an old one
    // would tell of the earlier run.
    std::filesystem::remove(dataDir + "/" + kStateFileName, error);
    const std::optional<BridgeProcess> process = SpawnBridge(program, args, gameDir);
    if (!process) return start;
    start.process = *process;
    const bool settled = WaitFor(
        [&] {
            if (const std::optional<int> code = ExitCodeIfEnded(start.process)) {
                start.outcome = StartOutcome::Ended;
                start.exitCode = *code;
                return true;
            }
            // A bridge that lost the folder to another exits 2 at once; the
            // other keeps publishing, so only the lock tells whose state it is.
            if (!ReadDataFile(dataDir, kStateFileName).empty() &&
                LockHolder(dataDir) == start.process.pid) {
                start.outcome = StartOutcome::Ready;
                return true;
            }
            return false;
        },
        timeout);
    if (!settled) start.outcome = StartOutcome::TimedOut;
    return start;
}
