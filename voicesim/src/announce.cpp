// Event lines and their delivery to voice clients.
#include "announce.h"

#include <cstdio>

#include "options.h"
#include "wireline.h"

namespace {

size_t OutputLimit() {
    return gOptions.maxOutputBytes > 0 ? gOptions.maxOutputBytes : kMaxPendingOutputBytes;
}

}  // namespace

void QueueOutput(Connection& connection, const std::string& bytes) {
    if (connection.dead) return;
    if (connection.outbound.size() + bytes.size() > OutputLimit()) {
        std::fprintf(stderr, "voicesim: dropping connection %d (user %d): not reading\n",
                     connection.fd, connection.userId);
        connection.dead = true;
        connection.outbound.clear();
        return;
    }
    connection.outbound += bytes;
}

bool FitsOneLine(const std::string& line) { return line.size() <= kMaxLineBytes + 1; }

void SendToUser(int userId, const std::string& lines) {
    const auto user = gUsers.find(userId);
    if (user == gUsers.end() || user->second.fd < 0) return;
    const auto connection = gConnections.find(user->second.fd);
    if (connection != gConnections.end()) QueueOutput(connection->second, lines);
}

void SendToLoggedIn(const std::string& lines, int exceptUserId) {
    for (auto& [fd, connection] : gConnections) {
        if (connection.userId == 0 || connection.userId == exceptUserId) continue;
        QueueOutput(connection, lines);
    }
}

std::string UserLine(const char* verb, const SimUser& user, int channelId) {
    return MakeLine(
        {verb, std::to_string(user.id), std::to_string(channelId), user.nickname, user.username});
}

std::string UserLine(const char* verb, const SimUser& user) {
    return UserLine(verb, user, user.channelId);
}

std::string ChannelLine(const char* verb, const SimChannel& channel) {
    return MakeLine({verb, std::to_string(channel.parentId), std::to_string(channel.id),
                     channel.name, channel.password.empty() ? "0" : "1"});
}

std::string ErrorLine(int commandId, int errorNumber, const std::string& text) {
    return MakeLine({"ERROR", std::to_string(commandId), std::to_string(errorNumber), text});
}

std::string TextLine(const SimUser& from, int toUserId, int channelId, const std::string& text,
                     bool more) {
    return MakeLine({"TEXTMSG", "1", std::to_string(from.id), from.nickname,
                     std::to_string(toUserId), std::to_string(channelId), text, more ? "1" : "0"});
}
