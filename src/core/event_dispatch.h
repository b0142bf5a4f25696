// Routing each library event to its handler by event code.
#pragma once

#include "session/voice_library.h"

// Codes without a handler are ignored.
void HandleClientEvent(const VoiceEvent& event);
