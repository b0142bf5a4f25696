// Changes to the simulated server's channel tree.
#include "channels.h"

#include "announce.h"
#include "channel_tree.h"
#include "users.h"

namespace {

// Highest channel ID allowed, so bulk ranges cannot overflow an int.
constexpr int kMaxChannelId = 1000000000;

std::string NoChannel(int id) { return "channel " + std::to_string(id) + " does not exist"; }

// True when `id` is `ancestor` or lies below it.
bool IsWithin(int id, int ancestor) {
    for (int at = id; at != 0;) {
        if (at == ancestor) return true;
        const auto channel = gChannels.find(at);
        if (channel == gChannels.end()) return false;
        at = channel->second.parentId;
    }
    return false;
}

std::string CheckNewId(int id) {
    if (id <= kRootChannelId || id > kMaxChannelId)
        return "channel ID must be between 2 and " + std::to_string(kMaxChannelId);
    if (gChannels.count(id) != 0) return "channel " + std::to_string(id) + " already exists";
    return "";
}

std::string CheckName(const std::string& name) {
    if (name.empty()) return "a channel needs a name";
    if (name.size() > kMaxNameBytes)
        return "channel name longer than " + std::to_string(kMaxNameBytes) + " bytes";
    return "";
}

std::string CheckChangeable(int id) {
    if (id == kRootChannelId) return "the root channel cannot be changed";
    if (gChannels.count(id) == 0) return NoChannel(id);
    return "";
}

}  // namespace

void ResetChannels() {
    gChannels.clear();
    SimChannel root;
    root.id = kRootChannelId;
    gChannels[root.id] = root;
}

std::string AddChannel(int id, int parentId, const std::string& name, const std::string& password) {
    const std::string bad = CheckNewId(id);
    if (!bad.empty()) return bad;
    if (gChannels.count(parentId) == 0) return "parent " + NoChannel(parentId);
    const std::string badName = CheckName(name);
    if (!badName.empty()) return badName;
    SimChannel& channel = gChannels[id];
    channel = SimChannel{id, parentId, name, password};
    SendToLoggedIn(ChannelLine("CHANNEL_NEW", channel));
    return "";
}

std::string RenameChannel(int id, const std::string& name) {
    const std::string bad = CheckChangeable(id);
    if (!bad.empty()) return bad;
    const std::string badName = CheckName(name);
    if (!badName.empty()) return badName;
    gChannels[id].name = name;
    SendToLoggedIn(ChannelLine("CHANNEL_UPDATE", gChannels[id]));
    return "";
}

std::string MoveChannel(int id, int newParentId) {
    const std::string bad = CheckChangeable(id);
    if (!bad.empty()) return bad;
    if (gChannels.count(newParentId) == 0) return "parent " + NoChannel(newParentId);
    // A channel below itself would leave the tree as a loop.
    if (IsWithin(newParentId, id))
        return "channel " + std::to_string(newParentId) + " lies within channel " +
               std::to_string(id);
    gChannels[id].parentId = newParentId;
    SendToLoggedIn(ChannelLine("CHANNEL_UPDATE", gChannels[id]));
    return "";
}

std::string SetChannelPassword(int id, const std::string& password) {
    const std::string bad = CheckChangeable(id);
    if (!bad.empty()) return bad;
    gChannels[id].password = password;
    SendToLoggedIn(ChannelLine("CHANNEL_UPDATE", gChannels[id]));
    return "";
}

std::string RemoveChannel(int id) {
    const std::string bad = CheckChangeable(id);
    if (!bad.empty()) return bad;
    const std::vector<int> doomed = ChannelSubtree(id);
    MoveUsersOutOf(doomed);
    std::string lines;
    for (auto at = doomed.rbegin(); at != doomed.rend(); ++at) {
        lines += ChannelLine("CHANNEL_REMOVE", gChannels[*at]);
        gChannels.erase(*at);
    }
    SendToLoggedIn(lines);
    return "";
}

std::string AddChannels(int count, int firstId, int parentId, const std::string& namePrefix) {
    if (count <= 0 || count > kMaxBulkCount)
        return "count must lie between 1 and " + std::to_string(kMaxBulkCount);
    if (firstId <= kRootChannelId || firstId > kMaxChannelId - count)
        return "channel IDs must lie between 2 and " + std::to_string(kMaxChannelId);
    if (gChannels.count(parentId) == 0) return "parent " + NoChannel(parentId);
    if (namePrefix.size() > kMaxNameBytes)
        return "name prefix longer than " + std::to_string(kMaxNameBytes) + " bytes";
    for (int id = firstId; id < firstId + count; ++id)
        if (gChannels.count(id) != 0) return "channel " + std::to_string(id) + " already exists";
    std::string lines;
    for (int id = firstId; id < firstId + count; ++id) {
        SimChannel& channel = gChannels[id];
        channel = SimChannel{id, parentId, namePrefix + std::to_string(id), ""};
        lines += ChannelLine("CHANNEL_NEW", channel);
    }
    SendToLoggedIn(lines);
    return "";
}
