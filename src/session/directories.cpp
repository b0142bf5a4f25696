// User and channel directories: replace-or-append by ID, removal that keeps
// the order of the rest, and the two published files.
#include "session/directories.h"

#include <algorithm>

#include "bridge.h"
#include "files/paths.h"
#include "files/pending_writes.h"
#include "files/state_file.h"
#include "files/text.h"
#include "session/library_text.h"

namespace {

template <class Record>
void Upsert(std::vector<Record>& directory, const Record& record, int32_t Record::*key) {
    for (Record& existing : directory) {
        if (existing.*key == record.*key) {
            existing = record;
            return;
        }
    }
    directory.push_back(record);
}

template <class Record>
void Remove(std::vector<Record>& directory, int32_t id, int32_t Record::*key) {
    directory.erase(std::remove_if(directory.begin(), directory.end(),
                                   [&](const Record& r) { return r.*key == id; }),
                    directory.end());
}

}  // namespace

void UpsertUser(const User& user) { Upsert(gUserDirectory, user, &User::nUserID); }
void RemoveUser(int32_t userId) { Remove(gUserDirectory, userId, &User::nUserID); }
void UpsertChannel(const Channel& channel) {
    Upsert(gChannelDirectory, channel, &Channel::nChannelID);
}
void RemoveChannel(int32_t channelId) {
    Remove(gChannelDirectory, channelId, &Channel::nChannelID);
}

std::string BuildUsersText() {
    std::string text;
    for (const User& user : gUserDirectory)
        text += std::to_string(user.nUserID) + "|" + OnOneLine(WideToUtf8(user.szNickname)) + "\n";
    return text;
}

std::string BuildChannelsText() {
    std::string text;
    for (const Channel& channel : gChannelDirectory)
        text += std::to_string(channel.nChannelID) + "|" + OnOneLine(WideToUtf8(channel.szName)) +
                "|0|" + std::to_string(channel.nParentID) + "\n";
    return text;
}

void WriteUsersFile() { PublishFile(kUsersFile, BuildUsersText()); }
void WriteChannelsFile() { PublishFile(kChannelsFile, BuildChannelsText()); }

std::optional<std::string> FindUserNickname(int32_t userId) {
    for (const User& user : gUserDirectory)
        if (user.nUserID == userId) return WideToUtf8(user.szNickname);
    return std::nullopt;
}

std::optional<std::string> FindChannelName(int32_t channelId) {
    for (const Channel& channel : gChannelDirectory)
        if (channel.nChannelID == channelId) return WideToUtf8(channel.szName);
    return std::nullopt;
}

int32_t FindChannelIdByName(const std::string& text) {
    const std::string name = !text.empty() && text[0] == '/' ? text.substr(1) : text;
    // Each channel's own name alone: a parent's name is never joined in.
    for (const Channel& channel : gChannelDirectory)
        if (WideToUtf8(channel.szName) == name) return channel.nChannelID;
    return 0;
}

void HandleUserLoggedInOrUpdated(const TTMessage& message) {
    UpsertUser(message.user);
    WriteUsersFile();
}

void HandleUserLoggedOut(const TTMessage& message) {
    RemoveUser(message.user.nUserID);
    WriteUsersFile();
}

void HandleChannelNew(const TTMessage& message) {
    UpsertChannel(message.channel);
    WriteChannelsFile();
}

void HandleChannelUpdate(const TTMessage& message) {
    HandleChannelNew(message);
    // A rename of the bridge's own channel must reach the state file too.
    if (gBridgeState.myChannelId != 0 && message.channel.nChannelID == gBridgeState.myChannelId) {
        gBridgeState.myChannelName = WideToUtf8(message.channel.szName);
        SetStatus(kStatusAuthorized);
    }
}

void HandleChannelRemove(const TTMessage& message) {
    RemoveChannel(message.channel.nChannelID);
    WriteChannelsFile();
}
