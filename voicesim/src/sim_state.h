// The process-wide records of the simulated server: its channel tree, its
// users, its accounts, the open connections and the switches the control
// interface sets.
#pragma once

#include <map>
#include <string>

constexpr int kRootChannelId = 1;
// Control lines may carry long texts for fault tests.
constexpr size_t kMaxControlLineBytes = 4 * 1024 * 1024;
// A client that stops reading is dropped rather than buffered forever
// (--max-output can lower it, so a test can reach it quickly).
constexpr size_t kMaxPendingOutputBytes = 64 * 1024 * 1024;
// Most bots or channels one bulk command makes.
constexpr int kMaxBulkCount = 100000;
// Longest nickname, username, channel name or bot reply, so that every
// event line built from them stays within the clients' line limit.
constexpr size_t kMaxNameBytes = 4096;
// Beyond this many open connections new ones are refused.
constexpr size_t kMaxConnections = 1000;

// The errorNo field of ERROR lines, so a client can tell causes apart
// without reading the text.
enum ErrorNumber {
    kErrorFromControl = 0,  // sent by "client error" unless another number is given
    kErrorBadRequest = 1000,
    kErrorUnknownRequest = 1001,
    kErrorNotLoggedIn = 1002,
    kErrorAlreadyLoggedIn = 1003,
    kErrorLineTooLong = 1004,
    kErrorLoginRefused = 2001,
    kErrorWrongAccountPassword = 2002,
    kErrorNoSuchChannel = 3001,
    kErrorWrongPassword = 3002,
    kErrorNotInChannel = 3003,
    kErrorNoSuchUser = 3004,
    kErrorUnsupportedMessageType = 3005,
    kErrorTextTooLong = 3006,
};

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
    bool encrypted = false;
    int udpPort = 0;
    bool voice = false;
    int soundInput = 0;
    int soundOutput = 0;
    int userId = 0;  // 0 until logged in
    bool closeWhenFlushed = false;
    bool dead = false;  // closed (and its user logged out) by ReapDeadConnections
};

struct SimSwitches {
    bool refuseLogins = false;
    std::string refuseLoginsReason = "The server does not accept logins";
    bool refuseConnections = false;
    std::string refuseReason = "The server does not accept connections";
    bool requireEncryption = false;
    // LOGIN requests, and whatever the client sends after one, wait unread
    // until the switch goes off: a server that answers late.
    bool holdLogins = false;
    bool quitRequested = false;
};

extern std::map<int, SimChannel> gChannels;
extern std::map<int, SimUser> gUsers;
// Password by user name. A login naming one of these user names must give
// its password; any other user name logs in as a guest.
extern std::map<std::string, std::string> gAccounts;
extern std::map<int, Connection> gConnections;  // by file descriptor
extern SimSwitches gSwitches;
