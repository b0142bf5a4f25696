// Private messages from other users to the game.
#include "session/private_messages.h"

#include <string>

#include "files/debug_log.h"
#include "files/fields.h"
#include "files/paths.h"
#include "files/pending_writes.h"
#include "session/directories.h"

void HandleTextMessage(const VoiceEvent& event) {
    if (event.messageType != MSGTYPE_USER) return;
    const std::string sender = FindUserNickname(event.fromUserId).value_or(kUnknownSenderName);
    const std::string entry = std::to_string(event.fromUserId) + kFieldSeparator +
                              WithoutBars(OnOneLine(sender)) + kFieldSeparator +
                              OnOneLine(event.messageText) + "\n";
    if (PendingAppendCount(kPrivateMessageFile) >= kMaxPendingMessages) {
        AppendDebugLine("pm lost, backlog full: from " + std::to_string(event.fromUserId));
        return;
    }
    AppendInOrder(kPrivateMessageFile, entry);
}
