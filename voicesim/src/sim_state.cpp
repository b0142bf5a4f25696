// The definitions of the process-wide records declared in sim_state.h.
#include "sim_state.h"

std::map<int, SimChannel> gChannels;
std::map<int, SimUser> gUsers;
std::map<std::string, std::string> gAccounts;
std::map<int, Connection> gConnections;
SimSwitches gSwitches;
