// One burst: the two bulk control commands, a command written right after
// them, and a 1 ms poll of the three files until all is published.
#include "bursts.h"

#include <chrono>
#include <thread>

#include "game_files.h"
#include "proc_stats.h"
#include "voicesim_control.h"

namespace {

const auto kPoll = std::chrono::milliseconds(1);
const auto kBurstTimeout = std::chrono::seconds(300);
const char* const kBurstCommand = "ptt_on";

}  // namespace

BurstResult MeasureBurst(BenchSession& session, int users, int firstId, std::mt19937& random,
                         std::string& error) {
    using Clock = std::chrono::steady_clock;
    BurstResult result;
    result.users = users;
    result.channels = users / 4;
    const std::string dataDir = session.DataDir();
    const size_t usersBefore = CountLines(ReadDataFile(dataDir, "users.txt"));
    const size_t channelsBefore = CountLines(ReadDataFile(dataDir, "channels.txt"));
    const std::string firstIdText = std::to_string(firstId);
    const std::string eventsBefore = ReadDataFile(dataDir, "events.txt");

    SimControlLink link;
    if (!SimControlOpen(link, session.sim.controlPort)) {
        error = "control port did not answer";
        return result;
    }
    // Start at a random point of the bridge's loop, as a real burst would.
    PauseAtRandomPhase(random);

    const ProcSample before = ReadProcSample(session.bridge.pid);
    const auto start = Clock::now();
    const auto bots =
        SimControlCommand(link, {"bulk", "bots", std::to_string(result.users), firstIdText, "bot"});
    const auto channels = SimControlCommand(
        link, {"bulk", "channels", std::to_string(result.channels), firstIdText, "1", "chan"});
    const auto replied = Clock::now();
    SimControlClose(link);
    if (bots.empty() || bots[0] != "OK" || channels.empty() || channels[0] != "OK") {
        error = "voicesim refused a bulk command";
        return result;
    }
    WriteCommand(dataDir, kBurstCommand);
    const auto commandWritten = Clock::now();

    bool usersDone = false, channelsDone = false, commandTaken = false;
    Clock::time_point usersAt, channelsAt, takenAt;
    while (!(usersDone && channelsDone && commandTaken)) {
        const auto now = Clock::now();
        if (now - start > kBurstTimeout) {
            error = "burst of " + std::to_string(users) + " not published in time";
            return result;
        }
        if (!usersDone) {
            const size_t lines = CountLines(ReadDataFile(dataDir, "users.txt"));
            if (lines == usersBefore + static_cast<size_t>(result.users)) {
                usersDone = true;
                usersAt = now;
            }
        }
        if (!channelsDone && CountLines(ReadDataFile(dataDir, "channels.txt")) ==
                                 channelsBefore + static_cast<size_t>(result.channels)) {
            channelsDone = true;
            channelsAt = now;
        }
        if (!commandTaken && ReadDataFile(dataDir, "cmd.txt") != kBurstCommand) {
            commandTaken = true;
            takenAt = now;
        }
        std::this_thread::sleep_for(kPoll);
    }
    const ProcSample after = ReadProcSample(session.bridge.pid);
    result.writtenBytes = after.writtenBytes - before.writtenBytes;
    result.writeCalls = after.writeCalls - before.writeCalls;
    const std::string eventsAfter = ReadDataFile(dataDir, "events.txt");
    result.eventBytes = eventsAfter.size() - std::min(eventsAfter.size(), eventsBefore.size());
    result.eventLines =
        CountLines(eventsAfter) - std::min(CountLines(eventsAfter), CountLines(eventsBefore));
    result.hwmKb = after.hwmKb;
    result.complete = true;
    result.replyMs = MillisecondsBetween(start, replied);
    result.usersMs = MillisecondsBetween(start, usersAt);
    result.channelsMs = MillisecondsBetween(start, channelsAt);
    result.completeMs = std::max(result.usersMs, result.channelsMs);
    result.commandWaitMs = MillisecondsBetween(commandWritten, takenAt);
    return result;
}
