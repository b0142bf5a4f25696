// Control queries: what the server holds now, as one reply line of fields,
// so a test can check state without being a voice client.
#include "control_queries.h"

#include <algorithm>

#include "channel_tree.h"
#include "request_log.h"
#include "users.h"

ControlFields RunQueryUsers(ControlArgs&) {
    ControlFields reply = Ok();
    for (const auto& [id, user] : gUsers) {
        reply.insert(reply.end(), {std::to_string(id), user.nickname, user.username,
                                   std::to_string(user.channelId), user.fd < 0 ? "bot" : "client"});
    }
    return reply;
}

ControlFields RunQueryChannels(ControlArgs&) {
    ControlFields reply = Ok();
    for (const int id : ChannelsInTreeOrder()) {
        const SimChannel& channel = gChannels[id];
        reply.insert(reply.end(), {std::to_string(id), std::to_string(channel.parentId),
                                   channel.name, channel.password});
    }
    return reply;
}

ControlFields RunQueryRequests(ControlArgs& args) {
    const auto& recent = RecentRequests();
    const int wanted = args.NumberOr(0, static_cast<int>(recent.size()));
    if (!args.problem.empty()) return Err(args.problem);
    if (wanted < 0) return Err("count must not be negative");
    const size_t count = std::min(recent.size(), static_cast<size_t>(wanted));
    ControlFields reply = Ok();
    for (auto request = recent.end() - static_cast<long>(count); request != recent.end(); ++request)
        reply.insert(reply.end(), {std::to_string(request->userId), request->line});
    return reply;
}

ControlFields RunQueryClient(ControlArgs& args) {
    const int userId = args.Number(0);
    if (!args.problem.empty()) return Err(args.problem);
    const SimUser* user = FindUser(userId);
    if (user == nullptr) return Err("user " + std::to_string(userId) + " does not exist");
    if (user->fd < 0) return Err("user " + std::to_string(userId) + " is a bot, not a client");
    const Connection& connection = gConnections[user->fd];
    return {"OK",
            connection.voice ? "1" : "0",
            std::to_string(connection.soundInput),
            std::to_string(connection.soundOutput),
            connection.encrypted ? "1" : "0",
            std::to_string(connection.udpPort)};
}

ControlFields RunQuerySwitches(ControlArgs&) {
    return {"OK", gSwitches.refuseLogins ? "1" : "0", gSwitches.refuseConnections ? "1" : "0",
            gSwitches.requireEncryption ? "1" : "0"};
}

ControlFields RunQueryAccounts(ControlArgs&) {
    ControlFields reply = Ok();
    for (const auto& [userName, password] : gAccounts)
        reply.insert(reply.end(), {userName, password});
    return reply;
}
