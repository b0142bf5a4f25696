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
        /// <summary>A channel ID in decimal, 1 to 2147483647.</summary>
        ChannelId,
        /// <summary>A channel's name as channels.txt shows it.</summary>
        ChannelName,
        /// <summary>A user ID in decimal, a bar, and a text that is not empty.</summary>
        UserIdAndText,
    }

    /// <summary>
    /// One voicebridge process serving one game folder: started, read, sent
    /// commands and stopped. Dispose stops it.
    /// </summary>
    public sealed class Bridge : IDisposable {
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
        internal const string PrivateMessageFileName = "pm_in.txt";
        internal const string CommandFileName = "cmd.txt";
        internal const string LockFileName = "voicebridge.lock";
        internal const char FieldSeparator = '|';
        private const string StateKeyStatus = "status";
        private const string StateKeyMyUserId = "myuserid";
        // The state's keys in the order the bridge writes them.
        internal static readonly IReadOnlyList<string> StateKeys =
            new ReadOnlyCollection<string>(new[] { StateKeyStatus, "ptt", StateKeyMyUserId,
                                                   "mychannelid", "mychannelname", "nickname",
                                                   "error" });
        // What the bridge takes for an argument left out.
        internal const string DefaultHost = "localhost";
        internal const int DefaultPort = 10333;
        internal const bool DefaultEncrypted = false;
        internal const string DefaultNickname = "Jogador";
        private static readonly TimeSpan DefaultTimeout = TimeSpan.FromSeconds(5);
        private const int PollMilliseconds = 10;

        private readonly string _gameDir;
        private readonly string _program;
        private readonly string[] _arguments;
        private readonly EventHandler _stopAtExit;
        private Process _process;
        private IntPtr _job;
        private int _pid;
        private int? _exitCode;
        private bool _thisRun;           // the lock names _pid and state.txt is there
        private long _messageOffset;     // how far pm_in.txt has been read
        private string _stateText = "";  // the last good read of each file, kept
        private string _usersText = "";  // when an open is refused
        private string _channelsText = "";

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
            : this(gameDir, program,
                   PositionalArguments(host, tcpPort, udpPort, encrypted, nickname)) {}

        /// <summary>
        /// A bridge for <paramref name="gameDir"/> given its positional
        /// arguments exactly as they are passed (see the guide's table).
        /// </summary>
        /// <exception cref="ArgumentException">
        /// An empty folder or program, or an argument that is null or holds a zero character.
        /// </exception>
        public Bridge(string gameDir, string program, IEnumerable<string> arguments) {
            if (string.IsNullOrEmpty(gameDir))
                throw new ArgumentException("The game folder is needed.", nameof(gameDir));
            if (string.IsNullOrEmpty(program))
                throw new ArgumentException("The bridge's program is needed.", nameof(program));
            if (arguments == null)
                throw new ArgumentNullException(nameof(arguments));
            _arguments = new List<string>(arguments).ToArray();
            foreach (string argument in _arguments)
                if (argument == null || argument.IndexOf('\0') >= 0)
                    throw new ArgumentException("An argument is null or holds a zero character.",
                                                nameof(arguments));
            // Fixed now, so that a later change of the current directory moves nothing.
            _gameDir = Path.GetFullPath(gameDir);
            bool hasFolder = program.IndexOf(Path.DirectorySeparatorChar) >= 0 ||
                             program.IndexOf(Path.AltDirectorySeparatorChar) >= 0;
            _program = hasFolder ? Path.GetFullPath(program) : program;
            _stopAtExit = (sender, e) => Stop(TimeSpan.FromSeconds(1));
        }

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
            Directory.CreateDirectory(_gameDir);
            try {
                File.Delete(DataPath(StateFileName));
            } catch (DirectoryNotFoundException) {
                // No data folder: no state either.
            }
            _pid = 0;
            _thisRun = false;
            _messageOffset = 0;
            _stateText = "";
            _exitCode = null;
            var start = new ProcessStartInfo(_program, CommandLine(_arguments)) {
                UseShellExecute = false,
                CreateNoWindow = true,
                WorkingDirectory = _gameDir,
            };
            _process = Process.Start(start);
            _pid = _process.Id;
            if (IsWindows)
                _job = PutInKillOnCloseJob(_process);
            // Where the system cannot end the bridge with the game (POSIX: a
            // parent-death signal cannot be set from .NET), end it at least
            // when the runtime exits or unloads the game's code normally.
            AppDomain.CurrentDomain.ProcessExit += _stopAtExit;
            AppDomain.CurrentDomain.DomainUnload += _stopAtExit;
        }

        /// <summary>Ends the bridge, if it runs, within 5 seconds.</summary>
        public void Stop() => Stop(DefaultTimeout);

        /// <summary>
        /// Ends the bridge and waits for it: on Windows at once
        /// (TerminateProcess), elsewhere by SIGTERM and, after
        /// <paramref name="timeout"/>, SIGKILL.
        /// </summary>
        public void Stop(TimeSpan timeout) {
            if (_process == null)
                return;
            AppDomain.CurrentDomain.ProcessExit -= _stopAtExit;
            AppDomain.CurrentDomain.DomainUnload -= _stopAtExit;
            try {
                if (!_process.HasExited) {
                    if (IsWindows || !SendTerminate(_pid))
                        KillQuietly(_process);
                    if (!_process.WaitForExit(Milliseconds(timeout)))
                        KillQuietly(_process);
                }
                _process.WaitForExit();
                _exitCode = _process.ExitCode;
            } finally {
                if (_job != IntPtr.Zero)
                    CloseHandle(_job);
                _job = IntPtr.Zero;
                _process.Dispose();
                _process = null;
            }
        }

        /// <summary>Stops the bridge.</summary>
        public void Dispose() => Stop();

        /// <summary>
        /// This run's state, key by key (status, ptt, myuserid, mychannelid,
        /// mychannelname, nickname, error); empty until this run has published.
        /// </summary>
        public IReadOnlyDictionary<string, string> State() {
            var state = new Dictionary<string, string>();
            string text = IsThisRun() ? ReadText(StateFileName, ref _stateText) : "";
            foreach (string line in Lines(text)) {
                int bar = line.IndexOf(FieldSeparator);
                if (bar > 0)
                    state[line.Substring(0, bar)] = line.Substring(bar + 1);
            }
            return state;
        }

        /// <summary>
        /// This run's status word (see the Status constants); empty until it has published.
        /// </summary>
        public string Status() {
            State().TryGetValue(StateKeyStatus, out string status);
            return status ?? "";
        }

        /// <summary>
        /// Polls the status until it is <paramref name="status"/> (true) or the time runs out.
        /// </summary>
        public bool WaitStatus(string status, TimeSpan timeout) {
            if (status == null)
                throw new ArgumentNullException(nameof(status));
            var clock = Stopwatch.StartNew();
            while (Status() != status) {
                if (clock.Elapsed >= timeout)
                    return false;
                Thread.Sleep(PollMilliseconds);
            }
            return true;
        }

        /// <summary>
        /// True once the session is over: this run's state says error with user
        /// ID 0, or no bridge of this object runs. Start again to try again.
        /// </summary>
        public bool SessionOver() {
            if (!IsRunning)
                return true;
            IReadOnlyDictionary<string, string> state = State();
            return state.TryGetValue(StateKeyStatus, out string status) && status == StatusError &&
                   state.TryGetValue(StateKeyMyUserId, out string userId) && userId == "0";
        }

        /// <summary>
        /// The bridge's exit code once it has ended, null while it runs or
        /// before a start: 1, 2 or 3 when it refused to start, 0xC0000135 on
        /// Windows for a missing library; on POSIX 128 plus the number of the
        /// signal that ended it (143 after <see cref="Stop()"/>).
        /// </summary>
        public int? ExitCode() {
            if (_process == null)
                return _exitCode;
            return _process.HasExited ? _process.ExitCode : (int?)null;
        }

        /// <summary>The users of users.txt in its order; empty when it is missing.</summary>
        public IReadOnlyList<(int Id, string Name)> Users() {
            var users = new List<(int Id, string Name)>();
            foreach (string line in Lines(ReadText(UsersFileName, ref _usersText))) {
                int bar = line.IndexOf(FieldSeparator);
                if (bar > 0 && TryParseId(line.Substring(0, bar), out int id))
                    users.Add((id, line.Substring(bar + 1)));
            }
            return users;
        }

        /// <summary>
        /// The channels of channels.txt in its order (the root: an empty name and parent 0).
        /// </summary>
        public IReadOnlyList<(int Id, string Name, int ParentId)> Channels() {
            var channels = new List<(int Id, string Name, int ParentId)>();
            foreach (string line in Lines(ReadText(ChannelsFileName, ref _channelsText))) {
                // id|name|0|parent: the name, bars and all, lies between the first bar
                // and the last two.
                int first = line.IndexOf(FieldSeparator);
                int last = line.LastIndexOf(FieldSeparator);
                int beforeLast = last > 0 ? line.LastIndexOf(FieldSeparator, last - 1) : -1;
                if (first > 0 && beforeLast > first &&
                    TryParseId(line.Substring(0, first), out int id) &&
                    TryParseId(line.Substring(last + 1), out int parentId))
                    channels.Add((id, line.Substring(first + 1, beforeLast - first - 1), parentId));
            }
            return channels;
        }

        /// <summary>
        /// The private messages that arrived since the last call, each once and
        /// in order; none until this run has published.
        /// </summary>
        public IReadOnlyList<(int SenderId, string SenderName, string Text)> NewMessages() {
            var messages = new List<(int SenderId, string SenderName, string Text)>();
            if (!IsThisRun())
                return messages;  // pm_in.txt may still be the earlier run's
            byte[] fresh;
            try {
                using (FileStream file = OpenShared(DataPath(PrivateMessageFileName))) {
                    if (file.Length < _messageOffset)
                        _messageOffset = 0;  // a restarted bridge emptied it
                    file.Seek(_messageOffset, SeekOrigin.Begin);
                    fresh = ReadToEnd(file);
                }
            } catch (Exception e) when (e is IOException || e is UnauthorizedAccessException) {
                return messages;  // missing or refused: nothing new, the offset is kept
            }
            // Complete lines only: a last one without its line feed is still being written.
            int end = Array.LastIndexOf(fresh, (byte)'\n');
            _messageOffset += end + 1;
            foreach (string line in Lines(Encoding.UTF8.GetString(fresh, 0, end + 1))) {
                int first = line.IndexOf(FieldSeparator);
                int second = first > 0 ? line.IndexOf(FieldSeparator, first + 1) : -1;
                if (second > 0 && TryParseId(line.Substring(0, first), out int senderId))
                    messages.Add((senderId, line.Substring(first + 1, second - first - 1),
                                  line.Substring(second + 1)));
            }
            return messages;
        }

        /// <summary>
        /// Sends a command, waiting at most 10 seconds (see the overload with a timeout).
        /// </summary>
        public bool Send(string command) => Send(command, TimeSpan.FromSeconds(10));

        /// <summary>
        /// Waits until the previous command is taken, writes this one and waits
        /// until the bridge takes it (true). False when the time runs out: a
        /// command written by then still waits in cmd.txt and will run, so do
        /// not send it again; only when the previous one was still waiting all
        /// that time was this one not written. False at once when no bridge of
        /// this object runs.
        /// </summary>
        /// <exception cref="ArgumentException">
        /// Not a bridge command with a well-formed argument; no file was touched.
        /// </exception>
        public bool Send(string command, TimeSpan timeout) {
            CheckCommand(command);
            byte[] text = Encoding.UTF8.GetBytes(command);
            var clock = Stopwatch.StartNew();
            bool written = false;
            while (IsRunning) {
                byte[] waiting = ReadFile(CommandFileName);
                if (written && waiting != null && !SameBytes(waiting, text))
                    return true;
                if (!written && waiting != null && waiting.Length == 0)
                    written = WriteCommandFile(text);
                if (clock.Elapsed >= timeout)
                    break;
                Thread.Sleep(PollMilliseconds);
            }
            return false;
        }

        private static void CheckCommand(string command) {
            if (command == null)
                throw new ArgumentNullException(nameof(command));
            if (command.IndexOfAny(new[] { '\n', '\r', '\0' }) >= 0)
                throw new ArgumentException("A command holds no line break and no zero character.",
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
            int bar = argument.IndexOf(FieldSeparator);  // for UserIdAndText
            switch (shape) {
                case CommandArgument.ChannelId:
                    return TryParseId(argument, out int channelId) && channelId > 0;
                case CommandArgument.ChannelName: return argument.Length > 0;
                case CommandArgument.UserIdAndText:
                    return bar > 0 && TryParseId(argument.Substring(0, bar), out int userId) &&
                           userId > 0 && bar + 1 < argument.Length;
                default: return false;
            }
        }

        // Decimal digits only, up to 2147483647.
        private static bool TryParseId(string text, out int id) =>
            int.TryParse(text, NumberStyles.None, CultureInfo.InvariantCulture, out id);

        // Once state.txt is there and the lock names the process started here,
        // the files are this run's; an orphan bridge there publishes its own.
        private bool IsThisRun() {
            if (!_thisRun && _pid != 0 && ReadText(StateFileName, ref _stateText).Length > 0) {
                string holder = "";
                _thisRun = ReadText(LockFileName, ref holder) ==
                           _pid.ToString(CultureInfo.InvariantCulture) + "\n";
            }
            return _thisRun;
        }

        // The whole file as text; when its open is refused for a moment (a
        // sharing violation on Windows), the last good read, until the next call.
        private string ReadText(string name, ref string lastGood) {
            byte[] content = ReadFile(name);
            if (content != null)
                lastGood = Encoding.UTF8.GetString(content);
            return lastGood;
        }

        // The whole file: empty when it does not exist, null when refused.
        private byte[] ReadFile(string name) {
            try {
                using (FileStream file = OpenShared(DataPath(name))) return ReadToEnd(file);
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
        private static FileStream OpenShared(string path) => new FileStream(
            path, FileMode.Open, FileAccess.Read, FileShare.ReadWrite | FileShare.Delete);

        private static byte[] ReadToEnd(Stream stream) {
            using (var memory = new MemoryStream()) {
                stream.CopyTo(memory);
                return memory.ToArray();
            }
        }

        private static bool SameBytes(byte[] a, byte[] b) {
            if (a.Length != b.Length)
                return false;
            for (int i = 0; i < a.Length; i++)
                if (a[i] != b[i])
                    return false;
            return true;
        }

        private static IEnumerable<string> Lines(string text) {
            foreach (string line in text.Split('\n'))
                if (line.Length > 0)
                    yield return line;
        }

        private string DataPath(string name) => Path.Combine(_gameDir, DataDirectoryName, name);

        private static int Milliseconds(TimeSpan timeout) =>
            (int)Math.Max(0, Math.Min(int.MaxValue, timeout.TotalMilliseconds));

        private static IEnumerable<string> PositionalArguments(string host, int? tcpPort,
                                                               int? udpPort, bool? encrypted,
                                                               string nickname) {
            string[] given = { host, PortArgument(tcpPort), PortArgument(udpPort),
                               FlagArgument(encrypted), nickname };
            string[] defaults = { DefaultHost, PortArgument(DefaultPort), PortArgument(DefaultPort),
                                  FlagArgument(DefaultEncrypted), DefaultNickname };
            int count = given.Length;
            while (count > 0 && given[count - 1] == null) count--;
            var arguments = new string[count];
            for (int i = 0; i < count; i++) arguments[i] = given[i] ?? defaults[i];
            return arguments;
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

        private bool IsRunning => _process != null && !_process.HasExited;

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
        // moment leaves it running, and the next start in the folder then ends
        // with exit code 2 (see the guide on orphans). A failure here only
        // leaves the bridge without the job; the start goes on.
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
