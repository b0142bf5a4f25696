// The mirror of the server's users and channels, fed by the library's
// events and published as data\users.txt and data\channels.txt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "voiceclient.h"

// In order of first arrival; IDs are unique.
extern std::vector<User> gUserDirectory;
extern std::vector<Channel> gChannelDirectory;

void UpsertUser(const User& user);
void RemoveUser(int32_t userId);
void UpsertChannel(const Channel& channel);
void RemoveChannel(int32_t channelId);

std::string BuildUsersText();
std::string BuildChannelsText();
void WriteUsersFile();
void WriteChannelsFile();

std::optional<std::string> FindUserNickname(int32_t userId);
std::optional<std::string> FindChannelName(int32_t channelId);

// The first channel whose own name equals `text` without one leading "/";
// 0 when none does.
int32_t FindChannelIdByName(const std::string& text);

// Event handlers: 260 and 280, 270, 320, 330, 340.
void HandleUserLoggedInOrUpdated(const TTMessage& message);
void HandleUserLoggedOut(const TTMessage& message);
void HandleChannelNew(const TTMessage& message);
void HandleChannelUpdate(const TTMessage& message);
void HandleChannelRemove(const TTMessage& message);
