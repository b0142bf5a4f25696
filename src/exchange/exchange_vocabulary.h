// What the bridge and a game say to each other through the files in data/:
// the files' names, the state file's keys and status words, and the
// commands a game may write with the shape of each one's argument. The
// bridge, gamectl and the tests all take these words from here, so that a
// new command or file is named once. Standard C++ only, nothing of the
// bridge's own, so that the game's side includes it as it is.
#pragma once

#include <cstddef>

// The folder under the bridge's working directory, and the files in it.
inline constexpr const char* kDataDirectoryName = "data";
inline constexpr const char* kStateFileName = "state.txt";
inline constexpr const char* kUsersFileName = "users.txt";
inline constexpr const char* kChannelsFileName = "channels.txt";
// Who is in which channel: "<user id>|<channel id>" a line, 0 for none.
inline constexpr const char* kMembersFileName = "members.txt";
inline constexpr const char* kPrivateMessageFileName = "pm_in.txt";
inline constexpr const char* kCommandFileName = "cmd.txt";
inline constexpr const char* kDebugLogFileName = "corvanex_debug.txt";
inline constexpr const char* kLockFileName = "voicebridge.lock";
inline constexpr const char* kEventsFileName = "events.txt";
// Where events.txt goes once it has grown past kEventsFileRotateBytes.
inline constexpr const char* kOldEventsFileName = "events.old.txt";

// What the bridge publishes for the game to read, in the order a reader
// shows them.
inline constexpr const char* kPublishedFileNames[] = {
    kStateFileName, kUsersFileName, kMembersFileName, kChannelsFileName, kPrivateMessageFileName};

// Every field of every file is separated by this byte.
inline constexpr char kFieldSeparator = '|';

// What the bridge uses for an argument the game leaves out, in the order of
// the five positional arguments: host, TCP port, UDP port, encryption,
// nickname.
inline constexpr const char* kDefaultHost = "localhost";
inline constexpr int kDefaultPort = 10333;
inline constexpr bool kDefaultEncrypted = false;
inline constexpr const char* kDefaultNickname = "Jogador";
// An optional sixth argument is the user name of a server account. Its
// password never goes on the command line, which every user of the machine
// can list: the bridge takes it from this environment variable.
inline constexpr const char* kPasswordVariable = "VOICEBRIDGE_PASSWORD";
// The ID of the game's process, for a game whose runtime cannot have the
// system end the bridge with it: once that process has ended, so does the
// bridge.
inline constexpr const char* kParentProcessVariable = "VOICEBRIDGE_PARENT_PID";

// The exit codes of a bridge that does not start; once started it runs
// until it is ended.
inline constexpr int kExitStartupFailed = 1;  // no library instance, or no connection attempt
inline constexpr int kExitAlreadyServed = 2;  // another bridge serves this data folder
inline constexpr int kExitDataUnusable = 3;   // no file can be made in the data folder
// How a bridge that ended with its game's process shows, as SIGTERM shows
// to a POSIX shell: on POSIX the bridge ends by that signal itself, on
// Windows with this code.
inline constexpr int kExitStopped = 143;

// The fixed texts the bridge publishes, in UTF-8: the error of every end of
// the session (but a refused login, which shows the server's reason), the
// errors of a start-up that fails, and the sender of a message from a user
// the bridge does not know.
inline constexpr const char* kConnectionFailedText = "Falha na liga\xC3\xA7\xC3\xA3o ao TeamTalk";
inline constexpr const char* kNoInstanceText = "TT_InitTeamTalkPoll falhou";
inline constexpr const char* kNoConnectionText = "TT_Connect falhou";
inline constexpr const char* kUnknownSenderName = "utilizador";

