// Received private messages, appended to data\pm_in.txt for the game as
// "<from id>|<sender name>|<text>\n". A message that cannot be appended now
// waits in a bounded backlog and is appended later, in arrival order.
#pragma once

#include <cstddef>
#include <string>

#include "voiceclient.h"

inline constexpr const char* kUnknownSenderName = "utilizador";
inline constexpr size_t kMaxPendingMessages = 10000;

void HandleTextMessage(const TTMessage& message);  // 310

// Appends what the backlog holds; called once per loop turn.
void FlushPendingMessages();

size_t PendingMessageCount();
