// The command processor. The commands, their order and the shape of their
// arguments are the exchange vocabulary's; here is what each one does.
// Keywords are matched byte for byte; an argument follows its keyword
// after exactly one space.
#include "commands/command_processor.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "bridge.h"
#include "commands/command_text.h"
#include "exchange_vocabulary.h"
#include "session/directories.h"
#include "session/own_channel.h"
#include "session/status.h"
#include "session/voice_library.h"

namespace {

void SetPushToTalk(bool on) {
    gBridgeState.pushToTalk = on;
    SetVoiceTransmission(on);
    SetStatus(kStatusAuthorized);
}

// The state file changes only when the server confirms the join.
void JoinChannel(int32_t channelId) {
    if (channelId <= 0) return;
    RequestJoinChannel(channelId);
}

void Refresh(const std::string&) { RefreshAll(); }

void Leave(const std::string&) {
    RequestLeaveChannel();
    // The game sees the leave at once; the server's own leave event follows.
    OwnChannelLeft();
}

void PushToTalkOn(const std::string&) { SetPushToTalk(true); }
void PushToTalkOff(const std::string&) { SetPushToTalk(false); }
void JoinById(const std::string& argument) { JoinChannel(ParseInt32(argument)); }
// A name that ends in a blank, as the game read it from channels.txt,
// first; then the name as a trimmed command line leaves it.
void JoinByPath(const std::string& argument) {
    int32_t channelId = FindChannelIdByName(WithoutFinalLineBreak(argument));
    if (channelId == 0) channelId = FindChannelIdByName(TrimTrailingBlanks(argument));
    JoinChannel(channelId);
}

// "<recipient>|<text>": everything after the first bar is the text, bars
// included.
void SendPrivateMessage(const std::string& argument) {
    const size_t bar = argument.find(kFieldSeparator);
    if (bar == std::string::npos) return;
    SendPrivateText(ParseInt32(argument.substr(0, bar)), argument.substr(bar + 1));
}

struct CommandHandler {
    const char* keyword;
    void (*run)(const std::string& argument);
    // The argument as the game wrote it, not cut at the trimmed end.
    bool argumentAsWritten = false;
};

constexpr CommandHandler kCommandHandlers[] = {
    {kCommandRefresh, Refresh},                    // rewrite channels, users and state
    {kCommandLeave, Leave},                        // leave the current channel
    {kCommandPushToTalkOn, PushToTalkOn},          // push-to-talk on
    {kCommandPushToTalkOff, PushToTalkOff},        // push-to-talk off
    {kCommandJoinById, JoinById},                  // <channel id>
    {kCommandJoinByPath, JoinByPath, true},        // <channel name>, one leading "/" allowed
    {kCommandPrivateMessage, SendPrivateMessage},  // <user id>|<text>
};

constexpr const CommandHandler* HandlerFor(std::string_view keyword) {
    for (const CommandHandler& handler : kCommandHandlers)
        if (keyword == handler.keyword) return &handler;
    return nullptr;
}

constexpr bool EveryCommandHasAHandler() {
    for (const BridgeCommand& command : kBridgeCommands)
        if (HandlerFor(command.keyword) == nullptr) return false;
    return true;
}

static_assert(EveryCommandHasAHandler(), "a command of the vocabulary has no handler here");

// The argument of `command` when it is this command, or nothing.
std::optional<std::string> ArgumentIfMatches(const std::string& text,
                                             const BridgeCommand& command) {
    const std::string_view keyword = command.keyword;
    if (command.argument == CommandArgument::None) {
        if (text == keyword) return std::string();
        return std::nullopt;
    }
    const size_t start = keyword.size() + 1;
    if (text.size() < start || text.compare(0, keyword.size(), keyword) != 0 ||
        text[keyword.size()] != kArgumentSeparator)
        return std::nullopt;
    return text.substr(start);
}

}  // namespace

void RefreshAll() {
    WriteChannelsFile();
    WriteUsersFile();
    SetStatus(kStatusAuthorized);
}

void RunCommand(const std::string& text, const std::string& written) {
    for (const BridgeCommand& command : kBridgeCommands) {
        const std::optional<std::string> argument = ArgumentIfMatches(text, command);
        if (!argument) continue;
        const CommandHandler& handler = *HandlerFor(command.keyword);
        if (!handler.argumentAsWritten) return handler.run(*argument);
        // The trimmed text starts where the written one's leading blanks end.
        const size_t start = LeadingBlanks(written) + text.size() - argument->size();
        return handler.run(written.substr(std::min(start, written.size())));
    }
}
