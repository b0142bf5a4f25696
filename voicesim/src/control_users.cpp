// Control commands about users: bots, bulk bursts and the clients
// themselves (errors, drops and raw lines for fault tests).
#include "announce.h"
#include "bots.h"
#include "channel_tree.h"
#include "channels.h"
#include "control_reply.h"
#include "users.h"

namespace {

std::string NoUser(int id) { return "user " + std::to_string(id) + " does not exist"; }

// The connection of a logged-in client, or null with the reason in `why`.
Connection* ClientConnection(int userId, std::string& why) {
    const SimUser* user = FindUser(userId);
    if (user == nullptr) {
        why = NoUser(userId);
        return nullptr;
    }
    if (user->fd < 0) {
        why = "user " + std::to_string(userId) + " is a bot, not a client";
        return nullptr;
    }
    return &gConnections[user->fd];
}

SimUser* Bot(int id, std::string& why) {
    SimUser* user = FindUser(id);
    if (user == nullptr) {
        why = NoUser(id);
    } else if (user->fd >= 0) {
        why = "user " + std::to_string(id) + " is a client, not a bot";
        user = nullptr;
    }
    return user;
}

ControlFields AddOneBot(ControlArgs& args) {
    const int id = args.Number(0);
    const int channelId = args.NumberOr(2, 0);
    if (!args.problem.empty()) return Err(args.problem);
    BotAnswer answer = BotAnswer::none;
    if (args.Has(3) && !ReadBotAnswer(args.Text(3), answer))
        return Err("answer must be none, echo or reply, not " + args.Text(3));
    if (answer == BotAnswer::reply && !args.Has(4)) return Err("reply needs a reply text");
    return OkUnless(AddBot(id, args.Text(1), channelId, answer, args.TextOr(4, "")));
}

ControlFields BotSays(ControlArgs& args) {
    const int botId = args.Number(0);
    const int toUserId = args.Number(1);
    if (!args.problem.empty()) return Err(args.problem);
    std::string why;
    const SimUser* bot = Bot(botId, why);
    if (bot == nullptr || ClientConnection(toUserId, why) == nullptr) return Err(why);
    const std::string line = TextLine(*bot, toUserId, 0, args.Text(2), false);
    if (!FitsOneLine(line)) return Err("text too long for one line");
    SendToUser(toUserId, line);
    return Ok();
}

ControlFields BotJoins(ControlArgs& args) {
    const int botId = args.Number(0);
    const int channelId = args.Number(1);
    if (!args.problem.empty()) return Err(args.problem);
    std::string why;
    SimUser* bot = Bot(botId, why);
    if (bot == nullptr) return Err(why);
    if (channelId != 0 && FindChannel(channelId) == nullptr)
        return Err("channel " + std::to_string(channelId) + " does not exist");
    MoveUser(*bot, channelId);
    return Ok();
}

}  // namespace

ControlFields RunBotCommand(const std::string& verb, ControlArgs& args) {
    if (verb == "add") return AddOneBot(args);
    if (verb == "say") return BotSays(args);
    if (verb == "join") return BotJoins(args);
    const int id = args.Number(0);
    if (!args.problem.empty()) return Err(args.problem);
    return OkUnless(RemoveBot(id));
}

ControlFields RunBulkCommand(const std::string& verb, ControlArgs& args) {
    const int count = args.Number(0);
    const int firstId = args.Number(1);
    if (verb == "bots") {
        const int channelId = args.NumberOr(3, 0);
        if (!args.problem.empty()) return Err(args.problem);
        const std::string refusal = AddBots(count, firstId, args.Text(2), channelId);
        return refusal.empty() ? ControlFields{"OK", std::to_string(count)} : Err(refusal);
    }
    const int parentId = args.Number(2);
    if (!args.problem.empty()) return Err(args.problem);
    const std::string refusal = AddChannels(count, firstId, parentId, args.Text(3));
    return refusal.empty() ? ControlFields{"OK", std::to_string(count)} : Err(refusal);
}

ControlFields RunClientCommand(const std::string& verb, ControlArgs& args) {
    const int userId = args.Number(0);
    const int errorNumber = verb == "error" ? args.NumberOr(2, kErrorFromControl) : 0;
    if (!args.problem.empty()) return Err(args.problem);
    std::string why;
    Connection* connection = ClientConnection(userId, why);
    if (connection == nullptr) return Err(why);
    if (verb == "drop") {
        // Closed, and its user logged out, once this command returns.
        connection->dead = true;
        return Ok();
    }
    if (verb == "logout") {
        // Logged out by the server; the link stays up, the user is gone.
        QueueOutput(*connection, MakeLine({"LOGGEDOUT"}));
        connection->userId = 0;
        LogOutUser(userId);
        return Ok();
    }
    if (verb == "kick") {
        // Told, then closed; its user is logged out with the close.
        QueueOutput(*connection, MakeLine({"KICKED"}));
        connection->closeWhenFlushed = true;
        return Ok();
    }
    // Raw lines may break every rule on purpose; errors keep to the limit.
    const std::string line =
        verb == "error" ? ErrorLine(0, errorNumber, args.Text(1)) : args.Text(1) + "\n";
    if (verb == "error" && !FitsOneLine(line)) return Err("text too long for one line");
    QueueOutput(*connection, line);
    if (connection->dead)
        return Err("client " + std::to_string(userId) + " dropped: it does not read its output");
    return Ok();
}
