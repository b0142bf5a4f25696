// Walks of the simulated server's channel tree.
#include "channel_tree.h"

#include <map>

const SimChannel* FindChannel(int id) {
    const auto channel = gChannels.find(id);
    return channel == gChannels.end() ? nullptr : &channel->second;
}

// Preorder walk, siblings by ID. Built from one pass over the tree so that
// bursts of thousands of channels stay cheap.
std::vector<int> ChannelSubtree(int id) {
    std::map<int, std::vector<int>> children;
    for (const auto& [childId, channel] : gChannels)
        if (childId != kRootChannelId) children[channel.parentId].push_back(childId);
    std::vector<int> order;
    std::vector<int> pending{id};
    while (!pending.empty()) {
        const int at = pending.back();
        pending.pop_back();
        order.push_back(at);
        const auto found = children.find(at);
        if (found == children.end()) continue;
        // Pushed in reverse so the lowest ID comes out first.
        for (auto child = found->second.rbegin(); child != found->second.rend(); ++child)
            pending.push_back(*child);
    }
    return order;
}

std::vector<int> ChannelsInTreeOrder() { return ChannelSubtree(kRootChannelId); }
