// The control command table: checks the words and the number of arguments,
// then hands over to the topic's handler. Channel, switch and quit
// commands are handled here.
#include "control_commands.h"

#include "announce.h"
#include "channels.h"
#include "connections.h"
#include "control_reply.h"

namespace {

struct ControlRule {
    const char* group;
    const char* verb;  // "" for one-word commands
    size_t minArgs;
    size_t maxArgs;
    const char* usage;
};

const ControlRule kRules[] = {
    {"channel", "add", 3, 4, "channel add <id> <parentId> <name> [password]"},
    {"channel", "rename", 2, 2, "channel rename <id> <name>"},
    {"channel", "move", 2, 2, "channel move <id> <newParentId>"},
    {"channel", "password", 1, 2, "channel password <id> [password]"},
    {"channel", "remove", 1, 1, "channel remove <id>"},
    {"bot", "add", 2, 5, "bot add <id> <nickname> [channelId] [none|echo|reply] [replyText]"},
    {"bot", "remove", 1, 1, "bot remove <id>"},
    {"bot", "say", 3, 3, "bot say <botId> <toUserId> <text>"},
    {"bot", "join", 2, 2, "bot join <botId> <channelId>"},
    {"bulk", "bots", 3, 4, "bulk bots <count> <firstId> <nickPrefix> [channelId]"},
    {"bulk", "channels", 4, 4, "bulk channels <count> <firstId> <parentId> <namePrefix>"},
    {"client", "error", 2, 3, "client error <userId> <text> [errorNo]"},
    {"client", "drop", 1, 1, "client drop <userId>"},
    {"client", "raw", 2, 2, "client raw <userId> <rawLine>"},
    {"client", "logout", 1, 1, "client logout <userId>"},
    {"client", "kick", 1, 1, "client kick <userId>"},
    {"switch", "refuse-logins", 1, 2, "switch refuse-logins <0|1> [reason]"},
    {"switch", "refuse-connections", 1, 2, "switch refuse-connections <0|1> [reason]"},
    {"switch", "require-encryption", 1, 1, "switch require-encryption <0|1>"},
    {"switch", "hold-logins", 1, 1, "switch hold-logins <0|1>"},
    {"query", "users", 0, 0, "query users"},
    {"query", "channels", 0, 0, "query channels"},
    {"query", "requests", 0, 1, "query requests [count]"},
    {"query", "client", 1, 1, "query client <userId>"},
    {"query", "switches", 0, 0, "query switches"},
    {"quit", "", 0, 0, "quit"},
};

ControlFields RunChannelCommand(const std::string& verb, ControlArgs& args) {
    const int id = args.Number(0);
    if (verb == "add") {
        const int parentId = args.Number(1);
        if (!args.problem.empty()) return Err(args.problem);
        return OkUnless(AddChannel(id, parentId, args.Text(2), args.TextOr(3, "")));
    }
    if (verb == "rename") {
        if (!args.problem.empty()) return Err(args.problem);
        return OkUnless(RenameChannel(id, args.Text(1)));
    }
    if (verb == "move") {
        const int parentId = args.Number(1);
        if (!args.problem.empty()) return Err(args.problem);
        return OkUnless(MoveChannel(id, parentId));
    }
    if (!args.problem.empty()) return Err(args.problem);
    if (verb == "password") return OkUnless(SetChannelPassword(id, args.TextOr(1, "")));
    return OkUnless(RemoveChannel(id));
}

ControlFields RunSwitchCommand(const std::string& verb, ControlArgs& args) {
    const bool on = args.Flag(0);
    if (!args.problem.empty()) return Err(args.problem);
    if (verb == "refuse-logins") {
        gSwitches.refuseLogins = on;
        if (args.Has(1)) gSwitches.refuseLoginsReason = args.Text(1);
    } else if (verb == "refuse-connections") {
        gSwitches.refuseConnections = on;
        if (args.Has(1)) gSwitches.refuseReason = args.Text(1);
    } else if (verb == "hold-logins") {
        gSwitches.holdLogins = on;
        if (!on) HandleHeldLines();
    } else {
        gSwitches.requireEncryption = on;
    }
    return Ok();
}

const ControlRule* FindRule(const ControlFields& fields, bool& groupKnown) {
    groupKnown = false;
    for (const ControlRule& rule : kRules) {
        if (fields[0] != rule.group) continue;
        groupKnown = true;
        if (rule.verb[0] == '\0' || (fields.size() >= 2 && fields[1] == rule.verb)) return &rule;
    }
    return nullptr;
}

std::string VerbsOf(const std::string& group) {
    std::string verbs;
    for (const ControlRule& rule : kRules) {
        if (group != rule.group) continue;
        if (!verbs.empty()) verbs += ", ";
        verbs += rule.verb;
    }
    return verbs;
}

}  // namespace

std::vector<std::string> RunControlCommand(const std::vector<std::string>& fields) {
    if (fields.empty() || fields[0].empty()) return Err("empty command");
    bool groupKnown = false;
    const ControlRule* rule = FindRule(fields, groupKnown);
    if (rule == nullptr) {
        if (groupKnown)
            return Err("unknown command " + fields[0] + " " + (fields.size() > 1 ? fields[1] : "") +
                       "; " + fields[0] + " takes: " + VerbsOf(fields[0]));
        return Err("unknown command " + fields[0] +
                   " (commands: channel, bot, bulk, client, switch, query, quit; fields are "
                   "separated by TAB)");
    }
    const size_t words = rule->verb[0] == '\0' ? 1 : 2;
    const ControlFields rest(fields.begin() + static_cast<long>(words), fields.end());
    if (rest.size() < rule->minArgs || rest.size() > rule->maxArgs)
        return Err(std::string("usage: ") + rule->usage);
    ControlArgs args{rest, ""};
    const std::string group = rule->group;
    const std::string verb = rule->verb;
    if (group == "channel") return RunChannelCommand(verb, args);
    if (group == "bot") return RunBotCommand(verb, args);
    if (group == "bulk") return RunBulkCommand(verb, args);
    if (group == "client") return RunClientCommand(verb, args);
    if (group == "switch") return RunSwitchCommand(verb, args);
    if (group == "query") return RunQuery(verb, args);
    gSwitches.quitRequested = true;
    return Ok();
}

void HandleControlLine(Connection& connection, const std::string& line) {
    std::vector<std::string> fields;
    const ControlFields reply =
        ReadFields(line, fields) ? RunControlCommand(fields) : Err("bad escape sequence");
    QueueOutput(connection, MakeLine(reply));
}
