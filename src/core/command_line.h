// Reading BridgeConfig from the positional arguments: host, TCP port,
// UDP port, encryption flag, nickname.
#pragma once

#include <vector>

#include "bridge.h"
#include "platform.h"

// The UTF-8 form of a text argument holds at most this many bytes.
inline constexpr size_t kMaxArgumentBytes = 1023;

// `args` as the system splits the command line, program path first.
// Missing arguments keep their defaults; those after the fifth are ignored.
BridgeConfig ParseCommandLine(const std::vector<WideString>& args);

// True for "true" in any ASCII letter case, or exactly "1".
bool ParseEncryptedFlag(const WideString& text);
