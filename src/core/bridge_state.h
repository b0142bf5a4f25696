// What the bridge knows about its own session; published to the game
// through the state file.
#pragma once

#include <cstdint>
#include <string>

#include "voiceclient.h"

struct BridgeState {
    TTInstance* instance = nullptr;
    int32_t myUserId = 0;
    int32_t myChannelId = 0;
    std::string myChannelName;
    bool pushToTalk = false;
    // Replaced by every error, never cleared.
    std::string lastError;
};

extern BridgeState gBridgeState;
