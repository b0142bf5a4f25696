// The bridge's process-wide records, on the ground floor so that every
// part of the bridge reads and writes them directly, on the one thread:
// the configuration, the session, and the mirror of the server's users and
// channels. Nothing here includes anything of the bridge's own floors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "exchange_vocabulary.h"
#include "voiceclient.h"

// Compiled-in defaults, overridden by the positional command-line
// arguments at start-up and only read afterwards.
struct BridgeConfig {
    std::string host = kDefaultHost;
    int32_t tcpPort = kDefaultPort;
    int32_t udpPort = kDefaultPort;
    bool encrypted = kDefaultEncrypted;
    std::string nickname = kDefaultNickname;
    // A server account, or a guest's login when the user name is empty. The
    // password is shown nowhere: no log, no file, no message.
    std::string username;
    std::string password;
};

// Where the voice session stands. Once ended it stays ended: the bridge
// never connects again, and the game restarts it.
enum class SessionStage { Connecting, LoggedIn, Ended };

// What the bridge knows about its own session; published to the game
// through the state file.
struct BridgeState {
    TTInstance* instance = nullptr;
    SessionStage session = SessionStage::Connecting;
    // The status word the state file shows; set through SetStatus.
    std::string status = kStatusStarting;
    int32_t myUserId = 0;
    int32_t myChannelId = 0;
    std::string myChannelName;
    bool pushToTalk = false;
    // Replaced by every error, never cleared.
    std::string lastError;
};

// What the directories keep of the library's records: what the published
// files and the lookups need, the text already in UTF-8.
struct DirectoryUser {
    int32_t id = 0;
    int32_t channelId = 0;
    std::string nickname;
};

struct DirectoryChannel {
    int32_t id = 0;
    int32_t parentId = 0;
    std::string name;
};

// The server's users or channels, in order of first arrival, IDs unique,
// each found by its ID without a walk through the list.
template <class Entry>
struct Directory {
    // In order of arrival; a removed entry leaves an empty slot until the
    // slots are compacted, so that a removal costs no shift of the rest.
    std::vector<std::optional<Entry>> slots;
    std::unordered_map<int32_t, size_t> slotOf;
    size_t emptySlots = 0;
    // Changed since its file was last published.
    bool changed = false;
};

// The users, and whether who is in which channel changed since members.txt
// was last published (a user joined or left a channel).
struct UserDirectory : Directory<DirectoryUser> {
    bool membersChanged = false;
};
using ChannelDirectory = Directory<DirectoryChannel>;

extern BridgeConfig gBridgeConfig;
extern BridgeState gBridgeState;
extern UserDirectory gUserDirectory;
extern ChannelDirectory gChannelDirectory;
