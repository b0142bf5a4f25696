// The bridge's own channel in BridgeState, and what the game sees of it.
#include "session/own_channel.h"

#include "bridge.h"
#include "session/command_outcomes.h"
#include "session/directories.h"
#include "session/status.h"

void OwnChannelJoined(int32_t channelId) {
    gBridgeState.myChannelId = channelId;
    // A channel not yet reported has no name to show, and the name of the
    // channel left behind would be wrong.
    gBridgeState.myChannelName = FindChannelName(channelId).value_or("");
    SetStatus(kStatusAuthorized);
}

void OwnChannelLeft() {
    OwnChannelCleared();
    SetStatus(kStatusAuthorized);
}

void OwnChannelRenamedOrMoved(int32_t channelId, const std::string& name) {
    if (gBridgeState.myChannelId == 0 || channelId != gBridgeState.myChannelId) return;
    gBridgeState.myChannelName = name;
    SetStatus(kStatusAuthorized);
}

void OwnChannelCleared() {
    gBridgeState.myChannelId = 0;
    gBridgeState.myChannelName.clear();
}

void HandleUserJoined(const VoiceEvent& event) {
    MoveUser(event.userId, 0, event.userChannelId);
    if (event.userId != gBridgeState.myUserId) return;
    OwnChannelJoined(event.userChannelId);
    AnswerOwnJoin(event.userChannelId);
}

void HandleChannelUpdate(const VoiceEvent& event) {
    const DirectoryChannel* before = FindChannel(event.channelId);
    const bool renamedOrMoved = before == nullptr || before->name != event.channelName ||
                                before->parentId != event.parentId;
    HandleChannelNew(event);
    // A new password or topic changes nothing the game sees in the state.
    if (renamedOrMoved) OwnChannelRenamedOrMoved(event.channelId, event.channelName);
}

void HandleUserLeft(const VoiceEvent& event) {
    MoveUser(event.userId, event.userChannelId, 0);
    if (event.userId != gBridgeState.myUserId) return;
    AnswerOwnLeave();
    // A late leave of a channel already left must not wipe the one joined
    // since.
    if (event.userChannelId != gBridgeState.myChannelId) return;
    OwnChannelLeft();
}
