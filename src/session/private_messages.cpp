// Private messages from other users to the game.
#include "session/private_messages.h"

#include <deque>

#include "files/debug_log.h"
#include "files/file_io.h"
#include "files/paths.h"
#include "files/text.h"
#include "session/directories.h"
#include "session/library_text.h"

namespace {

std::deque<std::string> gPendingMessages;

}  // namespace

void FlushPendingMessages() {
    if (gPendingMessages.empty()) return;
    std::string text;
    for (const std::string& entry : gPendingMessages) text += entry;
    if (AppendToFile(kPrivateMessageFile, text)) gPendingMessages.clear();
}

size_t PendingMessageCount() { return gPendingMessages.size(); }

void HandleTextMessage(const TTMessage& message) {
    const TextMessage& text = message.textmessage;
    if (text.nMsgType != MSGTYPE_USER) return;
    const std::string sender = FindUserNickname(text.nFromUserID).value_or(kUnknownSenderName);
    const std::string entry =
        std::to_string(text.nFromUserID) + "|" + sender + "|" + WideToUtf8(text.szMessage) + "\n";
    if (gPendingMessages.size() >= kMaxPendingMessages) {
        AppendDebugLine("pm lost, backlog full: from " + std::to_string(text.nFromUserID));
        return;
    }
    // Behind older messages still waiting, so that the order holds.
    gPendingMessages.push_back(entry);
    FlushPendingMessages();
}
