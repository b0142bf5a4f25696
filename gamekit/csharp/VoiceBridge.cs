// VoiceBridge.cs: the C# game kit for voicebridge. One file to drop into a
// game: it starts the bridge, reads the files it publishes in data/ and
// writes its commands, following the rules of docs/game-integration.md.
// C# 7.0 and .NET Standard 2.0 only, so that Unity, Godot C#, .NET and
// Mono's mcs take it as it is. Not thread-safe: call it from one thread.
using System;
using System.Collections.Generic;
using System.Collections.ObjectModel;
using System.ComponentModel;
using System.Diagnostics;
using System.Globalization;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading;

namespace VoiceBridge {
    /// <summary>What follows a command's keyword, after exactly one space.</summary>
    public enum CommandArgument {
        /// <summary>The keyword is the whole command.</summary>
        None,
        /// <summary>A channel ID in decimal, 1 to 2147483647, and optionally a bar and its password.</summary>
        ChannelId,
        /// <summary>A channel's name or path as channels.txt shows it, optionally a bar and its password.</summary>
        ChannelName,
        /// <summary>A user ID in decimal, a bar, and a text that holds more than blanks.</summary>
        UserIdAndText,
    }

    /// <summary>What a <see cref="BridgeEvent"/> tells.</summary>
    public enum BridgeEventKind {
        /// <summary>This run's status word changed: <see cref="BridgeEvent.Status"/>.</summary>
        Status,
        /// <summary>users.txt was published anew: read <see cref="Bridge.UserList"/>.</summary>
        Users,
        /// <summary>channels.txt was published anew: read <see cref="Bridge.ChannelList"/>.</summary>
        Channels,
        /// <summary>members.txt was published anew: each user's channel in <see cref="Bridge.UserList"/>.</summary>
        Members,
        /// <summary>A private message arrived: <see cref="BridgeEvent.Message"/>.</summary>
        Message,
        /// <summary>A command got its outcome: <see cref="BridgeEvent.Command"/>.</summary>
        Outcome,
        /// <summary>The session ended (once a session): <see cref="BridgeEvent.Reason"/> and <see cref="BridgeEvent.Text"/>.</summary>
        SessionOver,
        /// <summary>A restart is due: <see cref="BridgeEvent.Attempt"/> after <see cref="BridgeEvent.Delay"/>.</summary>
        Restarting,
    }

    /// <summary>The outcomes of a command besides the reasons of a session's end.</summary>
    public static class CommandOutcome {
        /// <summary>The command did what it asks.</summary>
        public const string Done = "done";
        /// <summary>The text matches no command the bridge can use.</summary>
        public const string NotACommand = "not_a_command";
        /// <summary>No live session took it; nothing was sent.</summary>
        public const string SessionOver = "session_over";
        /// <summary>A join to a channel the bridge does not know.</summary>
        public const string NoSuchChannel = "no_such_channel";
        /// <summary>A private message to a user the bridge does not know.</summary>
        public const string NoSuchUser = "no_such_user";
        /// <summary>The server refused it; its text is <see cref="BridgeCommand.OutcomeText"/>.</summary>
        public const string Rejected = "rejected";
        /// <summary>Found in cmd.txt at start-up, written before the bridge started.</summary>
        public const string Discarded = "discarded";
    }

    /// <summary>Why a session ended: <see cref="Bridge.EndReason"/>, the same on every system.</summary>
    public static class SessionEnd {
        /// <summary>The connection could not be made.</summary>
        public const string ConnectionFailed = "connection_failed";
        /// <summary>The server refused the login; the text is its reason.</summary>
        public const string LoginRefused = "login_refused";
        /// <summary>The connection was lost.</summary>
        public const string LinkLost = "link_lost";
        /// <summary>The server logged the bridge out.</summary>
        public const string LoggedOut = "logged_out";
        /// <summary>The server removed the bridge.</summary>
        public const string Removed = "removed";
        /// <summary>The game called Stop.</summary>
        public const string Stopped = "stopped";
        /// <summary>Another bridge serves the folder.</summary>
        public const string AlreadyRunning = "already_running";
        /// <summary>The bridge could make no file in data.</summary>
        public const string CannotWrite = "cannot_write";
        /// <summary>The program could not be run.</summary>
        public const string NotStarted = "not_started";
        /// <summary>The bridge's process ended in any other way.</summary>
        public const string BridgeEnded = "bridge_ended";
    }

    /// <summary>A user of users.txt, with the channel members.txt gives it (0: none or not yet known).</summary>
    public sealed class User {
        internal User(int id, string name, int channelId) {
            Id = id;
            Name = name;
            ChannelId = channelId;
        }
        /// <summary>The user's ID on the server.</summary>
        public int Id { get; }
        /// <summary>The nickname.</summary>
        public string Name { get; }
        /// <summary>The channel the user is in; 0 for none.</summary>
        public int ChannelId { get; }
    }

    /// <summary>A channel of channels.txt; the root has an empty name and parent 0.</summary>
    public sealed class Channel {
        internal Channel(int id, string name, int parentId) {
            Id = id;
            Name = name;
            ParentId = parentId;
        }
        /// <summary>The channel's ID.</summary>
        public int Id { get; }
        /// <summary>Its own name, bars and all.</summary>
        public string Name { get; }
        /// <summary>The channel it lies in; 0 for the root.</summary>
        public int ParentId { get; }
    }

    /// <summary>A private message from pm_in.txt.</summary>
    public sealed class Message {
        internal Message(int senderId, string senderName, string text) {
            SenderId = senderId;
            SenderName = senderName;
            Text = text;
        }
        /// <summary>The sender's user ID.</summary>
        public int SenderId { get; }
        /// <summary>The sender's nickname (a bar in it shows as ¦).</summary>
        public string SenderName { get; }
        /// <summary>The text, bars and all.</summary>
        public string Text { get; }
    }

    /// <summary>
    /// A command given to <see cref="Bridge.Post"/>: its outcome is null
    /// while pending, then <see cref="CommandOutcome.Done"/> or a reason.
    /// </summary>
    public sealed class BridgeCommand {
        internal BridgeCommand(string text) { Text = text; }
        /// <summary>The command exactly as posted.</summary>
        public string Text { get; }
        /// <summary>Null while pending, then "done" or the reason it failed.</summary>
        public string Outcome { get; private set; }
        /// <summary>The server's words with a refusal, else empty.</summary>
        public string OutcomeText { get; private set; } = "";
        /// <summary>True until the outcome is known.</summary>
        public bool IsPending => Outcome == null;
        // The bridge has taken it from cmd.txt (its taken line was read).
        internal bool Taken;
        internal void SetOutcome(string outcome, string text) {
            Outcome = outcome;
            OutcomeText = text ?? "";
        }
    }

    /// <summary>One thing that happened, returned by <see cref="Bridge.Update"/>.</summary>
    public sealed class BridgeEvent {
        internal BridgeEvent(BridgeEventKind kind) { Kind = kind; }
        /// <summary>What happened; the properties of that kind are set.</summary>
        public BridgeEventKind Kind { get; }
        /// <summary>Status: the new status word ("" before this run's first).</summary>
        public string Status { get; internal set; }
        /// <summary>Message: the private message.</summary>
        public Message Message { get; internal set; }
        /// <summary>Outcome: the command whose outcome is now set.</summary>
        public BridgeCommand Command { get; internal set; }
        /// <summary>Outcome: the outcome this event reports ("done" or a reason).</summary>
        public string Outcome { get; internal set; }
        /// <summary>Outcome: the server's words with a refusal, else empty.</summary>
        public string OutcomeText { get; internal set; }
        /// <summary>SessionOver: why (see <see cref="SessionEnd"/>).</summary>
        public string Reason { get; internal set; }
        /// <summary>SessionOver: the error text shown for it, else empty.</summary>
        public string Text { get; internal set; }
        /// <summary>Restarting: the attempt, 1, 2, ...</summary>
        public int Attempt { get; internal set; }
        /// <summary>Restarting: how long until the bridge is started again.</summary>
        public TimeSpan Delay { get; internal set; }
    }

