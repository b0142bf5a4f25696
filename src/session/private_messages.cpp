// Private messages from other users to the game.
#include "session/private_messages.h"

#include <string>

#include "files/debug_log.h"
#include "files/paths.h"
#include "files/pending_writes.h"
#include "files/text.h"
#include "session/directories.h"
#include "session/library_text.h"

void HandleTextMessage(const TTMessage& message) {
    const TextMessage& text = message.textmessage;
    if (text.nMsgType != MSGTYPE_USER) return;
    const std::string sender = FindUserNickname(text.nFromUserID).value_or(kUnknownSenderName);
    const std::string entry = std::to_string(text.nFromUserID) + "|" + OnOneLine(sender) + "|" +
                              OnOneLine(WideToUtf8(text.szMessage)) + "\n";
    if (PendingAppendCount(kPrivateMessageFile) >= kMaxPendingMessages) {
        AppendDebugLine("pm lost, backlog full: from " + std::to_string(text.nFromUserID));
        return;
    }
    AppendInOrder(kPrivateMessageFile, entry);
}
