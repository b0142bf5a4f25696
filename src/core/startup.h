// The bridge's entry routine: start-up, then the endless main loop.
#pragma once

// The exit codes of start-up; otherwise the bridge runs until it is ended.
inline constexpr int kExitStartupFailed = 1;  // no library instance, or no connection attempt
inline constexpr int kExitAlreadyServed = 2;  // another bridge runs in this directory
inline constexpr int kExitDataUnusable = 3;   // no file can be made in "data"

// Returns one of the exit codes above; on success it never returns.
int RunBridge();