    /// <summary>The account and the restart of a <see cref="Bridge"/>.</summary>
    public sealed class BridgeOptions {
        /// <summary>A server account's user name, the bridge's sixth argument; empty for a guest.</summary>
        public string UserName { get; set; } = "";
        /// <summary>
        /// The account's password: put only in the bridge's environment
        /// (VOICEBRIDGE_PASSWORD), never in the game's, never on a command line.
        /// </summary>
        public string Password { get; set; } = "";
        /// <summary>
        /// Start the bridge again after connection_failed, link_lost or
        /// bridge_ended, after 1, 2, 4 ... 30 s, until <see cref="Bridge.Stop()"/>.
        /// </summary>
        public bool Restart { get; set; }
    }

    /// <summary>
    /// One voicebridge process serving one game folder: started, pumped once
    /// a frame by <see cref="Update"/>, given commands by <see cref="Post"/>
    /// and stopped. Dispose stops it.
    /// </summary>
    public sealed class Bridge : IDisposable {
        /// <summary>The kit's version.</summary>
        public const string Version = "1.1.0";
        /// <summary>Start-up, before the voice library is created.</summary>
        public const string StatusStarting = "starting";
        /// <summary>The server confirmed the login.</summary>
        public const string StatusLoggedIn = "loggedin";
        /// <summary>Logged in and ready for commands.</summary>
        public const string StatusAuthorized = "authorized";
        /// <summary>A rejected request, or with user ID 0 the end of the session.</summary>
        public const string StatusError = "error";

        /// <summary>Every bridge command, in the order the bridge tries them.</summary>
        public static readonly IReadOnlyList<(string Keyword, CommandArgument Argument)> Commands =
            new ReadOnlyCollection<(string, CommandArgument)>(new[] {
                ("refresh", CommandArgument.None),
                ("leave", CommandArgument.None),
                ("ptt_on", CommandArgument.None),
                ("ptt_off", CommandArgument.None),
                ("joinid", CommandArgument.ChannelId),
                ("joinpath", CommandArgument.ChannelName),
                ("pm", CommandArgument.UserIdAndText),
            });

        // The words of the files in data/, internal for the kit's test agent.
        internal const string DataDirectoryName = "data";
        internal const string StateFileName = "state.txt";
        internal const string UsersFileName = "users.txt";
        internal const string ChannelsFileName = "channels.txt";
        internal const string MembersFileName = "members.txt";
        internal const string PrivateMessageFileName = "pm_in.txt";
        internal const string CommandFileName = "cmd.txt";
        internal const string LockFileName = "voicebridge.lock";
        internal const string EventsFileName = "events.txt";
        internal const string OldEventsFileName = "events.old.txt";
        internal const char FieldSeparator = '|';
        private const string StateKeyStatus = "status";
        private const string StateKeyMyUserId = "myuserid";
        private const string StateKeyMyChannelId = "mychannelid";
        // The state's keys in the order the bridge writes them.
        internal static readonly IReadOnlyList<string> StateKeys =
            new ReadOnlyCollection<string>(new[] { StateKeyStatus, "ptt", StateKeyMyUserId,
                                                   StateKeyMyChannelId, "mychannelname",
                                                   "nickname", "error" });
        // What the bridge takes for an argument left out.
        internal const string DefaultHost = "localhost";
        internal const int DefaultPort = 10333;
        internal const bool DefaultEncrypted = false;
        internal const string DefaultNickname = "Jogador";
        private const string PasswordVariable = "VOICEBRIDGE_PASSWORD";
        private const string ParentProcessVariable = "VOICEBRIDGE_PARENT_PID";
        private const int MaxCommandBytes = 1024 * 1024;
        // The bridge's exit codes at start-up, and Windows' for a missing DLL.
        private const int ExitStartupFailed = 1;
        private const int ExitAlreadyServed = 2;
        private const int ExitDataUnusable = 3;
        private const int ExitDllNotFound = unchecked((int)0xC0000135);
        // events.txt's kinds that the kit acts on.
        private const string EventTaken = "taken";
        private const string EventDone = "done";
        private const string EventFailed = "failed";
        private const string EventOver = "over";
        private const string EventUsers = "users";
        private const string EventChannels = "channels";
        private const string EventMembers = "members";
        private const string MaskedPassword = "***";
        private static readonly TimeSpan DefaultTimeout = TimeSpan.FromSeconds(5);
        private static readonly TimeSpan ExitCheckInterval = TimeSpan.FromMilliseconds(250);
        private static readonly TimeSpan LongestRestartDelay = TimeSpan.FromSeconds(30);
        private static readonly TimeSpan SessionUpResetsDelay = TimeSpan.FromSeconds(60);
        private const int PollMilliseconds = 2;
        // Events kept for a game that never calls Update (a 1.0.0 game that
        // only polls), so that they cannot pile up without end.
        private const int MaxEventsWithoutUpdate = 1000;
        // A pm whose done may still turn into a failure, kept by its taken line.
        private const int MaxMessagesAwaitingRefusal = 1000;
        private static readonly UTF8Encoding StrictUtf8 = new UTF8Encoding(false, true);

        private readonly string _gameDir;
        private readonly string _program;
        private readonly string[] _arguments;
        private readonly BridgeOptions _options;
        private readonly string _gamePid;
        private readonly EventHandler _stopAtExit;
        private readonly Stopwatch _clock = Stopwatch.StartNew();

        // The bridge process of this run.
        private Process _process;
        private Process _retired;  // ended for a restart, not yet waited for
        private ExitFlag _exitFlag;
        private IntPtr _job;
        private int _pid;
        private int? _exitCode;
        private TimeSpan _nextExitCheck;
        private bool _stopping;
        // What this run published, as the game sees it.
        private bool _thisRun;  // the lock names _pid and state.txt is there
        private readonly WatchedFile _stateFile;
        private readonly AppendedFile _eventsFile;
        private readonly AppendedFile _oldEventsFile;
        private readonly AppendedFile _messagesFile;
        private IReadOnlyDictionary<string, string> _state = NoState;
        private IReadOnlyList<User> _users = new User[0];
        private IReadOnlyList<Channel> _channels = new Channel[0];
        private string _usersText = "", _membersText = "", _channelsText = "";
        private bool _usersDue, _membersDue, _channelsDue;
        private bool _sessionOver;  // its SessionOver event was given
        private string _overReason, _overText;  // events.txt's over line, once read
        // Commands: posted and not yet written, the one in cmd.txt not yet
        // taken, and those taken awaiting an outcome, by their taken line.
        private readonly LinkedList<BridgeCommand> _queue = new LinkedList<BridgeCommand>();
        private BridgeCommand _written;
        private bool _clearCommandFile;  // cmd.txt holds a command failed as session_over
        private readonly Dictionary<long, BridgeCommand> _awaiting = new Dictionary<long, BridgeCommand>();
        private readonly Queue<long> _doneMessages = new Queue<long>();
        // The restart.
        private TimeSpan? _restartAt;
        private int _attempt;
        private TimeSpan? _upSince;
        private string _lastJoin;
        private bool _holdUntilAuthorized;  // a restarted session's commands wait for it
        private BridgeCommand _rejoin;  // the join sent again, which the others follow
        // Events since the last Update.
        private List<BridgeEvent> _pending = new List<BridgeEvent>();
        private bool _updateCalled;

        private static readonly IReadOnlyDictionary<string, string> NoState =
            new ReadOnlyDictionary<string, string>(new Dictionary<string, string>());
        private static readonly BridgeEvent[] NoEvents = new BridgeEvent[0];

