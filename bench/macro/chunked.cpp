// Two-piece commands, counted in the bridge's debug log: every command the
// bridge takes is logged there as it ran.
#include "chunked.h"

#include <chrono>
#include <sstream>
#include <thread>

#include "game_files.h"

namespace {

const std::string kFirstPiece = "pm 990|parte ";
const auto kTimeout = std::chrono::seconds(10);

bool WriteInTwoPieces(const std::string& dataDir, int i, std::mt19937& random) {
    std::uniform_int_distribution<int> pauseMs(0, 20);
    if (!WaitFor([&] { return CommandFileFree(dataDir); }, kTimeout)) return false;
    PauseAtRandomPhase(random);
    return WriteCommandInTwoPieces(dataDir, kFirstPiece, std::to_string(i) + " inteira",
                                   std::chrono::milliseconds(pauseMs(random)));
}

bool WriteWithWintool(BenchSession& session, int count) {
    const std::string tool = WintoolExecutable();
    if (tool.empty()) return false;
    ChildProcess writer = StartWine({tool, "commands", "data\\cmd.txt", std::to_string(count)},
                                    session.directory.path);
    int code = -1;
    return WaitForExit(writer, std::chrono::seconds(count + 60), code) && code == 0;
}

}  // namespace

ChunkedResult MeasureChunkedCommands(BenchSession& session, int count, std::mt19937& random) {
    ChunkedResult result;
    result.commands = count;
    const std::string dataDir = session.DataDir();
    result.written = true;
    if (session.build == BridgeBuild::Windows) {
        result.written = WriteWithWintool(session, count);
    } else {
        for (int i = 0; i < count && result.written; ++i)
            result.written = WriteInTwoPieces(dataDir, i, random);
    }
    // Until the last one is logged, whole or not.
    const std::string last = "cmd: " + kFirstPiece + std::to_string(count - 1) + " inteira\n";
    WaitFor(
        [&] { return ReadDataFile(dataDir, "corvanex_debug.txt").find(last) != std::string::npos; },
        kTimeout);
    std::istringstream lines(ReadDataFile(dataDir, "corvanex_debug.txt"));
    const std::string whole = " inteira";
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("cmd: pm 990|parte", 0) != 0) continue;
        const bool complete = line.size() > whole.size() &&
                              line.compare(line.size() - whole.size(), whole.size(), whole) == 0;
        ++(complete ? result.whole : result.partial);
    }
    return result;
}
