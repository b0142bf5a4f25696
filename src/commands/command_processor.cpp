// The command processor. Keywords are lowercase and matched byte for byte;
// an argument follows its keyword after exactly one space.
#include "commands/command_processor.h"

#include <cstring>

#include "core/bridge_state.h"
#include "files/state_file.h"
#include "files/text.h"
#include "session/directories.h"
#include "session/library_text.h"

namespace {

// Text units a TextMessage holds before its terminator.
constexpr size_t kMaxMessageUnits = TT_STRLEN - 1;

bool StartsWith(const std::string& text, const char* keyword) {
    return text.compare(0, std::strlen(keyword), keyword) == 0;
}

void LeaveChannel() {
    TT_DoLeaveChannel(gBridgeState.instance);
    // The game sees the leave at once; the server's own leave event follows.
    gBridgeState.myChannelId = 0;
    gBridgeState.myChannelName.clear();
    WriteStateFile(kStatusAuthorized);
}

void SetPushToTalk(bool on) {
    gBridgeState.pushToTalk = on;
    TT_EnableVoiceTransmission(gBridgeState.instance, on);
    WriteStateFile(kStatusAuthorized);
}

// The state file changes only when the server confirms the join.
void JoinChannel(int32_t channelId) {
    if (channelId <= 0) return;
    const WideString noPassword;
    TT_DoJoinChannelByID(gBridgeState.instance, channelId, noPassword.c_str());
}

bool IsHighSurrogate(WideChar unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(WideChar unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// "pm <recipient>|<text>": everything after the first bar is the text, bars
// included. A text too long for one message goes as several, in order.
void SendPrivateMessage(const std::string& argument) {
    const size_t bar = argument.find('|');
    if (bar == std::string::npos) return;
    const int32_t recipient = ParseInt32(argument.substr(0, bar));
    for (const WideString& piece :
         SplitMessageText(Utf8ToWide(argument.substr(bar + 1)), kMaxMessageUnits)) {
        TextMessage message;
        std::memset(&message, 0, sizeof message);
        message.nMsgType = MSGTYPE_USER;
        message.nToUserID = recipient;
        piece.copy(message.szMessage, piece.size());
        TT_DoTextMessage(gBridgeState.instance, &message);
    }
}

}  // namespace

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

void RefreshAll() {
    WriteChannelsFile();
    WriteUsersFile();
    WriteStateFile(kStatusAuthorized);
}

void RunCommand(const std::string& command) {
    if (command == "refresh") return RefreshAll();
    if (command == "leave") return LeaveChannel();
    if (command == "ptt_on") return SetPushToTalk(true);
    if (command == "ptt_off") return SetPushToTalk(false);
    if (StartsWith(command, "joinid ")) return JoinChannel(ParseInt32(command.substr(7)));
    if (StartsWith(command, "joinpath "))
        return JoinChannel(FindChannelIdByName(command.substr(9)));
    if (StartsWith(command, "pm ")) return SendPrivateMessage(command.substr(3));
}
