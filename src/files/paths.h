// The exchange files shared with the game, named in Windows path syntax;
// the platform layer maps them on other systems.
#pragma once

inline constexpr const char* kDataDirectory = "data";
inline constexpr const char* kStateFile = "data\\state.txt";
inline constexpr const char* kDebugLogFile = "data\\corvanex_debug.txt";
inline constexpr const char* kCommandFile = "data\\cmd.txt";
// Where a command is moved while it runs, so the game may write the next.
inline constexpr const char* kTakenCommandFile = "data\\cmd.txt.taken";
inline constexpr const char* kPrivateMessageFile = "data\\pm_in.txt";
inline constexpr const char* kUsersFile = "data\\users.txt";
inline constexpr const char* kChannelsFile = "data\\channels.txt";
// Locked by the bridge that serves the directory, for as long as it runs.
inline constexpr const char* kLockFile = "data\\voicebridge.lock";
// Written and removed at start-up, to learn that files can be made here.
inline constexpr const char* kProbeFile = "data\\voicebridge.probe";