// The events file: one event a line, "<seq>|<kind>|<field>|...", the
// sequence number running on for the whole run, free text last.
//
// A command taken from cmd.txt: "taken|<text>", then its outcome, which
// names the taken line's number: "done|<seq>", or
// "failed|<seq>|<reason>|<server's text>".
inline constexpr const char* kEventTaken = "taken";
inline constexpr const char* kEventDone = "done";
inline constexpr const char* kEventFailed = "failed";
// The reasons of a failed command, checked in this order.
inline constexpr const char* kFailedNotACommand = "not_a_command";
inline constexpr const char* kFailedSessionOver = "session_over";
inline constexpr const char* kFailedNoSuchChannel = "no_such_channel";
inline constexpr const char* kFailedNoSuchUser = "no_such_user";
inline constexpr const char* kFailedRejected = "rejected";
inline constexpr const char* kFailedDiscarded = "discarded";
// The session: "connecting", "loggedin|<own user id>", and
// "over|<reason>|<text>" once, at its end.
inline constexpr const char* kEventConnecting = "connecting";
inline constexpr const char* kEventLoggedIn = "loggedin";
inline constexpr const char* kEventOver = "over";
// The reasons of an end.
inline constexpr const char* kOverConnectionFailed = "connection_failed";
inline constexpr const char* kOverLoginRefused = "login_refused";
inline constexpr const char* kOverLinkLost = "link_lost";
inline constexpr const char* kOverLoggedOut = "logged_out";
inline constexpr const char* kOverRemoved = "removed";
// A refusal by the server that answers no command of the game's:
// "error|<server's text>".
inline constexpr const char* kEventError = "error";
// users.txt or channels.txt was published anew: "users", "channels".
inline constexpr const char* kEventUsers = "users";
inline constexpr const char* kEventChannels = "channels";
// members.txt was published anew: "members".
inline constexpr const char* kEventMembers = "members";
// The first line of an events.txt begun anew once the full one became
// events.old.txt: "moved|events.old.txt".
inline constexpr const char* kEventMoved = "moved";

// Size limits. A command file larger than this is not read, let alone run.
inline constexpr size_t kMaxCommandBytes = 1024 * 1024;
// A host or nickname argument is cut to this many bytes of UTF-8, after
// the last whole character that fits.
inline constexpr size_t kMaxArgumentBytes = 1023;
// Private messages kept while pm_in.txt cannot be written; past this,
// newer ones are lost (and logged).
inline constexpr size_t kMaxPendingMessages = 10000;
// events.txt past this size becomes events.old.txt, at most once in
// kEventsFileRotateSeconds.
inline constexpr size_t kEventsFileRotateBytes = 8 * 1024 * 1024;
inline constexpr int kEventsFileRotateSeconds = 10;

// The state file's keys; each entry is the key, the separator, the value and
// a line feed.
inline constexpr const char* kStateKeyStatus = "status";
inline constexpr const char* kStateKeyPushToTalk = "ptt";
inline constexpr const char* kStateKeyMyUserId = "myuserid";
inline constexpr const char* kStateKeyMyChannelId = "mychannelid";
inline constexpr const char* kStateKeyMyChannelName = "mychannelname";
inline constexpr const char* kStateKeyNickname = "nickname";
inline constexpr const char* kStateKeyError = "error";

// In the order the bridge writes them.
inline constexpr const char* kStateKeys[] = {
    kStateKeyStatus,        kStateKeyPushToTalk, kStateKeyMyUserId, kStateKeyMyChannelId,
    kStateKeyMyChannelName, kStateKeyNickname,   kStateKeyError};

// The status words of the state file.
inline constexpr const char* kStatusStarting = "starting";
inline constexpr const char* kStatusLoggedIn = "loggedin";
inline constexpr const char* kStatusAuthorized = "authorized";
inline constexpr const char* kStatusError = "error";

// What follows a command's keyword, after exactly one space.
enum class CommandArgument {
    None,           // the keyword is the whole command
    ChannelId,      // a channel ID in decimal, then a bar and a password where one is needed
    ChannelName,    // a channel's name as channels.txt shows it or its path from the root,
                    // one leading "/" allowed, then a bar and a password where needed
    UserIdAndText,  // a user ID in decimal, a bar, and the text (bars allowed)
};

struct BridgeCommand {
    const char* keyword;
    CommandArgument argument;
    const char* argumentUsage;  // how a usage text names the argument
};

inline constexpr const char* kCommandRefresh = "refresh";
inline constexpr const char* kCommandLeave = "leave";
inline constexpr const char* kCommandPushToTalkOn = "ptt_on";
inline constexpr const char* kCommandPushToTalkOff = "ptt_off";
inline constexpr const char* kCommandJoinById = "joinid";
inline constexpr const char* kCommandJoinByPath = "joinpath";
inline constexpr const char* kCommandPrivateMessage = "pm";

// Every command, in the order the bridge tries them; the first match wins.
inline constexpr BridgeCommand kBridgeCommands[] = {
    {kCommandRefresh, CommandArgument::None, ""},
    {kCommandLeave, CommandArgument::None, ""},
    {kCommandPushToTalkOn, CommandArgument::None, ""},
    {kCommandPushToTalkOff, CommandArgument::None, ""},
    {kCommandJoinById, CommandArgument::ChannelId, "CHANNEL_ID[|PASSWORD]"},
    {kCommandJoinByPath, CommandArgument::ChannelName, "CHANNEL_NAME_OR_PATH[|PASSWORD]"},
    {kCommandPrivateMessage, CommandArgument::UserIdAndText, "USER_ID|TEXT"},
};

inline constexpr char kArgumentSeparator = ' ';
