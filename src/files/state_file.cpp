// Building and publishing the state file. Values go in unescaped, each on
// its one line: the game reads them up to the line feed.
#include "files/state_file.h"

#include "bridge.h"
#include "files/paths.h"
#include "files/pending_writes.h"
#include "files/text.h"

std::string BuildStateText() {
    const BridgeState& s = gBridgeState;
    std::string text;
    text += "status|" + s.status + "\n";
    text += std::string("ptt|") + (s.pushToTalk ? "1" : "0") + "\n";
    text += "myuserid|" + std::to_string(s.myUserId) + "\n";
    text += "mychannelid|" + std::to_string(s.myChannelId) + "\n";
    text += "mychannelname|" + OnOneLine(s.myChannelName) + "\n";
    text += "nickname|" + OnOneLine(gBridgeConfig.nickname) + "\n";
    text += "error|" + OnOneLine(s.lastError) + "\n";
    return text;
}

void WriteStateFile() { PublishFile(kStateFile, BuildStateText()); }

void SetStatus(const char* status) {
    if (gBridgeState.session != SessionStage::Ended) gBridgeState.status = status;
    WriteStateFile();
}
