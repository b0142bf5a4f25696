// Routing each library event to its handler by event code.
#pragma once

#include "voiceclient.h"

// Codes without a handler are ignored.
void HandleClientEvent(const TTMessage& message);
