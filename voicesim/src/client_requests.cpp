// Voice client requests: the handshake, login, joins, leaves, private
// messages and the per-connection sound notes.
#include "client_requests.h"

#include <vector>

#include "announce.h"
#include "bots.h"
#include "channel_tree.h"
#include "request_log.h"
#include "users.h"
#include "wireline.h"

namespace {

using Fields = std::vector<std::string>;

void Refuse(Connection& connection, const std::string& reason) {
    QueueOutput(connection, MakeLine({"REFUSED", reason}));
    connection.closeWhenFlushed = true;
}

// Some error texts quote the request, which may be as long as a line may
// be; the answer would then pass the clients' line limit, and a client
// ends a link that breaks it. The text is cut at a whole character so that
// the line fits, and "..." shows the cut. Each byte dropped takes at least
// one byte off the escaped line, so one cut is enough.
void Reply(Connection& connection, int commandId, int errorNumber, const std::string& text) {
    std::string line = ErrorLine(commandId, errorNumber, text);
    if (!FitsOneLine(line)) {
        const size_t excess = line.size() - (kMaxLineBytes + 1);
        const std::string mark = "...";
        size_t keep = text.size() > excess + mark.size() ? text.size() - excess - mark.size() : 0;
        while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) --keep;
        line = ErrorLine(commandId, errorNumber, text.substr(0, keep) + mark);
    }
    QueueOutput(connection, line);
}

void HandleHello(Connection& connection, const Fields& fields) {
    int version = 0;
    int udpPort = 0;
    bool encrypted = false;
    if (fields[0] != "HELLO") return Refuse(connection, "Expected HELLO first");
    if (fields.size() < 4 || !ReadNumber(fields[1], version) || !ReadNumber(fields[2], udpPort) ||
        !ReadFlag(fields[3], encrypted))
        return Refuse(connection, "Malformed HELLO: expected HELLO <version> <udpPort> <0|1>");
    if (version != kProtocolVersion)
        return Refuse(connection, "Protocol version " + fields[1] +
                                      " is not supported; this server speaks version " +
                                      std::to_string(kProtocolVersion));
    if (gSwitches.refuseConnections) return Refuse(connection, gSwitches.refuseReason);
    if (gSwitches.requireEncryption && !encrypted)
        return Refuse(connection, "This server requires an encrypted connection");
    connection.handshaken = true;
    connection.udpPort = udpPort;
    connection.encrypted = encrypted;
    QueueOutput(connection, MakeLine({"WELCOME", std::to_string(kProtocolVersion)}));
}

// Requests after the command ID: fields[2] onwards.
void DoLogin(Connection& connection, int commandId, const Fields& fields) {
    if (connection.userId != 0)
        return Reply(connection, commandId, kErrorAlreadyLoggedIn, "Already logged in");
    if (gSwitches.refuseLogins)
        return Reply(connection, commandId, kErrorLoginRefused, gSwitches.refuseLoginsReason);
    if (fields[2].size() > kMaxNameBytes || fields[3].size() > kMaxNameBytes)
        return Reply(
            connection, commandId, kErrorBadRequest,
            "Nickname or username longer than " + std::to_string(kMaxNameBytes) + " bytes");
    // Names are compared byte for byte, as they are kept. A user name with
    // no account (the empty one among them) is a guest's: any password does.
    const auto account = gAccounts.find(fields[3]);
    if (account != gAccounts.end() && account->second != fields[4])
        return Reply(connection, commandId, kErrorWrongAccountPassword,
                     "Wrong password for account " + fields[3]);
    LogInClient(connection, fields[2], fields[3]);
}

void DoJoin(Connection& connection, int commandId, const Fields& fields) {
    int channelId = 0;
    if (!ReadNumber(fields[2], channelId))
        return Reply(connection, commandId, kErrorBadRequest, "Bad channel ID: " + fields[2]);
    const SimChannel* channel = FindChannel(channelId);
    if (channel == nullptr)
        return Reply(connection, commandId, kErrorNoSuchChannel,
                     "Channel " + fields[2] + " does not exist");
    SimUser& user = *FindUser(connection.userId);
    // Already inside: the password was shown on the way in. A channel
    // without one takes whatever the client sends.
    if (user.channelId != channelId && !channel->password.empty() && channel->password != fields[3])
        return Reply(connection, commandId, kErrorWrongPassword,
                     "Wrong password for channel " + fields[2]);
    MoveUser(user, channelId);
}

void DoLeave(Connection& connection, int commandId, const Fields&) {
    SimUser& user = *FindUser(connection.userId);
    if (user.channelId == 0)
        return Reply(connection, commandId, kErrorNotInChannel, "You are not in a channel");
    MoveUser(user, 0);
}

