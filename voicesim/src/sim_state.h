// The process-wide records of the simulated server: its channel tree, its
// users, the open connections and the switches the control interface sets.
#pragma once

#include <map>
#include <string>

constexpr int kRootChannelId = 1;
constexpr int kProtocolVersion = 1;
// Longest line accepted from a game client, LF excluded.
constexpr size_t kMaxClientLineBytes = 65536;
// Control lines may carry long texts for fault tests.
constexpr size_t kMaxControlLineBytes = 4 * 1024 * 1024;
// A client that stops reading is dropped rather than buffered forever.
constexpr size_t kMaxPendingOutputBytes = 64 * 1024 * 1024;

struct SimChannel {
    int id = 0;
    int parentId = 0;
    std::string name;
    std::string password;
};

enum class BotAnswer { none, echo, reply };

struct SimUser {
    int id = 0;
    std::string nickname;
    std::string username;
    int channelId = 0;  // 0 = in no channel
    int fd = -1;        // -1 for bots
    BotAnswer answer = BotAnswer::none;
    std::string replyText;
};

struct Connection {
    int fd = -1;
    bool control = false;
    std::string inbound;
    std::string outbound;
    bool handshaken = false;
    bool voice = false;
    int soundInput = 0;
    int soundOutput = 0;
    int userId = 0;             // 0 until logged in
    bool closeWhenFlushed = false;
    bool dead = false;          // closed at the end of the loop round
};

struct SimSwitches {
    bool refuseLogins = false;
    bool refuseConnections = false;
    std::string refuseReason = "The server does not accept connections";
    bool requireEncryption = false;
    bool quitRequested = false;
};

extern std::map<int, SimChannel> gChannels;
extern std::map<int, SimUser> gUsers;
extern std::map<int, Connection> gConnections;  // by file descriptor
extern SimSwitches gSwitches;
