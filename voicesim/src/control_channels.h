// Control commands that change the channel tree.
// Each handler is given the arguments after its command words, their
// count already checked against the control command table.
#pragma once

#include "control_reply.h"

ControlFields RunChannelAdd(ControlArgs& args);
ControlFields RunChannelRename(ControlArgs& args);
ControlFields RunChannelMove(ControlArgs& args);
ControlFields RunChannelPassword(ControlArgs& args);
ControlFields RunChannelRemove(ControlArgs& args);
