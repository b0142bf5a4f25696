// Connection, login and error events: from a started connection attempt
// to a logged-in client with open sound devices, and the failures the
// server or the library report on the way.
#pragma once

#include "voiceclient.h"

inline constexpr const char* kConnectionFailedText = "Falha na liga\xC3\xA7\xC3\xA3o ao TeamTalk";

void HandleConnectionSuccess(const TTMessage& message);  // 10
void HandleConnectionFailed(const TTMessage& message);   // 20
void HandleConnectionLost(const TTMessage& message);     // 30
void HandleCommandError(const TTMessage& message);       // 210
void HandleMyselfLoggedIn(const TTMessage& message);     // 230
