// Control queries: what the server holds now, as one reply line of fields,
// so a test can check state without being a voice client.
// Each handler is given the arguments after its command words, their
// count already checked against the control command table.
#pragma once

#include "control_reply.h"

ControlFields RunQueryUsers(ControlArgs& args);
ControlFields RunQueryChannels(ControlArgs& args);
ControlFields RunQueryRequests(ControlArgs& args);
ControlFields RunQueryClient(ControlArgs& args);
ControlFields RunQuerySwitches(ControlArgs& args);
ControlFields RunQueryAccounts(ControlArgs& args);
