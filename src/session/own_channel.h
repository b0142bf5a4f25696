// The bridge's own channel, as the server reports its joins and leaves.
#pragma once

#include "voiceclient.h"

void HandleUserJoined(const TTMessage& message);  // 290
void HandleUserLeft(const TTMessage& message);    // 300
