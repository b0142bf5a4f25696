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
#include "session/command_outcomes.h"
#include "session/directories.h"
#include "session/own_channel.h"
#include "session/status.h"
#include "session/voice_library.h"

namespace {

void SetPushToTalk(bool on, int64_t taken) {
    gBridgeState.pushToTalk = on;
    SetVoiceTransmission(on);
    SetStatus(kStatusAuthorized);
    CommandDone(taken);
}

// The state file changes, and the command is done, when the server puts
// the bridge in the channel; a join to the channel it is in already is
// answered so too.
void JoinChannel(int32_t channelId, int64_t taken) {
    AwaitRequest(RequestJoinChannel(channelId), taken, RequestKind::Join, channelId);
}

void Refresh(const std::string&, int64_t taken) {
    RefreshAll();
    CommandDone(taken);
}

void Leave(const std::string&, int64_t taken) {
    AwaitRequest(RequestLeaveChannel(), taken, RequestKind::Leave);
    // The game sees the leave at once; the server's own leave event follows.
    OwnChannelLeft();
}

void PushToTalkOn(const std::string&, int64_t taken) { SetPushToTalk(true, taken); }
void PushToTalkOff(const std::string&, int64_t taken) { SetPushToTalk(false, taken); }

void JoinById(const std::string& argument, int64_t taken) {
    JoinChannel(ParseInt32(argument), taken);
}

// A name that ends in a blank, as the game read it from channels.txt,
// first; then the name as a trimmed command line leaves it.
void JoinByPath(const std::string& argument, int64_t taken) {
    int32_t channelId = FindChannelIdByName(WithoutFinalLineBreak(argument));
    if (channelId == 0) channelId = FindChannelIdByName(TrimTrailingBlanks(argument));
    if (channelId == 0) return CommandFailed(taken, kFailedNoSuchChannel);
    JoinChannel(channelId, taken);
}

// "<recipient>|<text>": everything after the first bar is the text, bars
// included. Done once the library has taken every piece.
void SendPrivateMessage(const std::string& argument, int64_t taken) {
    const size_t bar = argument.find(kFieldSeparator);
    const int32_t recipient = ParseInt32(argument.substr(0, bar));
    const std::vector<int32_t> commandIds = SendPrivateText(recipient, argument.substr(bar + 1));
    for (const int32_t commandId : commandIds)
        if (commandId <= 0) return CommandFailed(taken, kFailedRejected);
    for (const int32_t commandId : commandIds) RememberMessage(commandId, taken, recipient);
    CommandDone(taken);
}

struct CommandHandler {
    const char* keyword;
    // Reports the command's outcome, now or once the server answers, under
    // the number of its "taken" line.
    void (*run)(const std::string& argument, int64_t taken);
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

// Whether the argument can be acted on at all: a channel ID or a
// recipient must be a positive number, and a message needs its bar.
bool IsUsable(const BridgeCommand& command, const std::string& argument) {
    switch (command.argument) {
        case CommandArgument::ChannelId: return ParseInt32(argument) > 0;
        case CommandArgument::UserIdAndText: {
            const size_t bar = argument.find(kFieldSeparator);
            return bar != std::string::npos && ParseInt32(argument.substr(0, bar)) > 0;
        }
        case CommandArgument::None:
        case CommandArgument::ChannelName: return true;
    }
    return false;
}

}  // namespace

void RefreshAll() {
    WriteChannelsFile();
    WriteUsersFile();
    SetStatus(kStatusAuthorized);
}

void RunCommand(const std::string& text, const std::string& written) {
    const int64_t taken = CommandTaken(text);
    for (const BridgeCommand& command : kBridgeCommands) {
        const std::optional<std::string> argument = ArgumentIfMatches(text, command);
        if (!argument) continue;
        if (!IsUsable(command, *argument)) break;
        // Over is over: nothing more reaches the server or the state.
        if (gBridgeState.session == SessionStage::Ended)
            return CommandFailed(taken, kFailedSessionOver);
        const CommandHandler& handler = *HandlerFor(command.keyword);
        if (!handler.argumentAsWritten) return handler.run(*argument, taken);
        // The trimmed text starts where the written one's leading blanks end.
        const size_t start = LeadingBlanks(written) + text.size() - argument->size();
        return handler.run(written.substr(std::min(start, written.size())), taken);
    }
    CommandFailed(taken, kFailedNotACommand);
}
