// Pending events: built from parsed server lines, copied out on delivery.
#include "event_records.h"

#include <cstring>

PendingEvent MakeBareEvent(INT32 clientEvent, INT32 source) {
    PendingEvent event;
    event.clientEvent = clientEvent;
    event.source = source;
    return event;
}

PendingEvent MakeUserEvent(INT32 clientEvent, INT32 userId, INT32 channelId,
                           const std::string& nickname, const std::string& username) {
    PendingEvent event = MakeBareEvent(clientEvent, 0);
    event.recordType = TTTYPE_USER;
    event.numbers[0] = userId;
    event.numbers[1] = channelId;
    event.texts[0] = Utf8ToUtf16(nickname);
    event.texts[1] = Utf8ToUtf16(username);
    return event;
}

PendingEvent MakeChannelEvent(INT32 clientEvent, INT32 parentId, INT32 channelId,
                              const std::string& name, bool hasPassword) {
    PendingEvent event = MakeBareEvent(clientEvent, 0);
    event.recordType = TTTYPE_CHANNEL;
    event.numbers[0] = parentId;
    event.numbers[1] = channelId;
    event.numbers[2] = hasPassword ? 1 : 0;
    event.texts[0] = Utf8ToUtf16(name);
    return event;
}

PendingEvent MakeErrorEvent(INT32 commandId, INT32 errorNumber, const std::string& text) {
    PendingEvent event = MakeBareEvent(CLIENTEVENT_CMD_ERROR, commandId);
    event.recordType = TTTYPE_CLIENTERRORMSG;
    event.numbers[0] = errorNumber;
    event.texts[0] = Utf8ToUtf16(text);
    return event;
}

std::vector<PendingEvent> MakeTextEvents(INT32 messageType, INT32 fromUserId,
                                         const std::string& fromUsername, INT32 toUserId,
                                         INT32 channelId, const std::string& text, bool more) {
    std::vector<PendingEvent> events;
    const TextUnits sender = Utf8ToUtf16(fromUsername);
    const std::vector<TextUnits> pieces = SplitWholeChars(Utf8ToUtf16(text), kMaxTextUnits);
    for (size_t i = 0; i < pieces.size(); ++i) {
        PendingEvent event = MakeBareEvent(CLIENTEVENT_CMD_USER_TEXTMSG, 0);
        event.recordType = TTTYPE_TEXTMESSAGE;
        event.numbers[0] = messageType;
        event.numbers[1] = fromUserId;
        event.numbers[2] = toUserId;
        event.numbers[3] = channelId;
        const bool last = i + 1 == pieces.size();
        event.numbers[4] = (last ? more : true) ? 1 : 0;
        event.texts[0] = sender;
        event.texts[1] = pieces[i];
        events.push_back(event);
    }
    return events;
}

void FillMessage(const PendingEvent& event, TTMessage& message) {
    std::memset(&message, 0, sizeof message);
    message.nClientEvent = event.clientEvent;
    message.nSource = event.source;
    message.ttType = event.recordType;
    switch (event.recordType) {
        case TTTYPE_USER:
            message.user.nUserID = event.numbers[0];
            message.user.nChannelID = event.numbers[1];
            CopyToFixed(event.texts[0], message.user.szNickname, TT_STRLEN);
            CopyToFixed(event.texts[1], message.user.szUsername, TT_STRLEN);
            break;
        case TTTYPE_CHANNEL:
            message.channel.nParentID = event.numbers[0];
            message.channel.nChannelID = event.numbers[1];
            message.channel.bPassword = event.numbers[2];
            CopyToFixed(event.texts[0], message.channel.szName, TT_STRLEN);
            break;
        case TTTYPE_TEXTMESSAGE:
            message.textmessage.nMsgType = event.numbers[0];
            message.textmessage.nFromUserID = event.numbers[1];
            message.textmessage.nToUserID = event.numbers[2];
            message.textmessage.nChannelID = event.numbers[3];
            message.textmessage.bMore = event.numbers[4];
            CopyToFixed(event.texts[0], message.textmessage.szFromUsername, TT_STRLEN);
            CopyToFixed(event.texts[1], message.textmessage.szMessage, TT_STRLEN);
            break;
        case TTTYPE_CLIENTERRORMSG:
            message.clienterrormsg.nErrorNo = event.numbers[0];
            CopyToFixed(event.texts[0], message.clienterrormsg.szErrorMsg, TT_STRLEN);
            break;
        default: break;
    }
}
