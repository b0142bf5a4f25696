// Connection, login and error events: from a started connection attempt
// to a logged-in client with open sound devices, and the failures the
// server or the library report on the way.
#pragma once

#include "session/voice_library.h"

void HandleConnectionSuccess(const VoiceEvent& event);  // CLIENTEVENT_CON_SUCCESS
void HandleCommandError(const VoiceEvent& event);       // CLIENTEVENT_CMD_ERROR
void HandleMyselfLoggedIn(const VoiceEvent& event);     // CLIENTEVENT_CMD_MYSELF_LOGGEDIN

// CLIENTEVENT_CON_FAILED, CLIENTEVENT_CON_LOST, CLIENTEVENT_CMD_MYSELF_LOGGEDOUT
// and CLIENTEVENT_CMD_MYSELF_KICKED: the session is over for good.
void HandleSessionEnded(const VoiceEvent& event);
