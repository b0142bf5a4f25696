// User and channel directories: replace-or-append by ID, removal that keeps
// the order of the rest, and the two published files. A burst of events
// marks a file changed; it is published once, at the end of the drain.
#include "session/directories.h"

#include "bridge.h"
#include "files/event_log.h"
#include "files/fields.h"
#include "files/paths.h"
#include "files/pending_writes.h"

namespace {

template <class Entry>
void Upsert(Directory<Entry>& directory, Entry entry) {
    directory.changed = true;
    const auto found = directory.slotOf.find(entry.id);
    if (found != directory.slotOf.end()) {
        directory.slots[found->second] = std::move(entry);
        return;
    }
    directory.slotOf[entry.id] = directory.slots.size();
    directory.slots.push_back(std::move(entry));
}

// Drops the empty slots once they are as many as the entries, so that a
// removal costs a constant share of one pass.
template <class Entry>
void Compact(Directory<Entry>& directory) {
    if (directory.emptySlots * 2 < directory.slots.size()) return;
    std::vector<std::optional<Entry>> slots;
    slots.reserve(directory.slots.size() - directory.emptySlots);
    for (std::optional<Entry>& slot : directory.slots) {
        if (!slot) continue;
        directory.slotOf[slot->id] = slots.size();
        slots.push_back(std::move(slot));
    }
    directory.slots = std::move(slots);
    directory.emptySlots = 0;
}

template <class Entry>
void Remove(Directory<Entry>& directory, int32_t id) {
    directory.changed = true;
    const auto found = directory.slotOf.find(id);
    if (found == directory.slotOf.end()) return;
    directory.slots[found->second].reset();
    directory.slotOf.erase(found);
    ++directory.emptySlots;
    Compact(directory);
}

template <class Entry>
const Entry* Find(const Directory<Entry>& directory, int32_t id) {
    const auto found = directory.slotOf.find(id);
    return found == directory.slotOf.end() ? nullptr : &*directory.slots[found->second];
}

}  // namespace

void UpsertUser(DirectoryUser user) { Upsert(gUserDirectory, std::move(user)); }
void RemoveUser(int32_t userId) { Remove(gUserDirectory, userId); }
void UpsertChannel(DirectoryChannel channel) { Upsert(gChannelDirectory, std::move(channel)); }
void RemoveChannel(int32_t channelId) { Remove(gChannelDirectory, channelId); }

std::string BuildUsersText() {
    std::string text;
    for (const std::optional<DirectoryUser>& user : gUserDirectory.slots)
        if (user)
            text += std::to_string(user->id) + kFieldSeparator + OnOneLine(user->nickname) + "\n";
    return text;
}

std::string BuildMembersText() {
    std::string text;
    for (const std::optional<DirectoryUser>& user : gUserDirectory.slots)
        if (user)
            text +=
                std::to_string(user->id) + kFieldSeparator + std::to_string(user->channelId) + "\n";
    return text;
}

std::string BuildChannelsText() {
    std::string text;
    for (const std::optional<DirectoryChannel>& channel : gChannelDirectory.slots)
        if (channel)
            text += std::to_string(channel->id) + kFieldSeparator + OnOneLine(channel->name) +
                    kFieldSeparator + '0' + kFieldSeparator + std::to_string(channel->parentId) +
                    "\n";
    return text;
}

void WriteUsersFile() {
    gUserDirectory.changed = false;
    PublishFile(kUsersFile, BuildUsersText());
    AddEvent(kEventUsers);
    WriteMembersFile();
}

void WriteMembersFile() {
    gUserDirectory.membersChanged = false;
    PublishFile(kMembersFile, BuildMembersText());
    AddEvent(kEventMembers);
}

void WriteChannelsFile() {
    gChannelDirectory.changed = false;
    PublishFile(kChannelsFile, BuildChannelsText());
    AddEvent(kEventChannels);
}

void PublishChangedDirectories() {
    if (gChannelDirectory.changed) WriteChannelsFile();
    if (gUserDirectory.changed)
        WriteUsersFile();
    else if (gUserDirectory.membersChanged)
        WriteMembersFile();
}

std::optional<std::string> FindUserNickname(int32_t userId) {
    const DirectoryUser* user = Find(gUserDirectory, userId);
    if (user == nullptr) return std::nullopt;
    return user->nickname;
}

std::optional<std::string> FindChannelName(int32_t channelId) {
    const DirectoryChannel* channel = FindChannel(channelId);
    if (channel == nullptr) return std::nullopt;
    return channel->name;
}

const DirectoryChannel* FindChannel(int32_t channelId) {
    return Find(gChannelDirectory, channelId);
}

namespace {

// The first channel under `parentId` shown as `name`.
int32_t FindChild(int32_t parentId, const std::string& name) {
    for (const std::optional<DirectoryChannel>& channel : gChannelDirectory.slots)
        if (channel && channel->parentId == parentId && OnOneLine(channel->name) == name)
            return channel->id;
    return 0;
}

}  // namespace

int32_t FindChannelIdByName(const std::string& name) {
    // Each channel's own name alone: a parent's name is never joined in.
    for (const std::optional<DirectoryChannel>& channel : gChannelDirectory.slots)
        if (channel && OnOneLine(channel->name) == name) return channel->id;
    return 0;
}

int32_t FindChannelIdByPath(const std::string& path) {
    // The root is the one channel without a parent.
    int32_t id = FindChild(0, "");
    if (id == 0) return 0;
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find('/', start);
        id = FindChild(id, path.substr(start, slash - start));
        if (id == 0 || slash == std::string::npos) return id;
        start = slash + 1;
    }
}

void HandleUserLoggedInOrUpdated(const VoiceEvent& event) {
    UpsertUser(DirectoryUser{event.userId, event.userChannelId, event.nickname});
}

void MoveUser(int32_t userId, int32_t fromChannelId, int32_t toChannelId) {
    const auto found = gUserDirectory.slotOf.find(userId);
    if (found == gUserDirectory.slotOf.end()) return;
    DirectoryUser& user = *gUserDirectory.slots[found->second];
    // A late leave of a channel already left moves nobody.
    if (fromChannelId != 0 && user.channelId != fromChannelId) return;
    if (user.channelId == toChannelId) return;
    user.channelId = toChannelId;
    gUserDirectory.membersChanged = true;
}

void HandleUserLoggedOut(const VoiceEvent& event) { RemoveUser(event.userId); }

void HandleChannelNew(const VoiceEvent& event) {
    UpsertChannel(DirectoryChannel{event.channelId, event.parentId, event.channelName});
}

void HandleChannelRemove(const VoiceEvent& event) { RemoveChannel(event.channelId); }
