// Building pending events and copying them into the caller's TTMessage.
#pragma once

#include "instance.h"

PendingEvent MakeBareEvent(INT32 clientEvent, INT32 source);
PendingEvent MakeUserEvent(INT32 clientEvent, INT32 userId, INT32 channelId,
                           const std::string& nickname, const std::string& username);
PendingEvent MakeChannelEvent(INT32 clientEvent, INT32 parentId, INT32 channelId,
                              const std::string& name, bool hasPassword);
PendingEvent MakeErrorEvent(INT32 commandId, INT32 errorNumber, const std::string& text);
// One event per piece when the text is longer than a TTCHAR array holds;
// bMore is set on all but the last piece, which keeps the sender's own flag.
std::vector<PendingEvent> MakeTextEvents(INT32 messageType, INT32 fromUserId,
                                         const std::string& fromUsername, INT32 toUserId,
                                         INT32 channelId, const std::string& text, bool more);

// Zeroes the whole message, then fills it from the event.
void FillMessage(const PendingEvent& event, TTMessage& message);
