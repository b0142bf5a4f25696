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
#include "commands/join_arguments.h"
#include "exchange_vocabulary.h"
#include "files/debug_log.h"
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
void JoinChannel(const JoinTarget& target, int64_t taken) {
    if (target.channelId == 0) return CommandFailed(taken, kFailedNoSuchChannel);
    AwaitRequest(RequestJoinChannel(target.channelId, target.password), taken, RequestKind::Join,
                 target.channelId);
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
    JoinChannel(ReadJoinById(argument), taken);
}

void JoinByPath(const std::string& argument, int64_t taken) {
    JoinChannel(ReadJoinByPath(argument), taken);
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
        case CommandArgument::ChannelId: return ReadJoinById(argument).channelId > 0;
        case CommandArgument::UserIdAndText: {
            const size_t bar = argument.find(kFieldSeparator);
            return bar != std::string::npos && ParseInt32(argument.substr(0, bar)) > 0;
        }
        case CommandArgument::None:
        case CommandArgument::ChannelName: return true;
    }
    return false;
}

// The command as the debug log and events.txt show it: a password given
// with a join stands masked.
std::string Shown(const std::string& text, const BridgeCommand& command,
                  const std::string& argument) {
    JoinTarget target;
    if (command.argument == CommandArgument::ChannelId) target = ReadJoinById(argument);
    if (command.argument == CommandArgument::ChannelName) {
        target = ReadJoinByPath(argument);
        // Where no channel tells (the lists may not be there yet), what
        // follows a last bar may be a password all the same.
        const size_t bar = argument.rfind(kFieldSeparator);
        if (target.channelId == 0 && bar != std::string::npos) {
            target.named = argument.substr(0, bar);
            target.hasPassword = true;
        }
    }
    if (!target.hasPassword) return text;
    return std::string(command.keyword) + kArgumentSeparator + target.named + kFieldSeparator +
           kMaskedPassword;
}

}  // namespace

void RefreshAll() {
    WriteChannelsFile();
    WriteUsersFile();
    SetStatus(kStatusAuthorized);
}

std::string ShownCommand(const std::string& text) {
    for (const BridgeCommand& command : kBridgeCommands)
        if (const std::optional<std::string> argument = ArgumentIfMatches(text, command))
            return Shown(text, command, *argument);
    return text;
}

void RunCommand(const std::string& text, const std::string& written) {
    for (const BridgeCommand& command : kBridgeCommands) {
        const std::optional<std::string> trimmed = ArgumentIfMatches(text, command);
        if (!trimmed) continue;
        const CommandHandler& handler = *HandlerFor(command.keyword);
        // The trimmed text starts where the written one's leading blanks end.
        const size_t start = LeadingBlanks(written) + text.size() - trimmed->size();
        const std::string argument =
            handler.argumentAsWritten ? written.substr(std::min(start, written.size())) : *trimmed;
        const std::string shown = Shown(text, command, argument);
        AppendDebugLine("cmd: " + shown);
        const int64_t taken = CommandTaken(shown);
        if (!IsUsable(command, argument)) return CommandFailed(taken, kFailedNotACommand);
        // Over is over: nothing more reaches the server or the state.
        if (gBridgeState.session == SessionStage::Ended)
            return CommandFailed(taken, kFailedSessionOver);
        return handler.run(argument, taken);
    }
    AppendDebugLine("cmd: " + text);
    CommandFailed(CommandTaken(text), kFailedNotACommand);
}
