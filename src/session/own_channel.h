// The bridge's own channel, as the server reports its joins and leaves.
#pragma once

#include "voiceclient.h"

void HandleUserJoined(const TTMessage& message);  // CLIENTEVENT_CMD_USER_JOINED
void HandleUserLeft(const TTMessage& message);    // CLIENTEVENT_CMD_USER_LEFT
