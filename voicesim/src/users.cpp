// Logins, logouts and channel moves of the simulated server's users.
#include "users.h"

#include <set>

#include "announce.h"
#include "channel_tree.h"
#include "wireline.h"

namespace {

int gHighestUserId = 0;

}  // namespace

SimUser* FindUser(int id) {
    const auto user = gUsers.find(id);
    return user == gUsers.end() ? nullptr : &user->second;
}

void ReserveUserId(int id) {
    if (id > gHighestUserId) gHighestUserId = id;
}

void LogInClient(Connection& connection, const std::string& nickname, const std::string& username) {
    SimUser user;
    user.id = ++gHighestUserId;
    user.nickname = nickname;
    user.username = username;
    user.fd = connection.fd;
    gUsers[user.id] = user;
    connection.userId = user.id;

    std::string lines = MakeLine({"LOGGEDIN", std::to_string(user.id)});
    for (const int channelId : ChannelsInTreeOrder())
        lines += ChannelLine("CHANNEL_NEW", gChannels[channelId]);
    for (const auto& [id, other] : gUsers) lines += UserLine("USER_LOGGEDIN", other);
    QueueOutput(connection, lines);
    SendToLoggedIn(UserLine("USER_LOGGEDIN", user), user.id);
}

void LogOutUser(int userId) {
    const auto found = gUsers.find(userId);
    if (found == gUsers.end()) return;
    const SimUser user = found->second;
    gUsers.erase(found);
    SendToLoggedIn(UserLine("USER_LOGGEDOUT", user), userId);
}

void MoveUser(SimUser& user, int channelId) {
    std::string lines;
    if (user.channelId != 0 && user.channelId != channelId)
        lines += UserLine("USER_LEFT", user, user.channelId);
    if (channelId != 0) lines += UserLine("USER_JOINED", user, channelId);
    user.channelId = channelId;
    if (!lines.empty()) SendToLoggedIn(lines);
}

void MoveUsersOutOf(const std::vector<int>& channelIds) {
    const std::set<int> leaving(channelIds.begin(), channelIds.end());
    std::string lines;
    for (auto& [id, user] : gUsers) {
        if (leaving.count(user.channelId) == 0) continue;
        lines += UserLine("USER_LEFT", user);
        user.channelId = 0;
    }
    if (!lines.empty()) SendToLoggedIn(lines);
}
