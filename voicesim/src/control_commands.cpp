// The control command table: each row names a command, the number of
// arguments it takes and its handler. Dispatch checks the words and the
// count, then hands the arguments over.
#include "control_commands.h"

#include "announce.h"
#include "control_accounts.h"
#include "control_channels.h"
#include "control_queries.h"
#include "control_switches.h"
#include "control_users.h"
#include "wireline.h"

namespace {

struct ControlCommand {
    const char* group;
    const char* verb;  // "" for one-word commands
    size_t minArgs;
    size_t maxArgs;
    const char* usage;
    ControlFields (*run)(ControlArgs& args);
};

const ControlCommand kCommands[] = {
    {"channel", "add", 3, 4, "channel add <id> <parentId> <name> [password]", RunChannelAdd},
    {"channel", "rename", 2, 2, "channel rename <id> <name>", RunChannelRename},
    {"channel", "move", 2, 2, "channel move <id> <newParentId>", RunChannelMove},
    {"channel", "password", 1, 2, "channel password <id> [password]", RunChannelPassword},
    {"channel", "remove", 1, 1, "channel remove <id>", RunChannelRemove},
    {"bot", "add", 2, 5, "bot add <id> <nickname> [channelId] [none|echo|reply] [replyText]",
     RunBotAdd},
    {"bot", "remove", 1, 1, "bot remove <id>", RunBotRemove},
    {"bot", "say", 3, 3, "bot say <botId> <toUserId> <text>", RunBotSay},
    {"bot", "join", 2, 2, "bot join <botId> <channelId>", RunBotJoin},
    {"bulk", "bots", 3, 4, "bulk bots <count> <firstId> <nickPrefix> [channelId]", RunBulkBots},
    {"bulk", "channels", 4, 4, "bulk channels <count> <firstId> <parentId> <namePrefix>",
     RunBulkChannels},
    {"client", "error", 2, 3, "client error <userId> <text> [errorNo]", RunClientError},
    {"client", "drop", 1, 1, "client drop <userId>", RunClientDrop},
    {"client", "raw", 2, 2, "client raw <userId> <rawLine>", RunClientRaw},
    {"client", "logout", 1, 1, "client logout <userId>", RunClientLogout},
    {"client", "kick", 1, 1, "client kick <userId>", RunClientKick},
    {"account", "add", 2, 2, "account add <user name> <password>", RunAccountAdd},
    {"switch", "refuse-logins", 1, 2, "switch refuse-logins <0|1> [reason]", RunSwitchRefuseLogins},
    {"switch", "refuse-connections", 1, 2, "switch refuse-connections <0|1> [reason]",
     RunSwitchRefuseConnections},
    {"switch", "require-encryption", 1, 1, "switch require-encryption <0|1>",
     RunSwitchRequireEncryption},
    {"switch", "hold-logins", 1, 1, "switch hold-logins <0|1>", RunSwitchHoldLogins},
    {"query", "users", 0, 0, "query users", RunQueryUsers},
    {"query", "channels", 0, 0, "query channels", RunQueryChannels},
    {"query", "requests", 0, 1, "query requests [count]", RunQueryRequests},
    {"query", "client", 1, 1, "query client <userId>", RunQueryClient},
    {"query", "switches", 0, 0, "query switches", RunQuerySwitches},
    {"query", "accounts", 0, 0, "query accounts", RunQueryAccounts},
    {"quit", "", 0, 0, "quit", RunQuit},
};

const ControlCommand* FindCommand(const ControlFields& fields, bool& groupKnown) {
    groupKnown = false;
    for (const ControlCommand& command : kCommands) {
        if (fields[0] != command.group) continue;
        groupKnown = true;
        if (command.verb[0] == '\0' || (fields.size() >= 2 && fields[1] == command.verb))
            return &command;
    }
    return nullptr;
}

std::string VerbsOf(const std::string& group) {
    std::string verbs;
    for (const ControlCommand& command : kCommands) {
        if (group != command.group) continue;
        if (!verbs.empty()) verbs += ", ";
        verbs += command.verb;
    }
    return verbs;
}

// Each group once, in table order (a group's rows stand together).
std::string Groups() {
    std::string groups;
    std::string last;
    for (const ControlCommand& command : kCommands) {
        if (last == command.group) continue;
        if (!groups.empty()) groups += ", ";
        groups += command.group;
        last = command.group;
    }
    return groups;
}

}  // namespace

std::vector<std::string> RunControlCommand(const std::vector<std::string>& fields) {
    if (fields.empty() || fields[0].empty()) return Err("empty command");
    bool groupKnown = false;
    const ControlCommand* command = FindCommand(fields, groupKnown);
    if (command == nullptr) {
        if (groupKnown)
            return Err("unknown command " + fields[0] + " " + (fields.size() > 1 ? fields[1] : "") +
                       "; " + fields[0] + " takes: " + VerbsOf(fields[0]));
        return Err("unknown command " + fields[0] + " (commands: " + Groups() +
                   "; fields are separated by TAB)");
    }
    const size_t words = command->verb[0] == '\0' ? 1 : 2;
    const ControlFields rest(fields.begin() + static_cast<long>(words), fields.end());
    if (rest.size() < command->minArgs || rest.size() > command->maxArgs)
        return Err(std::string("usage: ") + command->usage);
    ControlArgs args{rest, ""};
    return command->run(args);
}

void HandleControlLine(Connection& connection, const std::string& line) {
    std::vector<std::string> fields;
    const ControlFields reply =
        ReadFields(line, fields) ? RunControlCommand(fields) : Err("bad escape sequence");
    QueueOutput(connection, MakeLine(reply));
}