void DoMessage(Connection& connection, int commandId, const Fields& fields) {
    int type = 0;
    int toUserId = 0;
    int channelId = 0;
    bool more = false;
    if (!ReadNumber(fields[2], type) || !ReadNumber(fields[3], toUserId) ||
        !ReadNumber(fields[4], channelId) || !ReadFlag(fields[6], more))
        return Reply(connection, commandId, kErrorBadRequest,
                     "Malformed MESSAGE: expected numbers for type, user and channel, 0 or 1 "
                     "for more");
    if (type != 1)
        return Reply(connection, commandId, kErrorUnsupportedMessageType,
                     "Message type " + fields[2] + " is not supported; only 1 (to a user) is");
    const SimUser* recipient = FindUser(toUserId);
    if (recipient == nullptr)
        return Reply(connection, commandId, kErrorNoSuchUser,
                     "User " + fields[3] + " does not exist");
    const SimUser& sender = *FindUser(connection.userId);
    // The sender's nickname makes the line longer than the request was.
    const std::string line = TextLine(sender, toUserId, channelId, fields[5], more);
    if (!FitsOneLine(line))
        return Reply(connection, commandId, kErrorTextTooLong,
                     "Text too long for one line: send it in pieces marked more=1");
    if (recipient->fd >= 0) {
        SendToUser(toUserId, line);
    } else {
        LetBotAnswer(*recipient, sender, fields[5], more);
    }
}

struct CommandRule {
    const char* name;
    size_t fieldCount;  // the name and the command ID included
    const char* usage;
    void (*run)(Connection&, int, const Fields&);
};

const CommandRule kCommands[] = {
    {"LOGIN", 5, "LOGIN <cmdId> <nickname> <username> <password>", DoLogin},
    {"JOIN", 4, "JOIN <cmdId> <channelId> <password>", DoJoin},
    {"LEAVE", 2, "LEAVE <cmdId>", DoLeave},
    {"MESSAGE", 7, "MESSAGE <cmdId> <msgType> <toUserId> <channelId> <text> <0|1>", DoMessage},
};

// SOUND_INPUT, SOUND_OUTPUT and VOICE: recorded, never answered unless bad.
bool HandleNote(Connection& connection, const Fields& fields) {
    const std::string& name = fields[0];
    if (name != "SOUND_INPUT" && name != "SOUND_OUTPUT" && name != "VOICE") return false;
    int device = 0;
    bool voice = false;
    const bool good = fields.size() >= 2 && (name == "VOICE" ? ReadFlag(fields[1], voice)
                                                             : ReadNumber(fields[1], device));
    if (!good) {
        Reply(connection, 0, kErrorBadRequest,
              "Malformed " + name + ": expected " + (name == "VOICE" ? "0 or 1" : "a device ID"));
    } else if (name == "VOICE") {
        connection.voice = voice;
    } else if (name == "SOUND_INPUT") {
        connection.soundInput = device;
    } else {
        connection.soundOutput = device;
    }
    return true;
}

void HandleCommand(Connection& connection, const Fields& fields) {
    int commandId = 0;
    const bool hasId = fields.size() >= 2 && ReadNumber(fields[1], commandId) && commandId > 0;
    for (const CommandRule& rule : kCommands) {
        if (fields[0] != rule.name) continue;
        if (!hasId)
            return Reply(connection, 0, kErrorBadRequest,
                         std::string(rule.name) + " needs a positive command ID: " + rule.usage);
        if (connection.userId == 0 && fields[0] != "LOGIN")
            return Reply(connection, commandId, kErrorNotLoggedIn, "Not logged in");
        if (fields.size() < rule.fieldCount)
            return Reply(connection, commandId, kErrorBadRequest,
                         std::string("Missing fields, expected ") + rule.usage);
        return rule.run(connection, commandId, fields);
    }
    Reply(connection, hasId ? commandId : 0, kErrorUnknownRequest, "Unknown request " + fields[0]);
}

}  // namespace

void HandleClientLine(Connection& connection, const std::string& line) {
    LogRequest(connection.userId, line);
    Fields fields;
    if (!ReadFields(line, fields)) {
        if (!connection.handshaken) return Refuse(connection, "Malformed HELLO: bad escape");
        return Reply(connection, 0, kErrorBadRequest, "Bad escape sequence in request");
    }
    if (!connection.handshaken) return HandleHello(connection, fields);
    if (fields[0] == "HELLO")
        return Reply(connection, 0, kErrorBadRequest, "HELLO was already answered");
    if (HandleNote(connection, fields)) return;
    HandleCommand(connection, fields);
}