        /// <summary>
        /// A bridge for <paramref name="gameDir"/> (its working directory, made
        /// when missing), started by <see cref="Start"/>. Arguments left null are
        /// not passed; an earlier one left null before a given one is passed as
        /// the bridge's default (localhost, 10333, 10333, off, Jogador).
        /// </summary>
        /// <exception cref="ArgumentException">
        /// A folder or program that is empty or not a valid path.
        /// </exception>
        public Bridge(string gameDir, string program, string host = null, int? tcpPort = null,
                      int? udpPort = null, bool? encrypted = null, string nickname = null)
            : this(gameDir, program, new BridgeOptions(), host, tcpPort, udpPort, encrypted,
                   nickname) {}

        /// <summary>
        /// A bridge for <paramref name="gameDir"/> given its positional
        /// arguments exactly as they are passed (see the guide's table).
        /// </summary>
        /// <exception cref="ArgumentException">
        /// An empty folder or program, or an argument that is null or holds a zero character.
        /// </exception>
        public Bridge(string gameDir, string program, IEnumerable<string> arguments)
            : this(gameDir, program, arguments, new BridgeOptions()) {}

        /// <summary>
        /// A bridge with an account or the restart (<paramref name="options"/>);
        /// the rest as the constructor without them.
        /// </summary>
        public Bridge(string gameDir, string program, BridgeOptions options, string host = null,
                      int? tcpPort = null, int? udpPort = null, bool? encrypted = null,
                      string nickname = null)
            : this(gameDir, program,
                   PositionalArguments(host, tcpPort, udpPort, encrypted, nickname), options) {}

        /// <summary>
        /// A bridge given its positional arguments as they are passed, with
        /// an account or the restart (<paramref name="options"/>). A user name
        /// goes sixth, after the five first (defaults where fewer are given).
        /// </summary>
        /// <exception cref="ArgumentException">
        /// An empty folder or program, or an argument, user name or password
        /// that holds a zero character.
        /// </exception>
        public Bridge(string gameDir, string program, IEnumerable<string> arguments,
                      BridgeOptions options) {
            if (string.IsNullOrEmpty(gameDir))
                throw new ArgumentException("The game folder is needed.", nameof(gameDir));
            if (string.IsNullOrEmpty(program))
                throw new ArgumentException("The bridge's program is needed.", nameof(program));
            if (arguments == null)
                throw new ArgumentNullException(nameof(arguments));
            if (options == null)
                throw new ArgumentNullException(nameof(options));
            _options = new BridgeOptions { UserName = options.UserName ?? "",
                                           Password = options.Password ?? "",
                                           Restart = options.Restart };
            if (_options.UserName.IndexOf('\0') >= 0 || _options.Password.IndexOf('\0') >= 0)
                throw new ArgumentException("A user name or password holds a zero character.",
                                            nameof(options));
            var given = new List<string>(arguments);
            foreach (string argument in given)
                if (argument == null || argument.IndexOf('\0') >= 0)
                    throw new ArgumentException("An argument is null or holds a zero character.",
                                                nameof(arguments));
            _arguments = WithUserName(given, _options.UserName);
            // Fixed now, so that a later change of the current directory moves nothing.
            _gameDir = Path.GetFullPath(gameDir);
            bool hasFolder = program.IndexOf(Path.DirectorySeparatorChar) >= 0 ||
                             program.IndexOf(Path.AltDirectorySeparatorChar) >= 0;
            _program = hasFolder ? Path.GetFullPath(program) : program;
            using (Process game = Process.GetCurrentProcess())
                _gamePid = game.Id.ToString(CultureInfo.InvariantCulture);
            _stateFile = new WatchedFile(DataPath(StateFileName));
            _eventsFile = new AppendedFile(DataPath(EventsFileName));
            _oldEventsFile = new AppendedFile(DataPath(OldEventsFileName));
            _messagesFile = new AppendedFile(DataPath(PrivateMessageFileName));
            _stopAtExit = (sender, e) => Stop(TimeSpan.FromSeconds(1));
        }

        // ---- State, as of the last Update ----

        /// <summary>This run's status word as of the last pump; "" until it has published.</summary>
        public string CurrentStatus { get; private set; } = "";

        /// <summary>
        /// This run's state as of the last pump, key by key (status, ptt,
        /// myuserid, mychannelid, mychannelname, nickname, error); empty until
        /// this run has published. Replaced, never changed, by a pump.
        /// </summary>
        public IReadOnlyDictionary<string, string> CurrentState => _state;

        /// <summary>The bridge's own user ID on the server; 0 before the login and after the end.</summary>
        public int MyUserId => StateNumber(StateKeyMyUserId);

        /// <summary>The channel the bridge is in; 0 for none.</summary>
        public int MyChannelId => StateNumber(StateKeyMyChannelId);

        /// <summary>This run's users in the order of users.txt, each with its channel; replaced by a pump.</summary>
        public IReadOnlyList<User> UserList => _users;

        /// <summary>This run's channels in the order of channels.txt; replaced by a pump.</summary>
        public IReadOnlyList<Channel> ChannelList => _channels;

        /// <summary>Why the last session ended (see <see cref="SessionEnd"/>); null while none has.</summary>
        public string EndReason { get; private set; }

        /// <summary>True while a bridge of this object runs.</summary>
        public bool IsRunning => _process != null && !_exitFlag.HasExited && !_process.HasExited;

        // ---- Actions ----

        /// <summary>
        /// Starts the bridge, after ending one this object started before. The
        /// earlier run's state is deleted first, and nothing is read as this
        /// run's until the bridge has published and its lock names its process.
        /// </summary>
        /// <exception cref="IOException">
        /// The folder cannot be made or the old state not deleted.
        /// </exception>
        /// <exception cref="Win32Exception">The program cannot be started.</exception>
        public void Start() {
            Stop();
            _attempt = 0;
            _lastJoin = null;
            _stopping = false;
            try {
                Launch();
            } catch (Exception e) when (e is Win32Exception || e is FileNotFoundException) {
                EndSession(SessionEnd.NotStarted, e.Message);
                throw;
            }
        }

        /// <summary>
        /// The pump, once a frame: reads what changed, writes the next queued
        /// command once cmd.txt is free, starts a restart that is due, and
        /// returns the events since the last call, in order. Never waits.
        /// </summary>
        public IReadOnlyList<BridgeEvent> Update() {
            _updateCalled = true;
            Pump(true);
            if (_pending.Count == 0)
                return NoEvents;
            List<BridgeEvent> events = _pending;
            _pending = new List<BridgeEvent>();
            return events;
        }

        /// <summary>
        /// Queues a command and returns it; it is written at once when cmd.txt
        /// is free and nothing is queued before it, else by a later
        /// <see cref="Update"/>, which also sets its outcome. Never waits. A
        /// command that no live session will take fails as session_over.
        /// </summary>
        /// <exception cref="ArgumentException">
        /// Not a bridge command with a well-formed argument; nothing was queued
        /// and no file touched.
        /// </exception>
        public BridgeCommand Post(string command) {
            CheckCommand(command);
            var posted = new BridgeCommand(command);
            if ((_process == null || _sessionOver) && _restartAt == null)
                Fail(posted, CommandOutcome.SessionOver);  // no session will come to take it
            else {
                _queue.AddLast(posted);
                WriteNextCommand();
            }
            return posted;
        }

        /// <summary>Ends the bridge, if it runs, within 5 seconds.</summary>
        public void Stop() => Stop(DefaultTimeout);

        /// <summary>
        /// Ends the bridge and waits for it: on Windows at once
        /// (TerminateProcess), elsewhere by SIGTERM and, after
        /// <paramref name="timeout"/>, SIGKILL. Ends a restart too. A session
        /// not over yet ends as stopped, and every command still queued or
        /// pending fails as session_over; the next Update returns their events.
        /// </summary>
        public void Stop(TimeSpan timeout) {
            _restartAt = null;
            _holdUntilAuthorized = false;
            if (_process != null) {
                _stopping = true;
                AppDomain.CurrentDomain.ProcessExit -= _stopAtExit;
                AppDomain.CurrentDomain.DomainUnload -= _stopAtExit;
                try {
                    bool endedBefore = _process.HasExited;
                    if (!endedBefore) {
                        if (IsWindows || !SendTerminate(_pid))
                            KillQuietly(_process);
                        if (!_process.WaitForExit(Milliseconds(timeout)))
                            KillQuietly(_process);
                    }
                    _process.WaitForExit();
                    _exitCode = _process.ExitCode;
                    ReadThisRun(false);  // the outcomes it gave before it ended
                    if (!_sessionOver)
                        EndSession(endedBefore ? ReasonOfExit(_exitCode.Value) : SessionEnd.Stopped,
                                   "");
                } finally {
                    ReleaseProcess();
                }
            }
            DisposeRetired();
            FailAll();
            ClearFailedCommandFile();
        }

