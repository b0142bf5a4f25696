// The logged-in users (clients and bots) and their moves between channels,
// each announced to the logged-in clients.
#pragma once

#include <string>
#include <vector>

#include "sim_state.h"

SimUser* FindUser(int id);

// Every ID ever used stays used: new client IDs lie above all of them.
void ReserveUserId(int id);

// Logs the connection in as a new user. The newcomer gets LOGGEDIN, every
// channel (CHANNEL_NEW, parents first) and every user, itself included
// (USER_LOGGEDIN); the other clients get its USER_LOGGEDIN.
void LogInClient(Connection& connection, const std::string& nickname, const std::string& username);

// Forgets the user; the other clients get USER_LOGGEDOUT naming the channel
// it was last in.
void LogOutUser(int userId);

// Puts the user in channelId (0 = no channel): USER_LEFT of the channel it
// was in, if any, then USER_JOINED of the new one. Joining the channel it
// is already in only repeats USER_JOINED.
void MoveUser(SimUser& user, int channelId);

// Takes everyone inside these channels out (USER_LEFT each), as one burst.
void MoveUsersOutOf(const std::vector<int>& channelIds);
