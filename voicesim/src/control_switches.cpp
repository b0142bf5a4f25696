// Control commands that set the server's switches, and quit.
#include "control_switches.h"

#include "sim_state.h"

namespace {

// Sets the switch from its 0|1 argument and, when one follows, the reason
// the server gives while it is on.
ControlFields SetSwitch(ControlArgs& args, bool& on, std::string* reason) {
    const bool value = args.Flag(0);
    if (!args.problem.empty()) return Err(args.problem);
    on = value;
    if (reason != nullptr && args.Has(1)) *reason = args.Text(1);
    return Ok();
}

}  // namespace

ControlFields RunSwitchRefuseLogins(ControlArgs& args) {
    return SetSwitch(args, gSwitches.refuseLogins, &gSwitches.refuseLoginsReason);
}

ControlFields RunSwitchRefuseConnections(ControlArgs& args) {
    return SetSwitch(args, gSwitches.refuseConnections, &gSwitches.refuseReason);
}

ControlFields RunSwitchRequireEncryption(ControlArgs& args) {
    return SetSwitch(args, gSwitches.requireEncryption, nullptr);
}

// The server loop reads the lines it held once the switch goes off.
ControlFields RunSwitchHoldLogins(ControlArgs& args) {
    return SetSwitch(args, gSwitches.holdLogins, nullptr);
}

ControlFields RunQuit(ControlArgs&) {
    gSwitches.quitRequested = true;
    return Ok();
}
