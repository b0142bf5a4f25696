// Received private messages, appended to data\pm_in.txt for the game as
// "<from id>|<sender name>|<text>\n". A message that cannot be appended now
// waits with the other pending writes, within a bound, and is appended
// later in arrival order.
#pragma once

#include <cstddef>

#include "session/voice_library.h"

inline constexpr const char* kUnknownSenderName = "utilizador";
inline constexpr size_t kMaxPendingMessages = 10000;

void HandleTextMessage(const VoiceEvent& event);  // CLIENTEVENT_CMD_USER_TEXTMSG
