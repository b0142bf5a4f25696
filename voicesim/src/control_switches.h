// Control commands that set the server's switches, and quit.
// Each handler is given the arguments after its command words, their
// count already checked against the control command table.
#pragma once

#include "control_reply.h"

ControlFields RunSwitchRefuseLogins(ControlArgs& args);
ControlFields RunSwitchRefuseConnections(ControlArgs& args);
ControlFields RunSwitchRequireEncryption(ControlArgs& args);
ControlFields RunSwitchHoldLogins(ControlArgs& args);
ControlFields RunQuit(ControlArgs& args);
