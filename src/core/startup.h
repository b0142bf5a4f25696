// The bridge's entry routine: start-up, then the endless main loop.
#pragma once

// Returns 1 when the voice library cannot be initialised or the connection
// cannot be started; otherwise it never returns.
int RunBridge();
