// The requests a client sends once connected; each gets a command ID so the
// server can name it in an ERROR reply.
#include <string>
#include <vector>

#include "link_steps.h"
#include "wireline.h"

namespace {

std::string Text(const TTCHAR* text) { return Utf16ToUtf8(text, TT_STRLEN); }

INT32 SendCommand(TTInstance* instance, const std::string& name,
                  const std::vector<std::string>& arguments) {
    if (instance == nullptr || instance->state != LinkState::connected) return -1;
    // Wraps before overflow; IDs only need to tell recent commands apart.
    instance->lastCommandId =
        instance->lastCommandId >= 0x7FFFFFFF ? 1 : instance->lastCommandId + 1;
    const INT32 commandId = instance->lastCommandId;
    std::vector<std::string> fields{name, std::to_string(commandId)};
    fields.insert(fields.end(), arguments.begin(), arguments.end());
    SendLine(*instance, MakeLine(fields));
    return commandId;
}

}  // namespace

extern "C" {

VOICECLIENT_API INT32 TT_DoLogin(TTInstance* instance, const TTCHAR* nickname,
                                 const TTCHAR* username, const TTCHAR* password) {
    return SendCommand(instance, "LOGIN", {Text(nickname), Text(username), Text(password)});
}

VOICECLIENT_API INT32 TT_DoJoinChannelByID(TTInstance* instance, INT32 channelId,
                                           const TTCHAR* password) {
    return SendCommand(instance, "JOIN", {std::to_string(channelId), Text(password)});
}

VOICECLIENT_API INT32 TT_DoLeaveChannel(TTInstance* instance) {
    return SendCommand(instance, "LEAVE", {});
}

VOICECLIENT_API INT32 TT_DoTextMessage(TTInstance* instance, const TextMessage* message) {
    if (message == nullptr) return -1;
    return SendCommand(instance, "MESSAGE",
                       {std::to_string(message->nMsgType), std::to_string(message->nToUserID),
                        std::to_string(message->nChannelID), Text(message->szMessage),
                        message->bMore ? "1" : "0"});
}

}  // extern "C"
