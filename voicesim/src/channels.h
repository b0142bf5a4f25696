// The changes the control interface makes to the channel tree, each
// announced to the logged-in clients.
#pragma once

#include <string>

// Leaves only the root channel, which always exists.
void ResetChannels();

// Each change returns "" when done, else why it was refused (nothing changed).
std::string AddChannel(int id, int parentId, const std::string& name, const std::string& password);
std::string RenameChannel(int id, const std::string& name);
std::string MoveChannel(int id, int newParentId);
std::string SetChannelPassword(int id, const std::string& password);
// Removes the channel and everything below it; users inside are moved out
// (USER_LEFT) before any CHANNEL_REMOVE, and children go before parents.
std::string RemoveChannel(int id);
// count channels firstId.. under parentId named namePrefix + ID, announced
// as one burst.
std::string AddChannels(int count, int firstId, int parentId, const std::string& namePrefix);
