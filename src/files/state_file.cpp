// Building and publishing the state file. Values go in raw: the game reads
// them up to the line feed, and nothing in them is escaped.
#include "files/state_file.h"

#include "core/bridge_config.h"
#include "core/bridge_state.h"
#include "files/paths.h"
#include "files/publish.h"

std::string BuildStateText(const std::string& status) {
    std::string text;
    text += "status|" + status + "\n";
    text += std::string("ptt|") + (gBridgeState.pushToTalk ? "1" : "0") + "\n";
    text += "myuserid|" + std::to_string(gBridgeState.myUserId) + "\n";
    text += "mychannelid|" + std::to_string(gBridgeState.myChannelId) + "\n";
    text += "mychannelname|" + gBridgeState.myChannelName + "\n";
    text += "nickname|" + gBridgeConfig.nickname + "\n";
    text += "error|" + gBridgeState.lastError + "\n";
    return text;
}

void WriteStateFile(const std::string& status) { PublishFile(kStateFile, BuildStateText(status)); }
