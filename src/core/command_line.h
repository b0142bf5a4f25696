// Reading BridgeConfig from the positional arguments: host, TCP port,
// UDP port, encryption flag, nickname.
#pragma once

#include <vector>

#include "bridge.h"
#include "platform.h"

// `args` as the system splits the command line, program path first.
// Missing arguments keep their defaults; those after the sixth are ignored.
// The password comes from the environment, never from the command line.
BridgeConfig ParseCommandLine(const std::vector<WideString>& args);

// True for "true" in any ASCII letter case, or exactly "1".
bool ParseEncryptedFlag(const WideString& text);
