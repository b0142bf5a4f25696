// The bridge's entry routine: start-up, then the endless main loop.
#pragma once

// Returns one of the exit codes of the exchange vocabulary; on success it
// never returns.
int RunBridge();
