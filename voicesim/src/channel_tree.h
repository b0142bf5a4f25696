// Reading the channel tree: lookups and walks that change nothing and
// announce nothing, so that users and channels can both rely on them.
#pragma once

#include <vector>

#include "sim_state.h"

const SimChannel* FindChannel(int id);

// The channel and every channel below it, each parent before its children
// (children by ID).
std::vector<int> ChannelSubtree(int id);

// Every channel ID, each parent before its children (children by ID).
std::vector<int> ChannelsInTreeOrder();