        /// <summary>Stops the bridge.</summary>
        public void Dispose() => Stop();

        // ---- The 1.0.0 calls ----

        /// <summary>
        /// This run's state, key by key (status, ptt, myuserid, mychannelid,
        /// mychannelname, nickname, error); empty until this run has published.
        /// </summary>
        [Obsolete("use Update() and CurrentState")]
        public IReadOnlyDictionary<string, string> State() {
            Pump(false);
            return _state;
        }

        /// <summary>
        /// This run's status word (see the Status constants); empty until it has published.
        /// </summary>
        [Obsolete("use Update() and CurrentStatus")]
        public string Status() {
            Pump(false);
            return CurrentStatus;
        }

        /// <summary>
        /// Polls the status until it is <paramref name="status"/> (true), the
        /// time runs out or the session is over without it (false). Events
        /// meanwhile wait for the next <see cref="Update"/>.
        /// </summary>
        public bool WaitStatus(string status, TimeSpan timeout) {
            if (status == null)
                throw new ArgumentNullException(nameof(status));
            var clock = Stopwatch.StartNew();
            for (;;) {
                Pump(false);
                if (CurrentStatus == status)
                    return true;
                if (_sessionOver || (_process == null && _restartAt == null) ||
                    clock.Elapsed >= timeout)
                    return false;
                Thread.Sleep(PollMilliseconds);
            }
        }

        /// <summary>
        /// True once the session is over: this run's state says error with user
        /// ID 0, or no bridge of this object runs. Start again to try again.
        /// </summary>
        [Obsolete("use EndReason, or the SessionOver event of Update()")]
        public bool SessionOver() {
            Pump(false);
            if (!IsRunning)
                return true;
            return CurrentStatus == StatusError && MyUserId == 0 &&
                   _state.ContainsKey(StateKeyMyUserId);
        }

        /// <summary>
        /// The bridge's exit code once it has ended, null while it runs or
        /// before a start: 1, 2 or 3 when it refused to start, 0xC0000135 on
        /// Windows for a missing library; on POSIX 128 plus the number of the
        /// signal that ended it (143 after <see cref="Stop()"/>).
        /// </summary>
        [Obsolete("use EndReason, the same word on every system")]
        public int? ExitCode() {
            if (_process == null)
                return _exitCode;
            return _process.HasExited ? _process.ExitCode : (int?)null;
        }

        /// <summary>This run's users of users.txt in its order; empty until this run has published.</summary>
        [Obsolete("use Update() and UserList")]
        public IReadOnlyList<(int Id, string Name)> Users() {
            Pump(false);
            var users = new List<(int Id, string Name)>();
            foreach (User user in _users) users.Add((user.Id, user.Name));
            return users;
        }

        /// <summary>
        /// This run's channels of channels.txt in its order (the root: an empty
        /// name and parent 0); empty until this run has published.
        /// </summary>
        [Obsolete("use Update() and ChannelList")]
        public IReadOnlyList<(int Id, string Name, int ParentId)> Channels() {
            Pump(false);
            var channels = new List<(int Id, string Name, int ParentId)>();
            foreach (Channel channel in _channels)
                channels.Add((channel.Id, channel.Name, channel.ParentId));
            return channels;
        }

        /// <summary>
        /// The private messages that arrived since the last call and that no
        /// <see cref="Update"/> returned, each once and in order; none until
        /// this run has published.
        /// </summary>
        [Obsolete("use the Message events of Update()")]
        public IReadOnlyList<(int SenderId, string SenderName, string Text)> NewMessages() {
            var messages = new List<(int SenderId, string SenderName, string Text)>();
            Pump(false);
            // Those an Update read but has not returned yet come first.
            var rest = new List<BridgeEvent>();
            foreach (BridgeEvent e in _pending) {
                if (e.Kind == BridgeEventKind.Message)
                    messages.Add((e.Message.SenderId, e.Message.SenderName, e.Message.Text));
                else
                    rest.Add(e);
            }
            _pending = rest;
            foreach (Message m in ReadMessages()) messages.Add((m.SenderId, m.SenderName, m.Text));
            return messages;
        }

        /// <summary>
        /// Sends a command, waiting at most 10 seconds (see the overload with a timeout).
        /// </summary>
        public bool Send(string command) => Send(command, TimeSpan.FromSeconds(10));

        /// <summary>
        /// Queues the command behind those posted before it and waits until the
        /// bridge takes it (true). False when no live session will take it, or
        /// when the time runs out: a command written by then still waits in
        /// cmd.txt and will run, so do not send it again; one not yet written
        /// is taken out of the queue. Its outcome comes through Update.
        /// </summary>
        /// <exception cref="ArgumentException">
        /// Not a bridge command with a well-formed argument; no file was touched.
        /// </exception>
        public bool Send(string command, TimeSpan timeout) {
            BridgeCommand sent = Post(command);
            var clock = Stopwatch.StartNew();
            for (;;) {
                if (sent.Taken)
                    return true;
                if (!sent.IsPending)
                    return false;
                if (clock.Elapsed >= timeout) {
                    _queue.Remove(sent);
                    return false;
                }
                Thread.Sleep(PollMilliseconds);
                Pump(false);
            }
        }

        // ---- The pump ----

        // Reads what changed and acts on it; message events only for Update
        // (a 1.0.0 game reads them by NewMessages).
        private void Pump(bool withMessages) {
            if (_restartAt != null && _clock.Elapsed >= _restartAt.Value)
                Restart();
            if (_process == null)
                return;
            // Looked at before the files, so that what it wrote before it
            // ended is read before its end is acted on.
            bool ended = HasEnded();
            ReadThisRun(withMessages);
            if (_process == null)
                return;  // its end read there began a restart
            if (ended)
                OnBridgeEnded();
            else
                WriteNextCommand();
        }

        private bool HasEnded() {
            if (_exitFlag.HasExited)
                return true;
            // The Exited event's thread may lag; a look now and then as well.
            if (_clock.Elapsed < _nextExitCheck)
                return false;
            _nextExitCheck = _clock.Elapsed + ExitCheckInterval;
            return _process.HasExited;
        }

        private void ReadThisRun(bool withMessages) {
            if (!IsThisRun())
                return;
            ReadState();
            ReadEvents();
            if (_usersDue || _membersDue || _channelsDue)
                ReadLists();
            if (_holdUntilAuthorized)
                JoinAgain();
            if (withMessages)
                foreach (Message message in ReadMessages())
                    Emit(new BridgeEvent(BridgeEventKind.Message) { Message = message });
            // The end last, after all that came before it: a restart clears the view.
            if (_overReason != null && !_sessionOver)
                EndSession(_overReason, _overText);
        }

        // Once state.txt is there and the lock names the process started here,
        // the files are this run's; an orphan bridge there publishes its own.
        private bool IsThisRun() {
            if (!_thisRun && _stateFile.Exists()) {
                byte[] holder = ReadFile(DataPath(LockFileName));
                _thisRun = holder != null && Encoding.UTF8.GetString(holder) ==
                                                 _pid.ToString(CultureInfo.InvariantCulture) + "\n";
            }
            return _thisRun;
        }

