// Received private messages, appended to data\pm_in.txt for the game as
// "<from id>|<sender name>|<text>\n", each on one line; a bar in the
// sender's name is written as a broken bar (U+00A6), so that every entry splits
// at its first two bars. A message that cannot be appended now
// waits with the other pending writes, within a bound, and is appended
// later in arrival order.
#pragma once

#include <cstddef>

#include "session/voice_library.h"

void HandleTextMessage(const VoiceEvent& event);  // CLIENTEVENT_CMD_USER_TEXTMSG
