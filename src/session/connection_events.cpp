// Login, sound devices and error reporting.
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

void HandleConnectionFailed(const TTMessage&) {
    gBridgeState.lastError = kConnectionFailedText;
    gBridgeState.status = kStatusError;
    WriteStateFile();
}

// The game must not go on seeing "authorized" over a dead link; there is
// no reconnect, so the error stands until the game restarts the bridge.
void HandleConnectionLost(const TTMessage& message) { HandleConnectionFailed(message); }

void HandleCommandError(const TTMessage& message) {
    gBridgeState.lastError = WideToUtf8(message.clienterrormsg.szErrorMsg);
    AppendDebugLine("cmd_error: " + gBridgeState.lastError);
    gBridgeState.status = kStatusError;
    WriteStateFile();
}

void HandleMyselfLoggedIn(const TTMessage& message) {
    gBridgeState.myUserId = message.nSource;
    gBridgeState.status = kStatusLoggedIn;
    WriteStateFile();
    INT32 inputDevice = 0;
    INT32 outputDevice = 0;
    if (TT_GetDefaultSoundDevices(&inputDevice, &outputDevice)) {
        TT_InitSoundInputDevice(gBridgeState.instance, inputDevice);
        TT_InitSoundOutputDevice(gBridgeState.instance, outputDevice);
        AppendDebugLine("sound devices initialized");
    }
    // Without sound devices the session still works for text and channels.
    gBridgeState.status = kStatusAuthorized;
    WriteStateFile();
}
