// Building and publishing the state file. Values go in unescaped, each on
// its one line: the game reads them up to the line feed.
#include "files/state_file.h"

#include "bridge.h"
#include "files/fields.h"
#include "files/paths.h"
#include "files/pending_writes.h"

namespace {

void AddEntry(std::string& text, const char* key, const std::string& value) {
    text += key;
    text += kFieldSeparator;
    text += value;
    text += '\n';
}

}  // namespace

std::string BuildStateText() {
    const BridgeState& s = gBridgeState;
    std::string text;
    AddEntry(text, kStateKeyStatus, s.status);
    AddEntry(text, kStateKeyPushToTalk, s.pushToTalk ? "1" : "0");
    AddEntry(text, kStateKeyMyUserId, std::to_string(s.myUserId));
    AddEntry(text, kStateKeyMyChannelId, std::to_string(s.myChannelId));
    AddEntry(text, kStateKeyMyChannelName, OnOneLine(s.myChannelName));
    AddEntry(text, kStateKeyNickname, OnOneLine(gBridgeConfig.nickname));
    AddEntry(text, kStateKeyError, OnOneLine(s.lastError));
    return text;
}

void WriteStateFile() { PublishFile(kStateFile, BuildStateText()); }
