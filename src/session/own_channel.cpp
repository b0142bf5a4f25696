// Joins and leaves of the bridge's own user; other users' moves are not
// tracked here.
#include "session/own_channel.h"

#include "bridge.h"
#include "files/state_file.h"
#include "session/directories.h"

void HandleUserJoined(const TTMessage& message) {
    if (message.user.nUserID != gBridgeState.myUserId) return;
    gBridgeState.myChannelId = message.user.nChannelID;
    // A channel not yet reported has no name to show, and the name of the
    // channel left behind would be wrong.
    gBridgeState.myChannelName = FindChannelName(message.user.nChannelID).value_or("");
    SetStatus(kStatusAuthorized);
}

void HandleUserLeft(const TTMessage& message) {
    if (message.user.nUserID != gBridgeState.myUserId) return;
    // A late leave of a channel already left must not wipe the one joined
    // since.
    if (message.user.nChannelID != gBridgeState.myChannelId) return;
    gBridgeState.myChannelId = 0;
    gBridgeState.myChannelName.clear();
    SetStatus(kStatusAuthorized);
}