        private void ReadState() {
            if (!_stateFile.Poll())
                return;
            var state = new Dictionary<string, string>();
            foreach (string line in Lines(_stateFile.Text)) {
                int bar = line.IndexOf(FieldSeparator);
                if (bar > 0)
                    state[line.Substring(0, bar)] = line.Substring(bar + 1);
            }
            _state = new ReadOnlyDictionary<string, string>(state);
            state.TryGetValue(StateKeyStatus, out string status);
            SetStatus(status ?? "");
        }

        private void SetStatus(string status) {
            if (status == CurrentStatus)
                return;
            CurrentStatus = status;
            Emit(new BridgeEvent(BridgeEventKind.Status) { Status = status });
            if ((status == StatusLoggedIn || status == StatusAuthorized) && _upSince == null)
                _upSince = _clock.Elapsed;
        }

        // Once a restarted session is authorized, the join that was done
        // before goes first, as written, and the game's commands follow once
        // it is through, so that they reach the channel joined again. A join
        // by name waits for the channels: the bridge looks the name up there.
        private void JoinAgain() {
            if (CurrentStatus != StatusAuthorized)
                return;
            if (_lastJoin != null && _lastJoin.StartsWith("joinpath ", StringComparison.Ordinal) &&
                _channels.Count == 0)
                return;
            _holdUntilAuthorized = false;
            if (_lastJoin != null) {
                _rejoin = new BridgeCommand(_lastJoin);
                _queue.AddFirst(_rejoin);
            }
        }

        private int StateNumber(string key) =>
            _state.TryGetValue(key, out string value) && TryParseId(value, out int number) ? number
                                                                                            : 0;

        // events.txt from the kept offset; after a move, first the rest of
        // events.old.txt from there.
        private void ReadEvents() {
            List<string> lines = _eventsFile.ReadNewLines(out bool moved);
            if (moved) {
                _oldEventsFile.Offset = _eventsFile.Offset;
                foreach (string line in _oldEventsFile.ReadNewLines(out moved)) OnEventLine(line);
                _eventsFile.Offset = 0;
                lines = _eventsFile.ReadNewLines(out moved);
            }
            foreach (string line in lines) OnEventLine(line);
        }

        private void OnEventLine(string line) {
            string[] f = line.Split(new[] { FieldSeparator }, 5);
            if (f.Length < 2 || !long.TryParse(f[0], NumberStyles.None,
                                               CultureInfo.InvariantCulture, out long seq))
                return;
            switch (f[1]) {
                case EventTaken:
                    string[] taken = line.Split(new[] { FieldSeparator }, 3);
                    OnTaken(seq, taken.Length > 2 ? taken[2] : "");
                    break;
                case EventDone:
                    if (f.Length > 2)
                        OnOutcome(f[2], CommandOutcome.Done, "");
                    break;
                case EventFailed:
                    if (f.Length > 3)
                        OnOutcome(f[2], f[3], f.Length > 4 ? f[4] : "");
                    break;
                case EventOver:
                    string[] over = line.Split(new[] { FieldSeparator }, 4);
                    _overReason = over.Length > 2 ? over[2] : SessionEnd.BridgeEnded;
                    _overText = over.Length > 3 ? over[3] : "";
                    break;
                case EventUsers: _usersDue = true; break;
                case EventMembers: _membersDue = true; break;
                case EventChannels: _channelsDue = true; break;
            }
        }

        // The kit is the only writer of cmd.txt, so a taken line is for the
        // command it wrote; one that is not (an earlier run's, discarded) is skipped.
        private void OnTaken(long seq, string text) {
            if (_written == null || !IsShownAs(_written.Text, text))
                return;
            _written.Taken = true;
            _awaiting[seq] = _written;
            _written = null;
        }

        private static bool IsShownAs(string command, string taken) {
            string trimmed = command.Trim(' ', '\t');
            if (taken == trimmed)
                return true;
            // A join's password shows masked.
            return (command.StartsWith("joinid ", StringComparison.Ordinal) ||
                    command.StartsWith("joinpath ", StringComparison.Ordinal)) &&
                   taken.EndsWith(FieldSeparator + MaskedPassword, StringComparison.Ordinal) &&
                   taken.StartsWith(trimmed.Substring(0, trimmed.IndexOf(' ') + 1),
                                    StringComparison.Ordinal);
        }

        private void OnOutcome(string takenField, string outcome, string text) {
            if (!long.TryParse(takenField, NumberStyles.None, CultureInfo.InvariantCulture,
                               out long taken) ||
                !_awaiting.TryGetValue(taken, out BridgeCommand command))
                return;
            bool isMessage = command.Text.StartsWith("pm ", StringComparison.Ordinal);
            if (outcome == CommandOutcome.Done && isMessage) {
                // The server may still refuse it: kept for a while for that.
                _doneMessages.Enqueue(taken);
                if (_doneMessages.Count > MaxMessagesAwaitingRefusal)
                    _awaiting.Remove(_doneMessages.Dequeue());
            } else if (!isMessage || command.Outcome == null) {
                _awaiting.Remove(taken);
            }
            if (outcome == CommandOutcome.Done) {
                if (command.Text.StartsWith("join", StringComparison.Ordinal))
                    _lastJoin = command.Text;
                else if (command.Text == "leave")
                    _lastJoin = null;
            }
            Report(command, outcome, text);
        }

        // Each list read when events.txt said it was published; an event
        // for each that changed.
        private void ReadLists() {
            if (ReadListText(ChannelsFileName, ref _channelsDue, ref _channelsText)) {
                _channels = ParseChannels(_channelsText);
                Emit(new BridgeEvent(BridgeEventKind.Channels));
            }
            bool users = ReadListText(UsersFileName, ref _usersDue, ref _usersText);
            bool members = ReadListText(MembersFileName, ref _membersDue, ref _membersText);
            if (users || members)
                _users = ParseUsers(_usersText, _membersText);
            if (users)
                Emit(new BridgeEvent(BridgeEventKind.Users));
            if (members)
                Emit(new BridgeEvent(BridgeEventKind.Members));
        }

        // True when the list was due and read anew; a refused open keeps the
        // last good read and leaves it due for the next pump.
        private bool ReadListText(string name, ref bool due, ref string kept) {
            if (!due)
                return false;
            byte[] content = ReadFile(DataPath(name));
            if (content == null)
                return false;
            due = false;
            string text = Encoding.UTF8.GetString(content);
            bool changed = text != kept;
            kept = text;
            return changed;
        }

        // The lists are read in place, line by line, without splitting the
        // text: a big server's list is read again within one frame.
        private static IReadOnlyList<User> ParseUsers(string usersText, string membersText) {
            var channelOf = new Dictionary<int, int>();
            for (int start = 0, end; start < membersText.Length; start = end + 1) {
                end = LineEnd(membersText, start);
                int bar = membersText.IndexOf(FieldSeparator, start, end - start);
                if (bar > start && TryParseId(membersText, start, bar, out int id) &&
                    TryParseId(membersText, bar + 1, end, out int channelId))
                    channelOf[id] = channelId;
            }
            var users = new List<User>();
            for (int start = 0, end; start < usersText.Length; start = end + 1) {
                end = LineEnd(usersText, start);
                int bar = usersText.IndexOf(FieldSeparator, start, end - start);
                if (bar > start && TryParseId(usersText, start, bar, out int id)) {
                    channelOf.TryGetValue(id, out int channelId);
                    users.Add(new User(id, usersText.Substring(bar + 1, end - bar - 1), channelId));
                }
            }
            return users.AsReadOnly();
        }

        private static IReadOnlyList<Channel> ParseChannels(string text) {
            var channels = new List<Channel>();
            for (int start = 0, end; start < text.Length; start = end + 1) {
                end = LineEnd(text, start);
                if (end == start)
                    continue;
                // id|name|0|parent: the name, bars and all, lies between the first bar
                // and the last two.
                int first = text.IndexOf(FieldSeparator, start, end - start);
                int last = text.LastIndexOf(FieldSeparator, end - 1, end - start);
                int beforeLast =
                    last > start ? text.LastIndexOf(FieldSeparator, last - 1, last - start) : -1;
                if (first > start && beforeLast > first &&
                    TryParseId(text, start, first, out int id) &&
                    TryParseId(text, last + 1, end, out int parentId))
                    channels.Add(new Channel(
                        id, text.Substring(first + 1, beforeLast - first - 1), parentId));
            }
            return channels.AsReadOnly();
        }

