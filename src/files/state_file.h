// The state file: seven key|value lines that tell the game what the bridge
// is doing, rebuilt whole from BridgeState and BridgeConfig on every change.
#pragma once

#include <string>

// The file's text for the current records.
std::string BuildStateText();

// Publishes the state file; the status word is the one in BridgeState.
void WriteStateFile();
