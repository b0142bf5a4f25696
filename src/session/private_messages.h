// Received private messages, appended to data\pm_in.txt for the game as
// "<from id>|<sender name>|<text>\n", each on one line; a bar in the
// sender's name is written as a broken bar (U+00A6), so that every entry splits
// at its first two bars. A message that cannot be appended now
// waits with the other pending writes, within a bound, and is appended
// later in arrival order.
//
// The library hands a long text over in pieces, each but the last marked as
// going on; the pieces of one message are joined into one entry. A message
// whose last piece does not come lands as far as it came once its sender
// has left, the session has ended or kMessagePieceWait has passed without a
// piece.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "session/voice_library.h"

// Pieces of a message still to come, by sender.
struct UnfinishedMessage {
    std::string sender;  // the name when the last piece came
    // Whether the sender was listed then: one that leaves ends its message.
    bool senderListed = false;
    std::vector<std::string> pieces;
    size_t bytes = 0;
    // Past kMaxJoinedMessageBytes the pieces land as they come.
    bool tooLong = false;
    std::chrono::steady_clock::time_point lastPiece;
};

extern std::map<int32_t, UnfinishedMessage> gUnfinishedMessages;

// The longest text joined into one entry.
inline constexpr size_t kMaxJoinedMessageBytes = 64 * 1024;
inline constexpr auto kMessagePieceWait = std::chrono::seconds(2);

void HandleTextMessage(const VoiceEvent& event);  // CLIENTEVENT_CMD_USER_TEXTMSG

// Once a loop turn: lands the unfinished messages that will not be
// finished.
void LandUnfinishedMessages();