        private static int LineEnd(string text, int start) {
            int end = text.IndexOf('\n', start);
            return end < 0 ? text.Length : end;
        }

        // pm_in.txt from the kept offset, each complete line once.
        private List<Message> ReadMessages() {
            var messages = new List<Message>();
            if (!_thisRun)
                return messages;  // pm_in.txt may still be the earlier run's
            List<string> lines = _messagesFile.ReadNewLines(out bool shrunk);
            if (shrunk) {
                _messagesFile.Offset = 0;  // a bridge started behind the game's back emptied it
                lines = _messagesFile.ReadNewLines(out shrunk);
            }
            foreach (string line in lines) {
                int first = line.IndexOf(FieldSeparator);
                int second = first > 0 ? line.IndexOf(FieldSeparator, first + 1) : -1;
                if (second > 0 && TryParseId(line.Substring(0, first), out int senderId))
                    messages.Add(new Message(senderId, line.Substring(first + 1, second - first - 1),
                                             line.Substring(second + 1)));
            }
            return messages;
        }

        // ---- Commands ----

        // cmd.txt is free when empty or absent (moved aside by the bridge);
        // the next command goes in only once the one before was taken, so
        // that the taken lines come in the order written.
        private void WriteNextCommand() {
            if (_written != null || _queue.Count == 0 || !_thisRun || _holdUntilAuthorized ||
                _sessionOver || _process == null)
                return;
            if (_rejoin != null && _rejoin.IsPending && _queue.First.Value != _rejoin)
                return;
            var file = new FileInfo(DataPath(CommandFileName));
            if (file.Exists && file.Length != 0)
                return;
            BridgeCommand next = _queue.First.Value;
            if (!WriteCommandFile(Encoding.UTF8.GetBytes(next.Text)))
                return;
            _queue.RemoveFirst();
            _written = next;
        }

        private void Fail(BridgeCommand command, string reason) => Report(command, reason, "");

        // The event carries the outcome it reports: a private message's done
        // and its later refusal may come in one update.
        private void Report(BridgeCommand command, string outcome, string text) {
            command.SetOutcome(outcome, text);
            Emit(new BridgeEvent(BridgeEventKind.Outcome) {
                Command = command, Outcome = outcome, OutcomeText = command.OutcomeText
            });
        }

        // What the ended bridge never took or never answered.
        private void FailUnanswered() {
            if (_written != null) {
                Fail(_written, CommandOutcome.SessionOver);
                _written = null;
                _clearCommandFile = true;
            }
            foreach (BridgeCommand command in _awaiting.Values)
                if (command.IsPending)
                    Fail(command, CommandOutcome.SessionOver);
            _awaiting.Clear();
            _doneMessages.Clear();
        }

        private void FailAll() {
            FailUnanswered();
            foreach (BridgeCommand command in _queue) Fail(command, CommandOutcome.SessionOver);
            _queue.Clear();
        }

        // A command that was failed as session_over must never run later: the
        // next bridge would take one written less than two seconds before it.
        private void ClearFailedCommandFile() {
            if (!_clearCommandFile)
                return;
            _clearCommandFile = false;
            try {
                var file = new FileInfo(DataPath(CommandFileName));
                if (file.Exists && file.Length > 0)
                    WriteCommandFile(new byte[0]);
            } catch (Exception e) when (e is IOException || e is UnauthorizedAccessException) {
                // Nothing to clear.
            }
        }

        // ---- Ends and restarts ----

        private void EndSession(string reason, string text) {
            if (_sessionOver)
                return;
            _sessionOver = true;
            EndReason = reason;
            Emit(new BridgeEvent(BridgeEventKind.SessionOver) { Reason = reason, Text = text });
            if (_stopping)
                return;  // Stop fails every command left
            if (_options.Restart &&
                (reason == SessionEnd.ConnectionFailed || reason == SessionEnd.LinkLost ||
                 reason == SessionEnd.BridgeEnded))
                ScheduleRestart();
            else {
                foreach (BridgeCommand command in _queue) Fail(command, CommandOutcome.SessionOver);
                _queue.Clear();
            }
        }

        private void OnBridgeEnded() {
            _exitCode = _process.ExitCode;
            if (!_sessionOver)
                EndSession(ReasonOfExit(_exitCode.Value), "");
            FailUnanswered();
            ReleaseProcess();
        }

        private static string ReasonOfExit(int code) {
            switch (code) {
                case ExitStartupFailed: return SessionEnd.ConnectionFailed;
                case ExitAlreadyServed: return SessionEnd.AlreadyRunning;
                case ExitDataUnusable: return SessionEnd.CannotWrite;
                case ExitDllNotFound: return SessionEnd.NotStarted;
                default: return SessionEnd.BridgeEnded;
            }
        }

        // The old bridge is ended without waiting for it, and its files are
        // no longer read; the new one starts from a later pump, after 1, 2,
        // 4 ... 30 s. Meanwhile the game sees no status and no lists.
        private void ScheduleRestart() {
            if (_upSince != null && _clock.Elapsed - _upSince.Value >= SessionUpResetsDelay)
                _attempt = 0;
            if (_process != null) {
                if (!_process.HasExited && (IsWindows || !SendTerminate(_pid)))
                    KillQuietly(_process);
                _exitCode = _process.HasExited ? _process.ExitCode : (int?)null;
                _retired = _process;
                _process = null;
                ReleaseProcess();
            }
            FailUnanswered();
            ClearView();
            NextAttempt();
        }

        private void NextAttempt() {
            _attempt++;
            double seconds = Math.Min(LongestRestartDelay.TotalSeconds,
                                      Math.Pow(2, Math.Min(_attempt - 1, 16)));
            TimeSpan delay = TimeSpan.FromSeconds(seconds);
            _restartAt = _clock.Elapsed + delay;
            _holdUntilAuthorized = true;
            Emit(new BridgeEvent(BridgeEventKind.Restarting) { Attempt = _attempt, Delay = delay });
        }

        private void Restart() {
            _restartAt = null;
            DisposeRetired();
            ClearFailedCommandFile();
            try {
                Launch();
            } catch (Exception e) when (e is Win32Exception || e is IOException ||
                                        e is UnauthorizedAccessException) {
                NextAttempt();  // one more attempt; only Stop ends them
            }
        }

        // The guide's start that cannot be fooled: the old state deleted,
        // every offset back to 0, the bridge started in the game folder.
        private void Launch() {
            Directory.CreateDirectory(_gameDir);
            try {
                File.Delete(DataPath(StateFileName));
            } catch (DirectoryNotFoundException) {
                // No data folder: no state either.
            }
            ResetRun();
            // Standard streams of its own rather than the game's: it reads and
            // writes none, and what it might write is read and dropped.
            var start = new ProcessStartInfo(_program, CommandLine(_arguments)) {
                UseShellExecute = false,
                CreateNoWindow = true,
                WorkingDirectory = _gameDir,
                RedirectStandardInput = true,
                RedirectStandardOutput = true,
                RedirectStandardError = true,
            };
            // The password goes to the bridge only, never into the game's own
            // environment, where every program it starts would inherit it.
            if (_options.Password.Length > 0)
                start.Environment[PasswordVariable] = _options.Password;
            else
                start.Environment.Remove(PasswordVariable);
            // .NET cannot set a parent-death signal: the bridge watches the game.
            start.Environment[ParentProcessVariable] = _gamePid;
            _process = Process.Start(start);
            _pid = _process.Id;
            _process.StandardInput.Close();
            _process.BeginOutputReadLine();
            _process.BeginErrorReadLine();
            _exitFlag = ExitFlag.Watch(_process);
            _nextExitCheck = _clock.Elapsed + ExitCheckInterval;
            if (IsWindows)
                _job = PutInKillOnCloseJob(_process);
            // Where the system cannot end the bridge with the game, end it at
            // least when the runtime exits or unloads the game's code normally.
            AppDomain.CurrentDomain.ProcessExit += _stopAtExit;
            AppDomain.CurrentDomain.DomainUnload += _stopAtExit;
        }

