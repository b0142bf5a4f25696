// Control commands about users: bots, bulk bursts and the clients
// themselves (errors, drops and raw lines for fault tests).
// Each handler is given the arguments after its command words, their
// count already checked against the control command table.
#pragma once

#include "control_reply.h"

ControlFields RunBotAdd(ControlArgs& args);
ControlFields RunBotRemove(ControlArgs& args);
ControlFields RunBotSay(ControlArgs& args);
ControlFields RunBotJoin(ControlArgs& args);
ControlFields RunBulkBots(ControlArgs& args);
ControlFields RunBulkChannels(ControlArgs& args);
ControlFields RunClientError(ControlArgs& args);
ControlFields RunClientDrop(ControlArgs& args);
ControlFields RunClientRaw(ControlArgs& args);
ControlFields RunClientLogout(ControlArgs& args);
ControlFields RunClientKick(ControlArgs& args);
