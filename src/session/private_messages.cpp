// Private messages from other users to the game.
#include "session/private_messages.h"

#include <optional>

#include "bridge.h"
#include "exchange_vocabulary.h"
#include "files/debug_log.h"
#include "files/fields.h"
#include "files/paths.h"
#include "files/pending_writes.h"
#include "session/directories.h"

std::map<int32_t, UnfinishedMessage> gUnfinishedMessages;

namespace {

void LandEntry(int32_t fromUserId, const std::string& sender, const std::string& text) {
    const std::string entry = std::to_string(fromUserId) + kFieldSeparator +
                              WithoutBars(OnOneLine(sender)) + kFieldSeparator + OnOneLine(text) +
                              "\n";
    if (PendingAppendCount(kPrivateMessageFile) >= kMaxPendingMessages) {
        AppendDebugLine("pm lost, backlog full: from " + std::to_string(fromUserId));
        return;
    }
    AppendInOrder(kPrivateMessageFile, entry);
}

// What came of the message, as one entry, or as the pieces it came in once
// it grew too long to join.
void LandPieces(int32_t fromUserId, const UnfinishedMessage& message) {
    if (message.tooLong) {
        for (const std::string& piece : message.pieces)
            LandEntry(fromUserId, message.sender, piece);
        return;
    }
    std::string text;
    for (const std::string& piece : message.pieces) text += piece;
    LandEntry(fromUserId, message.sender, text);
}

}  // namespace

void HandleTextMessage(const VoiceEvent& event) {
    if (event.messageType != MSGTYPE_USER) return;
    const std::optional<std::string> listed = FindUserNickname(event.fromUserId);
    const std::string sender = listed.value_or(kUnknownSenderName);
    const auto found = gUnfinishedMessages.find(event.fromUserId);
    if (found == gUnfinishedMessages.end() && !event.messageGoesOn)
        return LandEntry(event.fromUserId, sender, event.messageText);

    UnfinishedMessage& message = gUnfinishedMessages[event.fromUserId];
    message.sender = sender;
    message.senderListed = listed.has_value();
    message.lastPiece = std::chrono::steady_clock::now();
    message.pieces.push_back(event.messageText);
    message.bytes += event.messageText.size();
    if (!message.tooLong && message.bytes > kMaxJoinedMessageBytes) {
        message.tooLong = true;
        AppendDebugLine("pm too long to join, its pieces land as they came: from " +
                        std::to_string(event.fromUserId));
    }
    if (message.tooLong) {
        LandPieces(event.fromUserId, message);
        message.pieces.clear();
    }
    if (event.messageGoesOn) return;
    LandPieces(event.fromUserId, message);
    gUnfinishedMessages.erase(event.fromUserId);
}

void LandUnfinishedMessages() {
    const auto now = std::chrono::steady_clock::now();
    const bool ended = gBridgeState.session == SessionStage::Ended;
    for (auto it = gUnfinishedMessages.begin(); it != gUnfinishedMessages.end();) {
        const bool senderLeft = it->second.senderListed && !FindUserNickname(it->first);
        if (!ended && !senderLeft && now - it->second.lastPiece < kMessagePieceWait) {
            ++it;
            continue;
        }
        AppendDebugLine("pm landed unfinished: from " + std::to_string(it->first));
        LandPieces(it->first, it->second);
        it = gUnfinishedMessages.erase(it);
    }
}
