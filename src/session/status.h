// The status word the game reads in the state file, and the one rule over
// it: once the session has ended the status stays "error". The link is
// gone for good, and no later command or event may show the game
// anything else.
#pragma once

// Sets the status word, unless the session has ended, and publishes the
// state file.
void SetStatus(const char* status);
