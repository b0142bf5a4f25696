// The command processor. Keywords are lowercase and matched byte for byte;
// an argument follows its keyword after exactly one space.
#include "commands/command_processor.h"

#include <cstring>
#include <string_view>

#include "bridge.h"
#include "files/state_file.h"
#include "files/text.h"
#include "session/directories.h"
#include "session/library_text.h"

namespace {

// Text units a TextMessage holds before its terminator.
constexpr size_t kMaxMessageUnits = TT_STRLEN - 1;

void LeaveChannel() {
    TT_DoLeaveChannel(gBridgeState.instance);
    // The game sees the leave at once; the server's own leave event follows.
    gBridgeState.myChannelId = 0;
    gBridgeState.myChannelName.clear();
    SetStatus(kStatusAuthorized);
}

void SetPushToTalk(bool on) {
    gBridgeState.pushToTalk = on;
    TT_EnableVoiceTransmission(gBridgeState.instance, on);
    SetStatus(kStatusAuthorized);
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
// included. A text too long for one message goes as several, in order,
// each but the last marked as going on in the next, so that the recipient
// sees one message.
void SendPrivateMessage(const std::string& argument) {
    const size_t bar = argument.find('|');
    if (bar == std::string::npos) return;
    const int32_t recipient = ParseInt32(argument.substr(0, bar));
    const std::vector<WideString> pieces =
        SplitMessageText(Utf8ToWide(argument.substr(bar + 1)), kMaxMessageUnits);
    for (size_t i = 0; i < pieces.size(); ++i) {
        TextMessage message;
        std::memset(&message, 0, sizeof message);
        message.nMsgType = MSGTYPE_USER;
        message.nToUserID = recipient;
        pieces[i].copy(message.szMessage, pieces[i].size());
        message.bMore = i + 1 < pieces.size();
        TT_DoTextMessage(gBridgeState.instance, &message);
    }
}

void Refresh(const std::string&) { RefreshAll(); }
void Leave(const std::string&) { LeaveChannel(); }
void PushToTalkOn(const std::string&) { SetPushToTalk(true); }
void PushToTalkOff(const std::string&) { SetPushToTalk(false); }
void JoinById(const std::string& argument) { JoinChannel(ParseInt32(argument)); }
void JoinByPath(const std::string& argument) { JoinChannel(FindChannelIdByName(argument)); }

struct CommandRoute {
    // A keyword that takes an argument ends in the space that separates
    // them and starts the text; any other must be the whole text.
    const char* keyword;
    void (*run)(const std::string& argument);
};

// In the order the commands are tried; the first match wins.
const CommandRoute kCommandRoutes[] = {
    {"refresh", Refresh},         // rewrite channels, users and state
    {"leave", Leave},             // leave the current channel
    {"ptt_on", PushToTalkOn},     // push-to-talk on
    {"ptt_off", PushToTalkOff},   // push-to-talk off
    {"joinid ", JoinById},        // <channel id>
    {"joinpath ", JoinByPath},    // <channel name>, one leading "/" allowed
    {"pm ", SendPrivateMessage},  // <user id>|<text>
};

bool Matches(const std::string& command, std::string_view keyword) {
    if (keyword.back() != ' ') return command == keyword;
    return command.compare(0, keyword.size(), keyword) == 0;
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
    SetStatus(kStatusAuthorized);
}

void RunCommand(const std::string& command) {
    for (const CommandRoute& route : kCommandRoutes) {
        const std::string_view keyword = route.keyword;
        if (Matches(command, keyword)) return route.run(command.substr(keyword.size()));
    }
}
