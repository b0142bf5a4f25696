// The mirror of the server's users and channels, fed by the library's
// events and published as data\users.txt and data\channels.txt. The event
// handlers only mark a file changed; the main loop publishes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "bridge.h"
#include "session/voice_library.h"

void UpsertUser(DirectoryUser user);
void RemoveUser(int32_t userId);
void UpsertChannel(DirectoryChannel channel);
void RemoveChannel(int32_t channelId);

std::string BuildUsersText();
std::string BuildChannelsText();
std::string BuildMembersText();
// Publish the file now, whether changed or not; members.txt goes with
// users.txt.
void WriteUsersFile();
void WriteMembersFile();
void WriteChannelsFile();

// Publishes each file whose directory changed since it was last published:
// once per drain, however many events changed it.
void PublishChangedDirectories();

std::optional<std::string> FindUserNickname(int32_t userId);

// The user went into `toChannelId` (0: none); a move out of a channel is
// taken only while the user is in `fromChannelId` (0: wherever it is).
void MoveUser(int32_t userId, int32_t fromChannelId, int32_t toChannelId);
std::optional<std::string> FindChannelName(int32_t channelId);
// The channel as the directory holds it, valid until the directory changes;
// null when there is none.
const DirectoryChannel* FindChannel(int32_t channelId);

// The first channel whose own name, as channels.txt shows it (line breaks
// folded), equals `name`; 0 when none does.
int32_t FindChannelIdByName(const std::string& name);

// The channel at `path` from the root: its segments, split at "/", name a
// child of the root, a child of that, and so on, each as channels.txt shows
// names (the first such child among equal names); 0 when there is none.
int32_t FindChannelIdByPath(const std::string& path);

// CLIENTEVENT_CMD_USER_LOGGEDIN and CLIENTEVENT_CMD_USER_UPDATE.
void HandleUserLoggedInOrUpdated(const VoiceEvent& event);
void HandleUserLoggedOut(const VoiceEvent& event);  // CLIENTEVENT_CMD_USER_LOGGEDOUT
void HandleChannelNew(const VoiceEvent& event);     // CLIENTEVENT_CMD_CHANNEL_NEW
void HandleChannelRemove(const VoiceEvent& event);  // CLIENTEVENT_CMD_CHANNEL_REMOVE
