// Login, sound devices, error reporting and the end of the session.
#include "session/connection_events.h"

#include "bridge.h"
#include "files/debug_log.h"
#include "files/state_file.h"
#include "session/own_channel.h"

void HandleConnectionSuccess(const VoiceEvent&) {
    AppendDebugLine("event con_success");
    LogInToServer(gBridgeConfig.nickname);
}

// The connection failed or was lost, or the server logged the bridge out
// or removed it. There is no reconnect: the error stands for the rest of
// the process, and the game, which knows this text, restarts the bridge.
void HandleSessionEnded(const VoiceEvent&) {
    gBridgeState.session = SessionStage::Ended;
    gBridgeState.status = kStatusError;
    gBridgeState.lastError = kConnectionFailedText;
    // Out of the server means out of its channel.
    OwnChannelCleared();
    WriteStateFile();
}

void HandleCommandError(const VoiceEvent& event) {
    const std::string& error = event.errorText;
    AppendDebugLine("cmd_error: " + error);
    // After the end (a server that logged the bridge out still answers its
    // requests) the end's own text stays: it is what tells the game to
    // restart the bridge.
    if (gBridgeState.session == SessionStage::Ended) return;
    gBridgeState.lastError = error;
    SetStatus(kStatusError);
}

void HandleMyselfLoggedIn(const VoiceEvent& event) {
    if (gBridgeState.session == SessionStage::Ended) return;
    gBridgeState.session = SessionStage::LoggedIn;
    gBridgeState.myUserId = event.source;
    SetStatus(kStatusLoggedIn);
    if (OpenDefaultSoundDevices()) AppendDebugLine("sound devices initialized");
    // Without sound devices the session still works for text and channels.
    SetStatus(kStatusAuthorized);
}