        private void ResetRun() {
            _pid = 0;
            _exitCode = null;
            _sessionOver = false;
            _overReason = _overText = null;
            _upSince = null;
            _eventsFile.Offset = 0;
            _messagesFile.Offset = 0;
            ClearView();
        }

        // What the game shows of the ended run goes: it hears so as of any
        // other change, as the other kits tell it.
        private void ClearView() {
            _thisRun = false;
            _stateFile.Reset();
            _state = NoState;
            if (_channels.Count > 0)
                Emit(new BridgeEvent(BridgeEventKind.Channels));
            if (_users.Count > 0) {
                Emit(new BridgeEvent(BridgeEventKind.Users));
                Emit(new BridgeEvent(BridgeEventKind.Members));
            }
            _users = new User[0];
            _channels = new Channel[0];
            _usersText = _membersText = _channelsText = "";
            _usersDue = _membersDue = _channelsDue = false;
            SetStatus("");
        }

        private void ReleaseProcess() {
            AppDomain.CurrentDomain.ProcessExit -= _stopAtExit;
            AppDomain.CurrentDomain.DomainUnload -= _stopAtExit;
            if (_job != IntPtr.Zero)
                CloseHandle(_job);
            _job = IntPtr.Zero;
            if (_process == null)
                return;
            if (_process.HasExited)
                _exitCode = _process.ExitCode;
            _process.Dispose();
            _process = null;
        }

        // A bridge ended for a restart got SIGTERM a second or more ago;
        // only a hung one waits here, once.
        private void DisposeRetired() {
            if (_retired == null)
                return;
            if (!_retired.HasExited) {
                KillQuietly(_retired);
                _retired.WaitForExit(1000);
            }
            _retired.Dispose();
            _retired = null;
        }

        private void Emit(BridgeEvent e) {
            if (!_updateCalled && _pending.Count >= MaxEventsWithoutUpdate)
                _pending.RemoveAt(0);
            _pending.Add(e);
        }

        // ---- Checking a command ----

        private static void CheckCommand(string command) {
            if (command == null)
                throw new ArgumentNullException(nameof(command));
            if (command.IndexOfAny(new[] { '\n', '\r', '\0' }) >= 0)
                throw new ArgumentException("A command holds no line break and no zero character.",
                                            nameof(command));
            int bytes;
            try {
                bytes = StrictUtf8.GetByteCount(command);
            } catch (EncoderFallbackException) {
                throw new ArgumentException("A command is valid Unicode.", nameof(command));
            }
            if (bytes > MaxCommandBytes)
                throw new ArgumentException("A command holds at most 1 MiB of UTF-8.",
                                            nameof(command));
            foreach (var known in Commands) {
                string rest = command.StartsWith(known.Keyword, StringComparison.Ordinal)
                                  ? command.Substring(known.Keyword.Length)
                                  : null;
                if (rest == null || (rest.Length > 0 && rest[0] != ' '))
                    continue;
                bool wellFormed =
                    known.Argument == CommandArgument.None
                        ? rest.Length == 0
                        : rest.Length > 0 && IsWellFormed(known.Argument, rest.Substring(1));
                if (wellFormed)
                    return;
                throw new ArgumentException(
                    $"'{known.Keyword}' takes {known.Argument}, not '{rest}'.", nameof(command));
            }
            throw new ArgumentException($"'{command}' is not a bridge command.", nameof(command));
        }

        private static bool IsWellFormed(CommandArgument shape, string argument) {
            int bar = argument.IndexOf(FieldSeparator);
            string beforeBar = bar >= 0 ? argument.Substring(0, bar) : argument;
            switch (shape) {
                case CommandArgument.ChannelId: return IsPositiveId(beforeBar);
                case CommandArgument.ChannelName: return HasMoreThanBlanks(argument);
                case CommandArgument.UserIdAndText:
                    return bar > 0 && IsPositiveId(beforeBar) &&
                           HasMoreThanBlanks(argument.Substring(bar + 1));
                default: return false;
            }
        }

        private static bool IsPositiveId(string text) => TryParseId(text, out int id) && id > 0;

        private static bool HasMoreThanBlanks(string text) => text.Trim(' ', '\t').Length > 0;

        // Decimal digits only, up to 2147483647.
        private static bool TryParseId(string text, out int id) =>
            TryParseId(text, 0, text.Length, out id);

        private static bool TryParseId(string text, int start, int end, out int id) {
            long value = 0;
            id = 0;
            for (int i = start; i < end; i++) {
                char c = text[i];
                if (c < '0' || c > '9')
                    return false;
                value = value * 10 + (c - '0');
                if (value > int.MaxValue)
                    return false;
            }
            id = (int)value;
            return end > start;
        }

        // ---- Files ----

        // The whole file: empty when it does not exist, null when refused.
        private static byte[] ReadFile(string path) {
            try {
                using (FileStream file = OpenShared(path)) return ReadToEnd(file);
            } catch (Exception e)
                when (e is FileNotFoundException || e is DirectoryNotFoundException) {
                return new byte[0];
            } catch (Exception e) when (e is IOException || e is UnauthorizedAccessException) {
                return null;
            }
        }

        // In place: open, truncate, one write, close (never a rename over it).
        private bool WriteCommandFile(byte[] text) {
            try {
                using (var file = new FileStream(DataPath(CommandFileName), FileMode.Create,
                                                 FileAccess.Write,
                                                 FileShare.ReadWrite | FileShare.Delete, 1))
                    file.Write(text, 0, text.Length);
                return true;
            } catch (Exception e) when (e is IOException || e is UnauthorizedAccessException) {
                return false;  // no data folder yet, or refused: tried again
            }
        }

        // Full sharing, so that Windows never refuses the open while the
        // bridge replaces or appends to the file.
        private static FileStream OpenShared(string path) =>
            new FileStream(path, FileMode.Open, FileAccess.Read,
                           FileShare.ReadWrite | FileShare.Delete, 4096);

        // What lies from the position to the end, read into one buffer of that size.
        private static byte[] ReadToEnd(FileStream stream) {
            var content = new byte[Math.Max(0, stream.Length - stream.Position)];
            int got = 0;
            for (int n; got < content.Length && (n = stream.Read(content, got, content.Length - got)) > 0;)
                got += n;
            if (got < content.Length)
                Array.Resize(ref content, got);  // cut meanwhile: what was there
            return content;
        }

        private static IEnumerable<string> Lines(string text) {
            foreach (string line in text.Split('\n'))
                if (line.Length > 0)
                    yield return line;
        }

        private string DataPath(string name) => Path.Combine(_gameDir, DataDirectoryName, name);

        // A file replaced whole (state.txt), read again only when its size or
        // time changed, or while its time is too recent to tell a second
        // change within the same tick of the file system's clock.
        private sealed class WatchedFile {
            private readonly FileInfo _info;
            private long _length = -1;
            private DateTime _time;
            private bool _recent;

            public WatchedFile(string path) { _info = new FileInfo(path); }

            public string Text { get; private set; } = "";

            public void Reset() {
                _length = -1;
                _recent = false;
                Text = "";
            }

            public bool Exists() {
                _info.Refresh();
                return _info.Exists;
            }

