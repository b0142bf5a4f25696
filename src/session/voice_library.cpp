// The calls into the voice library, and the text crossing with it.
#include "session/voice_library.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "bridge.h"
#include "session/library_text.h"

// The library's TTCHAR and the platform's wide character are one type, so
// text converts straight into and out of the library's fixed arrays.
static_assert(std::is_same_v<TTCHAR, WideChar>, "the library's text must be UTF-16 units");

namespace {

// Text units a TextMessage holds before its terminator.
constexpr size_t kMaxMessageUnits = TT_STRLEN - 1;

// Which record of the message an event carries. The library says it by
// the event's code; the record type field is not what the bridge may rely
// on.
enum class Carried { Nothing, User, Channel, Text, Error };

struct CarriedRecord {
    INT32 code;
    Carried record;
};

const CarriedRecord kCarriedRecords[] = {
    {CLIENTEVENT_CMD_ERROR, Carried::Error},
    {CLIENTEVENT_CMD_USER_LOGGEDIN, Carried::User},
    {CLIENTEVENT_CMD_USER_LOGGEDOUT, Carried::User},
    {CLIENTEVENT_CMD_USER_UPDATE, Carried::User},
    {CLIENTEVENT_CMD_USER_JOINED, Carried::User},
    {CLIENTEVENT_CMD_USER_LEFT, Carried::User},
    {CLIENTEVENT_CMD_USER_TEXTMSG, Carried::Text},
    {CLIENTEVENT_CMD_CHANNEL_NEW, Carried::Channel},
    {CLIENTEVENT_CMD_CHANNEL_UPDATE, Carried::Channel},
    {CLIENTEVENT_CMD_CHANNEL_REMOVE, Carried::Channel},
};

Carried RecordOf(INT32 code) {
    for (const CarriedRecord& row : kCarriedRecords)
        if (row.code == code) return row.record;
    return Carried::Nothing;
}

bool IsHighSurrogate(WideChar unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(WideChar unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

VoiceEvent VoiceEventOf(const TTMessage& message) {
    VoiceEvent event;
    event.code = message.nClientEvent;
    event.source = message.nSource;
    switch (RecordOf(message.nClientEvent)) {
        case Carried::User:
            event.userId = message.user.nUserID;
            event.userChannelId = message.user.nChannelID;
            event.nickname = WideToUtf8(message.user.szNickname);
            break;
        case Carried::Channel:
            event.channelId = message.channel.nChannelID;
            event.parentId = message.channel.nParentID;
            event.channelName = WideToUtf8(message.channel.szName);
            break;
        case Carried::Text:
            event.messageType = message.textmessage.nMsgType;
            event.fromUserId = message.textmessage.nFromUserID;
            event.messageText = WideToUtf8(message.textmessage.szMessage);
            event.messageGoesOn = message.textmessage.bMore != 0;
            break;
        case Carried::Error: event.errorText = WideToUtf8(message.clienterrormsg.szErrorMsg); break;
        case Carried::Nothing: break;
    }
    return event;
}

SessionStart StartVoiceSession(const std::string& host, int32_t tcpPort, int32_t udpPort,
                               bool encrypted) {
    gBridgeState.instance = TT_InitTeamTalkPoll();
    if (gBridgeState.instance == nullptr) return SessionStart::NoInstance;
    const WideString wideHost = Utf8ToWide(host);
    if (!TT_Connect(gBridgeState.instance, wideHost.c_str(), tcpPort, udpPort, 0, 0, encrypted))
        return SessionStart::NoConnection;
    return SessionStart::Started;
}

bool NextVoiceEvent(int32_t waitMs, VoiceEvent& event) {
    // One record for every event, as the library fills it.
    static TTMessage message;
    const INT32 wait = waitMs;
    if (!TT_GetMessage(gBridgeState.instance, &message, &wait)) return false;
    event = VoiceEventOf(message);
    return true;
}

void LogInToServer(const std::string& nickname, const std::string& username,
                   const std::string& password) {
    const WideString wideNickname = Utf8ToWide(nickname);
    const WideString wideUsername = Utf8ToWide(username);
    const WideString widePassword = Utf8ToWide(password);
    TT_DoLogin(gBridgeState.instance, wideNickname.c_str(), wideUsername.c_str(),
               widePassword.c_str());
}

bool OpenDefaultSoundDevices() {
    INT32 inputDevice = 0;
    INT32 outputDevice = 0;
    if (!TT_GetDefaultSoundDevices(&inputDevice, &outputDevice)) return false;
    TT_InitSoundInputDevice(gBridgeState.instance, inputDevice);
    TT_InitSoundOutputDevice(gBridgeState.instance, outputDevice);
    return true;
}

int32_t RequestJoinChannel(int32_t channelId, const std::string& password) {
    const WideString widePassword = Utf8ToWide(password);
    return TT_DoJoinChannelByID(gBridgeState.instance, channelId, widePassword.c_str());
}

int32_t RequestLeaveChannel() { return TT_DoLeaveChannel(gBridgeState.instance); }

void SetVoiceTransmission(bool on) { TT_EnableVoiceTransmission(gBridgeState.instance, on); }

std::vector<int32_t> SendPrivateText(int32_t recipient, const std::string& text) {
    const std::vector<WideString> pieces = SplitMessageText(Utf8ToWide(text), kMaxMessageUnits);
    std::vector<int32_t> commandIds;
    for (size_t i = 0; i < pieces.size(); ++i) {
        TextMessage message;
        std::memset(&message, 0, sizeof message);
        message.nMsgType = MSGTYPE_USER;
        message.nToUserID = recipient;
        pieces[i].copy(message.szMessage, pieces[i].size());
        message.bMore = i + 1 < pieces.size();
        commandIds.push_back(TT_DoTextMessage(gBridgeState.instance, &message));
    }
    return commandIds;
}

std::vector<WideString> SplitMessageText(const WideString& text, size_t maxUnits) {
    std::vector<WideString> pieces;
    size_t start = 0;
    do {
        size_t length = std::min(text.size() - start, maxUnits);
        const size_t end = start + length;
        // Step back so that a surrogate pair stays whole; a piece of one
        // unit still moves on, whatever it holds.
        if (end < text.size() && length > 1 && IsHighSurrogate(text[end - 1]) &&
            IsLowSurrogate(text[end]))
            --length;
        pieces.push_back(text.substr(start, length));
        start += length;
    } while (start < text.size());
    return pieces;
}
