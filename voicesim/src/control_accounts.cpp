// Control commands that keep the server's accounts.
#include "control_accounts.h"

#include "sim_state.h"

// Adding an account that exists gives it the new password, so that a test
// can change one as it goes; clients already logged in stay.
ControlFields RunAccountAdd(ControlArgs& args) {
    const std::string& userName = args.Text(0);
    // The empty user name is a guest's, and stays one.
    if (userName.empty()) return Err("an account needs a user name");
    gAccounts[userName] = args.Text(1);
    return Ok();
}