            // True when the text changed.
            public bool Poll() {
                _info.Refresh();
                if (!_info.Exists)
                    return false;
                long length = _info.Length;
                DateTime time = _info.LastWriteTimeUtc;
                if (length == _length && time == _time && !_recent)
                    return false;
                byte[] content = ReadFile(_info.FullName);
                if (content == null)
                    return false;  // refused: the last good read stands
                _length = length;
                _time = time;
                // Whole seconds on the clock: a file system that keeps 1 or 2 s.
                TimeSpan tick = time.Ticks % TimeSpan.TicksPerSecond == 0
                                    ? TimeSpan.FromSeconds(2.5)
                                    : TimeSpan.FromMilliseconds(50);
                _recent = DateTime.UtcNow - time < tick;
                string text = Encoding.UTF8.GetString(content);
                if (text == Text)
                    return false;
                Text = text;
                return true;
            }
        }

        // A file the bridge only appends to (events.txt, pm_in.txt), read from
        // a kept offset, complete lines only; its size looked at first.
        private sealed class AppendedFile {
            private readonly FileInfo _info;

            public AppendedFile(string path) { _info = new FileInfo(path); }

            public long Offset { get; set; }

            // Shrunk: the file is shorter than the offset, begun anew.
            public List<string> ReadNewLines(out bool shrunk) {
                var lines = new List<string>();
                _info.Refresh();
                shrunk = _info.Exists && _info.Length < Offset;
                if (!_info.Exists || _info.Length <= Offset)
                    return lines;
                byte[] fresh;
                try {
                    using (FileStream file = OpenShared(_info.FullName)) {
                        file.Seek(Offset, SeekOrigin.Begin);
                        fresh = ReadToEnd(file);
                    }
                } catch (Exception e) when (e is IOException || e is UnauthorizedAccessException) {
                    return lines;  // missing or refused: nothing new, the offset is kept
                }
                // A last line without its line feed is still being written.
                int end = Array.LastIndexOf(fresh, (byte)'\n');
                Offset += end + 1;
                lines.AddRange(Lines(Encoding.UTF8.GetString(fresh, 0, end + 1)));
                return lines;
            }
        }

        // Set from the runtime's thread when the process ends; read by the pump.
        private sealed class ExitFlag {
            private volatile bool _exited;
            public bool HasExited => _exited;

            public static ExitFlag Watch(Process process) {
                var flag = new ExitFlag();
                process.EnableRaisingEvents = true;
                process.Exited += (sender, e) => flag._exited = true;
                return flag;
            }
        }

        // ---- Processes ----

        private static int Milliseconds(TimeSpan timeout) =>
            (int)Math.Max(0, Math.Min(int.MaxValue, timeout.TotalMilliseconds));

        private static IEnumerable<string> PositionalArguments(string host, int? tcpPort,
                                                               int? udpPort, bool? encrypted,
                                                               string nickname) {
            string[] given = { host, PortArgument(tcpPort), PortArgument(udpPort),
                               FlagArgument(encrypted), nickname };
            int count = given.Length;
            while (count > 0 && given[count - 1] == null) count--;
            var arguments = new string[count];
            for (int i = 0; i < count; i++) arguments[i] = given[i] ?? DefaultArguments[i];
            return arguments;
        }

        private static readonly string[] DefaultArguments = {
            DefaultHost, PortArgument(DefaultPort), PortArgument(DefaultPort),
            FlagArgument(DefaultEncrypted), DefaultNickname
        };

        // The user name is the sixth argument: the five before it as given,
        // or the bridge's defaults.
        private static string[] WithUserName(List<string> arguments, string userName) {
            if (userName.Length == 0)
                return arguments.ToArray();
            var all = new List<string>(arguments);
            while (all.Count < DefaultArguments.Length) all.Add(DefaultArguments[all.Count]);
            if (all.Count > DefaultArguments.Length)
                all.RemoveRange(DefaultArguments.Length, all.Count - DefaultArguments.Length);
            all.Add(userName);
            return all.ToArray();
        }

        private static string PortArgument(int? port) =>
            port?.ToString(CultureInfo.InvariantCulture);

        private static string FlagArgument(bool? on) => on.HasValue ? (on.Value ? "1" : "0") : null;

        // ProcessStartInfo.Arguments is split by the rules CommandLineToArgvW
        // reads on Windows and by .NET everywhere; Mono's own System.dll on
        // other systems splits it like a shell's double-quoted words instead.
        private static string CommandLine(string[] arguments) {
            bool shellRules = !IsWindows && typeof(Process).Assembly.GetName().Name == "System";
            var line = new StringBuilder();
            foreach (string argument in arguments) {
                line.Append(line.Length > 0 ? " \"" : "\"");
                if (shellRules)
                    line.Append(argument.Replace("\\", "\\\\").Replace("\"", "\\\""));
                else
                    AppendWindowsQuoted(line, argument);
                line.Append('"');
            }
            return line.ToString();
        }

        // Within the quotes: a quote escaped, backslashes doubled only where
        // they stand before a quote (the closing one included).
        private static void AppendWindowsQuoted(StringBuilder line, string argument) {
            int backslashes = 0;
            foreach (char c in argument) {
                if (c == '\\') {
                    backslashes++;
                    continue;
                }
                line.Append('\\', c == '"' ? 2 * backslashes + 1 : backslashes).Append(c);
                backslashes = 0;
            }
            line.Append('\\', 2 * backslashes);
        }

        private static bool IsWindows => Environment.OSVersion.Platform == PlatformID.Win32NT;

        private static void KillQuietly(Process process) {
            try {
                process.Kill();
            } catch (Exception e) when (e is InvalidOperationException || e is Win32Exception) {
                // It has ended meanwhile.
            }
        }

        // POSIX only: SIGTERM, which the bridge ends at once on.
        private static bool SendTerminate(int pid) {
            try {
                return PosixKill(pid, 15) == 0;
            } catch (Exception e)
                when (e is DllNotFoundException || e is EntryPointNotFoundException) {
                return false;
            }
        }

        // Windows only, and run on no machine of ours: a job object that ends
        // the bridge when the game's last handle to it closes, however the game
        // ends. .NET Standard cannot create the process suspended, so the bridge
        // runs for a moment before it is assigned: a game that dies in that
        // moment leaves it running, and the bridge then ends with the game by
        // VOICEBRIDGE_PARENT_PID. A failure here only leaves the bridge
        // without the job; the start goes on.
        private static IntPtr PutInKillOnCloseJob(Process process) {
            // JOBOBJECT_EXTENDED_LIMIT_INFORMATION, zeroed but for LimitFlags,
            // which follows the two 64-bit time limits.
            int size = IntPtr.Size == 8 ? 144 : 112;
            IntPtr limits = Marshal.AllocHGlobal(size);
            IntPtr job = IntPtr.Zero;
            try {
                Marshal.Copy(new byte[size], 0, limits, size);
                Marshal.WriteInt32(limits, 16, 0x2000);  // JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE
                job = CreateJobObjectW(IntPtr.Zero, null);
                if (job != IntPtr.Zero && SetInformationJobObject(job, 9, limits, (uint)size) &&
                    AssignProcessToJobObject(job, process.Handle))
                    return job;
            } catch (Exception e)
                when (e is DllNotFoundException || e is EntryPointNotFoundException ||
                      e is InvalidOperationException || e is Win32Exception) {
                // Without the job.
            } finally {
                Marshal.FreeHGlobal(limits);
            }
            if (job != IntPtr.Zero)
                CloseHandle(job);
            return IntPtr.Zero;
        }

        [DllImport("libc", EntryPoint = "kill", SetLastError = true)]
        private static extern int PosixKill(int pid, int signal);

        [DllImport("kernel32.dll", SetLastError = true, CharSet = CharSet.Unicode)]
        private static extern IntPtr CreateJobObjectW(IntPtr attributes, string name);

        [DllImport("kernel32.dll", SetLastError = true)]
        private static extern bool SetInformationJobObject(IntPtr job, int infoClass, IntPtr info,
                                                           uint length);

        [DllImport("kernel32.dll", SetLastError = true)]
        private static extern bool AssignProcessToJobObject(IntPtr job, IntPtr process);

        [DllImport("kernel32.dll", SetLastError = true)]
        private static extern bool CloseHandle(IntPtr handle);
    }
}
