// Login, sound devices, error reporting and the end of the session.
#include "session/connection_events.h"

#include "bridge.h"
#include "files/debug_log.h"
#include "files/state_file.h"
#include "files/text.h"
#include "session/library_text.h"

void HandleConnectionSuccess(const TTMessage&) {
    AppendDebugLine("event con_success");
    const WideString nickname = Utf8ToWide(gBridgeConfig.nickname);
    const WideString none;
    TT_DoLogin(gBridgeState.instance, nickname.c_str(), none.c_str(), none.c_str());
}

// The connection failed or was lost, or the server logged the bridge out
// or removed it. There is no reconnect: the error stands for the rest of
// the process, and the game, which knows this text, restarts the bridge.
void HandleSessionEnded(const TTMessage&) {
    gBridgeState.session = SessionStage::Ended;
    gBridgeState.status = kStatusError;
    gBridgeState.lastError = kConnectionFailedText;
    // Out of the server means out of its channel.
    gBridgeState.myChannelId = 0;
    gBridgeState.myChannelName.clear();
    WriteStateFile();
}

void HandleCommandError(const TTMessage& message) {
    const std::string error = WideToUtf8(message.clienterrormsg.szErrorMsg);
    AppendDebugLine("cmd_error: " + error);
    // After the end (a server that logged the bridge out still answers its
    // requests) the end's own text stays: it is what tells the game to
    // restart the bridge.
    if (gBridgeState.session == SessionStage::Ended) return;
    gBridgeState.lastError = error;
    SetStatus(kStatusError);
}

void HandleMyselfLoggedIn(const TTMessage& message) {
    if (gBridgeState.session == SessionStage::Ended) return;
    gBridgeState.session = SessionStage::LoggedIn;
    gBridgeState.myUserId = message.nSource;
    SetStatus(kStatusLoggedIn);
    INT32 inputDevice = 0;
    INT32 outputDevice = 0;
    if (TT_GetDefaultSoundDevices(&inputDevice, &outputDevice)) {
        TT_InitSoundInputDevice(gBridgeState.instance, inputDevice);
        TT_InitSoundOutputDevice(gBridgeState.instance, outputDevice);
        AppendDebugLine("sound devices initialized");
    }
    // Without sound devices the session still works for text and channels.
    SetStatus(kStatusAuthorized);
}
