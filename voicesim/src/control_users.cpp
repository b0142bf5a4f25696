// Control commands about users: bots, bulk bursts and the clients
// themselves (errors, drops and raw lines for fault tests).
#include "control_users.h"

#include "announce.h"
#include "bots.h"
#include "channel_tree.h"
#include "channels.h"
#include "users.h"
#include "wireline.h"

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

// The connection of the client userId, once the arguments read so far were
// good; else null with the refusal in `why`.
Connection* CheckedClient(int userId, const ControlArgs& args, std::string& why) {
    if (!args.problem.empty()) {
        why = args.problem;
        return nullptr;
    }
    return ClientConnection(userId, why);
}

// Queues a line the control interface makes up for a client; one that
// overflows the client's unsent output drops it.
ControlFields QueueForClient(Connection& connection, int userId, const std::string& line) {
    QueueOutput(connection, line);
    if (connection.dead)
        return Err("client " + std::to_string(userId) + " dropped: it does not read its output");
    return Ok();
}

ControlFields BulkDone(int count, const std::string& refusal) {
    return refusal.empty() ? ControlFields{"OK", std::to_string(count)} : Err(refusal);
}

}  // namespace

ControlFields RunBotAdd(ControlArgs& args) {
    const int id = args.Number(0);
    const int channelId = args.NumberOr(2, 0);
    if (!args.problem.empty()) return Err(args.problem);
    BotAnswer answer = BotAnswer::none;
    if (args.Has(3) && !ReadBotAnswer(args.Text(3), answer))
        return Err("answer must be none, echo or reply, not " + args.Text(3));
    if (answer == BotAnswer::reply && !args.Has(4)) return Err("reply needs a reply text");
    return OkUnless(AddBot(id, args.Text(1), channelId, answer, args.TextOr(4, "")));
}

ControlFields RunBotRemove(ControlArgs& args) {
    const int id = args.Number(0);
    if (!args.problem.empty()) return Err(args.problem);
    return OkUnless(RemoveBot(id));
}

ControlFields RunBotSay(ControlArgs& args) {
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

ControlFields RunBotJoin(ControlArgs& args) {
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

ControlFields RunBulkBots(ControlArgs& args) {
    const int count = args.Number(0);
    const int firstId = args.Number(1);
    const int channelId = args.NumberOr(3, 0);
    if (!args.problem.empty()) return Err(args.problem);
    return BulkDone(count, AddBots(count, firstId, args.Text(2), channelId));
}

ControlFields RunBulkChannels(ControlArgs& args) {
    const int count = args.Number(0);
    const int firstId = args.Number(1);
    const int parentId = args.Number(2);
    if (!args.problem.empty()) return Err(args.problem);
    return BulkDone(count, AddChannels(count, firstId, parentId, args.Text(3)));
}

// Limited as every line to a client is, unlike a raw line.
ControlFields RunClientError(ControlArgs& args) {
    const int userId = args.Number(0);
    const int errorNumber = args.NumberOr(2, kErrorFromControl);
    std::string why;
    Connection* connection = CheckedClient(userId, args, why);
    if (connection == nullptr) return Err(why);
    const std::string line = ErrorLine(0, errorNumber, args.Text(1));
    if (!FitsOneLine(line)) return Err("text too long for one line");
    return QueueForClient(*connection, userId, line);
}

// Closed, and its user logged out, once this command returns.
ControlFields RunClientDrop(ControlArgs& args) {
    std::string why;
    Connection* connection = CheckedClient(args.Number(0), args, why);
    if (connection == nullptr) return Err(why);
    connection->dead = true;
    return Ok();
}

// May break every rule of the wire on purpose, for fault tests.
ControlFields RunClientRaw(ControlArgs& args) {
    const int userId = args.Number(0);
    std::string why;
    Connection* connection = CheckedClient(userId, args, why);
    if (connection == nullptr) return Err(why);
    return QueueForClient(*connection, userId, args.Text(1) + "\n");
}

// Logged out by the server; the link stays up, the user is gone.
ControlFields RunClientLogout(ControlArgs& args) {
    const int userId = args.Number(0);
    std::string why;
    Connection* connection = CheckedClient(userId, args, why);
    if (connection == nullptr) return Err(why);
    QueueOutput(*connection, MakeLine({"LOGGEDOUT"}));
    connection->userId = 0;
    LogOutUser(userId);
    return Ok();
}

// Told, then closed; its user is logged out with the close.
ControlFields RunClientKick(ControlArgs& args) {
    std::string why;
    Connection* connection = CheckedClient(args.Number(0), args, why);
    if (connection == nullptr) return Err(why);
    QueueOutput(*connection, MakeLine({"KICKED"}));
    connection->closeWhenFlushed = true;
    return Ok();
}
