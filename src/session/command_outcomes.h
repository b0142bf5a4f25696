// What the game learns of each command it gave, in data\events.txt: a
// "taken" line when the bridge takes it, then one outcome naming that
// line's number. Requests to the server are answered later, paired with
// their command by the command ID the library returned for the request;
// a private message is done once the library takes it, and the server's
// refusal of it, should one come, follows as a second outcome.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>

enum class RequestKind { Join, Leave, Message };

struct WaitingRequest {
    int64_t taken = 0;  // the number of the command's "taken" line
    RequestKind kind = RequestKind::Join;
    int32_t target = 0;  // the channel joined, or the user a message went to
};

struct Requests {
    // By the library's command ID.
    std::map<int32_t, WaitingRequest> waiting;
    // The command IDs of the messages kept for a refusal, oldest first:
    // the server answers a message only when it refuses it, so only so many
    // are remembered.
    std::deque<int32_t> messages;
};

extern Requests gRequests;

// How many sent messages are remembered for a late refusal.
inline constexpr size_t kRememberedMessages = 10000;

// The "taken" line of a command; returns its number.
int64_t CommandTaken(const std::string& text);
void CommandDone(int64_t taken);
void CommandFailed(int64_t taken, const char* reason, const std::string& text = "");

// A join or a leave the library took (`commandId` > 0) waits for the
// server; one it did not take fails now.
void AwaitRequest(int32_t commandId, int64_t taken, RequestKind kind, int32_t target = 0);

// A piece of a message the library took, kept for a refusal.
void RememberMessage(int32_t commandId, int64_t taken, int32_t recipient);

// The server put the bridge's own user into this channel, or took it out
// of its channel: the joins to that channel, or the leaves, are done.
void AnswerOwnJoin(int32_t channelId);
void AnswerOwnLeave();

// The server refused the request with this command ID; false when it
// answers no command of the game's.
bool AnswerRefusal(int32_t commandId, const std::string& text);

// The session is over: every request still waiting fails.
void FailWaitingRequests();
