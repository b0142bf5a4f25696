// Login, sound devices, error reporting and the end of the session.
#include "session/connection_events.h"

#include "bridge.h"
#include "exchange_vocabulary.h"
#include "files/debug_log.h"
#include "files/event_log.h"
#include "files/state_file.h"
#include "session/command_outcomes.h"
#include "session/own_channel.h"
#include "session/status.h"

void HandleConnectionSuccess(const VoiceEvent&) {
    AppendDebugLine("event con_success");
    LogInToServer(gBridgeConfig.nickname, gBridgeConfig.username, gBridgeConfig.password);
}

namespace {

// Every end of the session is told the same way: status "error" with the
// reason, and no user ID, which only an end takes away. There is no
// reconnect: the error stands for the rest of the process, and the game
// restarts the bridge. The first end's reason stays, so that a link closed
// after a refused login still shows why it was refused.
void EndSession(const char* code, const std::string& reason) {
    if (gBridgeState.session == SessionStage::Ended) return;
    AddEvent(kEventOver, {code, reason});
    FailWaitingRequests();
    gBridgeState.session = SessionStage::Ended;
    gBridgeState.status = kStatusError;
    gBridgeState.lastError = reason;
    gBridgeState.myUserId = 0;
    // Out of the server means out of its channel.
    OwnChannelCleared();
    WriteStateFile();
}

// Why the session ended, by the event that ended it.
const char* EndCodeOf(INT32 eventCode) {
    switch (eventCode) {
        case CLIENTEVENT_CON_LOST: return kOverLinkLost;
        case CLIENTEVENT_CMD_MYSELF_LOGGEDOUT: return kOverLoggedOut;
        case CLIENTEVENT_CMD_MYSELF_KICKED: return kOverRemoved;
        default: return kOverConnectionFailed;
    }
}

}  // namespace

// The connection failed or was lost, or the server logged the bridge out
// or removed it.
void HandleSessionEnded(const VoiceEvent& event) {
    EndSession(EndCodeOf(event.code), kConnectionFailedText);
}

void HandleCommandError(const VoiceEvent& event) {
    const std::string& error = event.errorText;
    AppendDebugLine("cmd_error: " + error);
    // Before the login is confirmed the only request is the login itself:
    // its refusal (a full server, a banned name) ends the session, with the
    // server's reason for the player to read.
    if (gBridgeState.session == SessionStage::Connecting)
        return EndSession(kOverLoginRefused, error);
    // After the end (a server that logged the bridge out still answers its
    // requests) the end's own reason stays: it is what tells the game to
    // restart the bridge.
    if (gBridgeState.session == SessionStage::Ended) return;
    // A refused request: the session goes on. A refusal that answers no
    // command of the game's is an event of its own.
    if (!AnswerRefusal(event.source, error)) AddEvent(kEventError, {error});
    gBridgeState.lastError = error;
    SetStatus(kStatusError);
}

void HandleMyselfLoggedIn(const VoiceEvent& event) {
    if (gBridgeState.session == SessionStage::Ended) return;
    gBridgeState.session = SessionStage::LoggedIn;
    gBridgeState.myUserId = event.source;
    AddEvent(kEventLoggedIn, {std::to_string(event.source)});
    SetStatus(kStatusLoggedIn);
    if (OpenDefaultSoundDevices()) AppendDebugLine("sound devices initialized");
    // Without sound devices the session still works for text and channels.
    SetStatus(kStatusAuthorized);
}
