// The recording library double.
#include "library_double.h"

#include <cstring>
#include <thread>

LibraryDouble gLibraryDouble;

namespace {

int gInstanceToken;

std::string Utf8Of(const TTCHAR* text) {
    // Test texts are ASCII where they are recorded as call lines.
    std::string out;
    for (size_t i = 0; i < TT_STRLEN && text[i] != 0; ++i)
        out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return out;
}

void Record(const std::string& call) {
    gLibraryDouble.calls.push_back(call);
    if (gLibraryDouble.onCall) gLibraryDouble.onCall(call);
}

}  // namespace

TTInstance* DoubleInstance() { return reinterpret_cast<TTInstance*>(&gInstanceToken); }

void CopyText(TTCHAR* array, const std::u16string& text) {
    size_t n = 0;
    for (; n < text.size() && n < TT_STRLEN - 1; ++n) array[n] = static_cast<TTCHAR>(text[n]);
    array[n] = 0;
}

std::u16string TextOf(const TTCHAR* array) {
    std::u16string out;
    for (size_t i = 0; i < TT_STRLEN && array[i] != 0; ++i) out += static_cast<char16_t>(array[i]);
    return out;
}

TTMessage MakeEvent(INT32 code, INT32 source) {
    TTMessage message;
    std::memset(&message, 0, sizeof message);
    message.nClientEvent = code;
    message.nSource = source;
    return message;
}

TTMessage MakeUserEvent(INT32 code, INT32 userId, INT32 channelId, const std::u16string& nickname) {
    TTMessage message = MakeEvent(code);
    message.ttType = TTTYPE_USER;
    message.user.nUserID = userId;
    message.user.nChannelID = channelId;
    CopyText(message.user.szNickname, nickname);
    return message;
}

TTMessage MakeChannelEvent(INT32 code, INT32 channelId, INT32 parentId,
                           const std::u16string& name) {
    TTMessage message = MakeEvent(code);
    message.ttType = TTTYPE_CHANNEL;
    message.channel.nChannelID = channelId;
    message.channel.nParentID = parentId;
    CopyText(message.channel.szName, name);
    return message;
}

TTMessage MakeTextEvent(INT32 msgType, INT32 fromUserId, INT32 toUserId,
                        const std::u16string& text) {
    TTMessage message = MakeEvent(CLIENTEVENT_CMD_USER_TEXTMSG);
    message.ttType = TTTYPE_TEXTMESSAGE;
    message.textmessage.nMsgType = msgType;
    message.textmessage.nFromUserID = fromUserId;
    message.textmessage.nToUserID = toUserId;
    CopyText(message.textmessage.szMessage, text);
    return message;
}

TTMessage MakeErrorEvent(const std::u16string& text) {
    TTMessage message = MakeEvent(CLIENTEVENT_CMD_ERROR);
    message.ttType = TTTYPE_CLIENTERRORMSG;
    CopyText(message.clienterrormsg.szErrorMsg, text);
    return message;
}

extern "C" {

TTInstance* TT_InitTeamTalkPoll(void) {
    Record("TT_InitTeamTalkPoll");
    return gLibraryDouble.initFails ? nullptr : DoubleInstance();
}

TTBOOL TT_Connect(TTInstance*, const TTCHAR* host, INT32 tcpPort, INT32 udpPort, INT32 localTcp,
                  INT32 localUdp, TTBOOL encrypted) {
    Record("TT_Connect " + Utf8Of(host) + " " + std::to_string(tcpPort) + " " +
           std::to_string(udpPort) + " " + std::to_string(localTcp) + " " +
           std::to_string(localUdp) + " " + std::to_string(encrypted));
    return gLibraryDouble.connectResult;
}

TTBOOL TT_GetMessage(TTInstance*, TTMessage* message, const INT32* waitMs) {
    gLibraryDouble.waits.push_back(*waitMs);
    if (gLibraryDouble.events.empty()) return 0;
    std::this_thread::sleep_for(gLibraryDouble.eventDelay);
    *message = gLibraryDouble.events.front();
    gLibraryDouble.events.pop_front();
    return 1;
}

INT32 TT_DoLogin(TTInstance*, const TTCHAR* nickname, const TTCHAR* username,
                 const TTCHAR* password) {
    Record("TT_DoLogin " + Utf8Of(nickname) + " user=" + Utf8Of(username) +
           " password=" + Utf8Of(password));
    return 1;
}

INT32 TT_DoJoinChannelByID(TTInstance*, INT32 channelId, const TTCHAR* password) {
    Record("TT_DoJoinChannelByID " + std::to_string(channelId) + " password=" + Utf8Of(password));
    return 1;
}

INT32 TT_DoLeaveChannel(TTInstance*) {
    Record("TT_DoLeaveChannel");
    return 1;
}

INT32 TT_DoTextMessage(TTInstance*, const TextMessage* message) {
    Record("TT_DoTextMessage to=" + std::to_string(message->nToUserID));
    gLibraryDouble.sentMessages.push_back(*message);
    return 1;
}

TTBOOL TT_GetDefaultSoundDevices(INT32* inputDeviceId, INT32* outputDeviceId) {
    Record("TT_GetDefaultSoundDevices " + std::to_string(*inputDeviceId) + " " +
           std::to_string(*outputDeviceId));
    if (!gLibraryDouble.soundDevicesFound) return 0;
    *inputDeviceId = gLibraryDouble.inputDevice;
    *outputDeviceId = gLibraryDouble.outputDevice;
    return 1;
}

TTBOOL TT_InitSoundInputDevice(TTInstance*, INT32 deviceId) {
    Record("TT_InitSoundInputDevice " + std::to_string(deviceId));
    return 1;
}

TTBOOL TT_InitSoundOutputDevice(TTInstance*, INT32 deviceId) {
    Record("TT_InitSoundOutputDevice " + std::to_string(deviceId));
    return 1;
}

TTBOOL TT_EnableVoiceTransmission(TTInstance*, TTBOOL enable) {
    Record("TT_EnableVoiceTransmission " + std::to_string(enable));
    return 1;
}

}  // extern "C"
