// The state file: seven key|value lines that tell the game what the bridge
// is doing, rebuilt whole from BridgeState and BridgeConfig on every change.
#pragma once

#include <string>

inline constexpr const char* kStatusStarting = "starting";
inline constexpr const char* kStatusLoggedIn = "loggedin";
inline constexpr const char* kStatusAuthorized = "authorized";
inline constexpr const char* kStatusError = "error";

// The file's text for `status` and the current records.
std::string BuildStateText(const std::string& status);

// Publishes the state file for `status`.
void WriteStateFile(const std::string& status);
