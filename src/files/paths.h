// The exchange files shared with the game, named in Windows path syntax;
// the platform layer maps them on other systems. Their names are the
// exchange vocabulary's; the bridge's own working files sit beside them.
#pragma once

#include <string>

#include "exchange_vocabulary.h"

inline std::string DataFilePath(const char* name) {
    return std::string(kDataDirectoryName) + "\\" + name;
}

inline const std::string kStateFile = DataFilePath(kStateFileName);
inline const std::string kDebugLogFile = DataFilePath(kDebugLogFileName);
inline const std::string kCommandFile = DataFilePath(kCommandFileName);
// Where a command is moved while it runs, so the game may write the next.
inline const std::string kTakenCommandFile = kCommandFile + ".taken";
inline const std::string kPrivateMessageFile = DataFilePath(kPrivateMessageFileName);
inline const std::string kUsersFile = DataFilePath(kUsersFileName);
inline const std::string kChannelsFile = DataFilePath(kChannelsFileName);
inline const std::string kMembersFile = DataFilePath(kMembersFileName);
// Locked by the bridge that serves the directory, for as long as it runs.
inline const std::string kLockFile = DataFilePath(kLockFileName);
// Written and removed at start-up, to learn that files can be made here
// and what time this folder's file system gives a file written now.
inline const std::string kProbeFile = DataFilePath("voicebridge.probe");
inline const std::string kEventsFile = DataFilePath(kEventsFileName);
inline const std::string kOldEventsFile = DataFilePath(kOldEventsFileName);
