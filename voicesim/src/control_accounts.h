// Control commands that keep the server's accounts: the user names a login
// must give a password for.
// Each handler is given the arguments after its command words, their
// count already checked against the control command table.
#pragma once

#include "control_reply.h"

ControlFields RunAccountAdd(ControlArgs& args);
