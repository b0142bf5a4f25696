// Building the server's event lines and queueing them for clients.
#pragma once

#include <string>

#include "sim_state.h"

// Appends bytes to the connection's unsent output. A connection whose unsent
// output passes the limit is marked dead instead: it has stopped reading.
void QueueOutput(Connection& connection, const std::string& bytes);

// True when the line (LF included) stays within the clients' line limit.
bool FitsOneLine(const std::string& line);

// To the client logged in as userId; nothing for bots and unknown users.
void SendToUser(int userId, const std::string& lines);

// To every logged-in client except exceptUserId (0 = none excepted).
void SendToLoggedIn(const std::string& lines, int exceptUserId = 0);

// USER_* line for user, naming channelId as its channel.
std::string UserLine(const char* verb, const SimUser& user, int channelId);
// USER_* line naming the user's current channel.
std::string UserLine(const char* verb, const SimUser& user);

std::string ChannelLine(const char* verb, const SimChannel& channel);

std::string ErrorLine(int commandId, int errorNumber, const std::string& text);

// A user-to-user TEXTMSG from `from`.
std::string TextLine(const SimUser& from, int toUserId, int channelId, const std::string& text,
                     bool more);
