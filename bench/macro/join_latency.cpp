// joinid between two channels made for it through voicesim's control port,
// timed until state.txt's mychannelid names the channel joined.
#include "join_latency.h"

#include "game_files.h"
#include "voicesim_control.h"

LatencyResult MeasureJoinLatency(BenchSession& session, int count, int firstId,
                                 std::mt19937& random) {
    std::vector<CommandEffect> joins;
    for (const std::string& id : {std::to_string(firstId), std::to_string(firstId + 1)}) {
        const auto reply =
            SimControl(session.sim.controlPort, {"channel", "add", id, "1", "Sala " + id});
        if (reply.empty() || reply[0] != "OK") {
            LatencyResult refused;
            refused.timeouts = count;
            return refused;
        }
        joins.push_back(
            {std::string(kCommandJoinById) + kArgumentSeparator + id, kStateKeyMyChannelId, id});
    }
    return MeasureCommandLatency(session.DataDir(), joins, count, random);
}
