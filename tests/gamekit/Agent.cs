// The C# kit's test agent (tests/gamekit/AGENT.md): one request per line on
// standard input, TAB-separated, answered on standard output. The 1.0.0
// requests drive the 1.0.0 calls, which the kit keeps though it marks them
// obsolete.
#pragma warning disable 618
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Globalization;
using System.IO;
using System.Text;
using System.Threading;
using VoiceBridge;

internal sealed class Agent {
    private static readonly string[] Shapes = { "none", "channel_id", "channel_name",
                                                "user_id_text" };

    // The kit's words, named as AGENT.md names them.
    private static readonly (string Name, string Value)[] Constants = {
        ("data_directory", Bridge.DataDirectoryName),
        ("state_file", Bridge.StateFileName),
        ("users_file", Bridge.UsersFileName),
        ("channels_file", Bridge.ChannelsFileName),
        ("pm_file", Bridge.PrivateMessageFileName),
        ("command_file", Bridge.CommandFileName),
        ("lock_file", Bridge.LockFileName),
        ("state_keys", string.Join(",", Bridge.StateKeys)),
        ("status_starting", Bridge.StatusStarting),
        ("status_loggedin", Bridge.StatusLoggedIn),
        ("status_authorized", Bridge.StatusAuthorized),
        ("status_error", Bridge.StatusError),
        ("field_separator", Bridge.FieldSeparator.ToString()),
        ("default_host", Bridge.DefaultHost),
        ("default_port", Bridge.DefaultPort.ToString(CultureInfo.InvariantCulture)),
        ("default_encrypted", Bridge.DefaultEncrypted ? "1" : "0"),
        ("default_nickname", Bridge.DefaultNickname),
    };

    private Bridge _bridge;
    private readonly BridgeOptions _options = new BridgeOptions();
    // The command objects by the agent's numbers, 1, 2, ...
    private readonly List<BridgeCommand> _commands = new List<BridgeCommand>();

    private static void Main() {
        var input = new BufferedStream(Console.OpenStandardInput());
        var output = new StreamWriter(Console.OpenStandardOutput(), new UTF8Encoding(false));
        output.NewLine = "\n";
        output.AutoFlush = true;
        var agent = new Agent();
        for (string[] f; (f = ReadRequest(input)) != null && f[0] != "quit";) {
            try {
                foreach (string line in agent.Answer(f)) output.WriteLine(line);
            } catch (Exception e) {
                output.WriteLine("error " + e.Message.Replace('\n', ' '));
            }
        }
        agent._bridge?.Dispose();
    }

    private List<string> Answer(string[] f) {
        switch (f[0]) {
            case "start": return Start(f);
            case "configure": return Configure(f[1], f[2]);
            case "status": return Lines(_bridge.Status());
            case "state":
                return Lines(_bridge.State().TryGetValue(f[1], out string value) ? value : "");
            case "wait_status": return Lines(Bool(_bridge.WaitStatus(f[1], Time(f[2]))));
            case "session_over": return Lines(Bool(_bridge.SessionOver()));
            case "exit_code": return Lines(_bridge.ExitCode()?.ToString() ?? "none");
            case "send": return Lines(Send(Command(f, f.Length - 1), f[f.Length - 1]));
            case "post": return Lines(Post(Command(f, f.Length)));
            case "outcome": return Lines(_commands[int.Parse(f[1]) - 1].Outcome ?? "pending");
            case "update": return Update();
            case "stop": _bridge.Stop(); return Lines("ok");
            case "read_state": return Lines(ReadState(int.Parse(f[1])));
            case "frames": return Lines(Frames(int.Parse(f[1])));
            case "paced_frames": return Lines(PacedFrames(int.Parse(f[1])));
            case "ptt_latency": return Lines(PushToTalkLatency(int.Parse(f[1])));
            case "end_reason": return Lines(_bridge.EndReason ?? "");
            case "env": return Lines(Environment.GetEnvironmentVariable(f[1]) ?? "unset");
            case "commands":
                return List(Bridge.Commands, c => c.Keyword + "\t" + Shapes[(int)c.Argument]);
            case "constants": return List(Constants, c => c.Name + "\t" + c.Value);
            case "users": return List(_bridge.Users(), u => u.Id + "|" + u.Name);
            case "members":
                _bridge.Users();  // the 1.0.0 read, which pumps as Update does
                return List(_bridge.UserList, u => u.Id + "|" + u.ChannelId);
            case "channels":
                return List(_bridge.Channels(), c => c.Id + "|" + c.Name + "|" + c.ParentId);
            case "messages":
                return List(_bridge.NewMessages(),
                            m => m.SenderId + "|" + m.SenderName + "|" + m.Text);
            default: return Lines("error unknown request");
        }
    }

    private List<string> Start(string[] f) {
        _bridge?.Dispose();
        _commands.Clear();
        _bridge = new Bridge(f[1], f[2], new ArraySegment<string>(f, 3, f.Length - 3), _options);
        _bridge.Start();
        return Lines("ok");
    }

    private List<string> Configure(string name, string value) {
        switch (name) {
            case "username": _options.UserName = value; break;
            case "password": _options.Password = value; break;
            case "restart": _options.Restart = value == "1"; break;
            default: return Lines("error unknown option");
        }
        return Lines("ok");
    }

    private string Post(string command) {
        try {
            return "posted " + Number(_bridge.Post(command));
        } catch (ArgumentException) {
            return "refused";
        }
    }

    // The agent's number of a command object; one it did not post gets the next.
    private int Number(BridgeCommand command) {
        int index = _commands.IndexOf(command);
        if (index < 0) {
            _commands.Add(command);
            index = _commands.Count - 1;
        }
        return index + 1;
    }

    private List<string> Update() {
        var lines = new List<string>();
        foreach (BridgeEvent e in _bridge.Update()) lines.Add(Show(e));
        lines.Add("end");
        return lines;
    }

    private string Show(BridgeEvent e) {
        switch (e.Kind) {
            case BridgeEventKind.Status: return "status|" + e.Status;
            case BridgeEventKind.Users: return "users";
            case BridgeEventKind.Channels: return "channels";
            case BridgeEventKind.Members: return "members";
            case BridgeEventKind.Message:
                return "message|" + e.Message.SenderId + "|" + e.Message.SenderName + "|" +
                       e.Message.Text;
            case BridgeEventKind.Outcome:
                return "outcome|" + Number(e.Command) + "|" + e.Outcome + "|" + e.Command.Text;
            case BridgeEventKind.SessionOver: return "session_over|" + e.Reason + "|" + e.Text;
            default:
                return "restarting|" + e.Attempt + "|" + (long)e.Delay.TotalMilliseconds;
        }
    }

    // The command is every field from the second up to the end: a raw TAB
    // in a command splits it into fields, and is put back.
    private static string Command(string[] f, int end) =>
        string.Join("\t", f, 1, Math.Max(0, end - 1));

    private string Send(string command, string milliseconds) {
        try {
            return Bool(_bridge.Send(command, Time(milliseconds)));
        } catch (ArgumentException) {
            return "refused";
        }
    }

    // "reads N empty E": E counts the reads that gave no state after one had.
    private string ReadState(int count) {
        int empty = 0;
        bool hadState = false;
        for (int i = 0; i < count; i++) {
            bool has = _bridge.State().Count > 0;
            if (hadState && !has)
                empty++;
            hadState |= has;
        }
        return "reads " + count + " empty " + empty;
    }

    private string Frames(int count) {
        var times = new List<long>();
        var clock = new Stopwatch();
        for (int i = 0; i < count; i++) {
            clock.Restart();
            _bridge.Update();
            times.Add(Microseconds(clock));
        }
        times.Sort();
        return "median_us " + times[times.Count / 2] + " p99_us " + Percentile(times, 99) +
               " max_us " + times[times.Count - 1];
    }

    private string PacedFrames(int milliseconds) {
        var total = Stopwatch.StartNew();
        var clock = new Stopwatch();
        long frames = 0, longest = 0;
        while (total.ElapsedMilliseconds < milliseconds) {
            clock.Restart();
            _bridge.Update();
            longest = Math.Max(longest, Microseconds(clock));
            frames++;
            Thread.Sleep(16);
        }
        return "frames " + frames + " max_us " + longest;
    }

    // From the post to the update after which the state shows that ptt value.
    private string PushToTalkLatency(int count) {
        var times = new List<long>();
        var clock = new Stopwatch();
        for (int i = 0; i < count; i++) {
            bool on = i % 2 == 0;
            clock.Restart();
            _bridge.Post(on ? "ptt_on" : "ptt_off");
            string wanted = on ? "1" : "0";
            for (;;) {
                _bridge.Update();
                if (_bridge.CurrentState.TryGetValue("ptt", out string ptt) && ptt == wanted)
                    break;
                if (clock.ElapsedMilliseconds > 5000)
                    return "error ptt " + wanted + " not shown within 5 s";
                Thread.Sleep(1);
            }
            times.Add(Microseconds(clock));
        }
        times.Sort();
        return "p50_us " + times[times.Count / 2] + " p99_us " + Percentile(times, 99) +
               " max_us " + times[times.Count - 1];
    }

    private static long Percentile(List<long> sorted, int percent) =>
        sorted[Math.Min(sorted.Count - 1, sorted.Count * percent / 100)];

    private static long Microseconds(Stopwatch clock) =>
        clock.ElapsedTicks * 1000000 / Stopwatch.Frequency;

    private static List<string> Lines(string line) => new List<string> { line };

    private static List<string> List<T>(IEnumerable<T> items, Func<T, string> show) {
        var lines = new List<string>();
        foreach (T item in items) lines.Add(show(item));
        lines.Add("end");
        return lines;
    }

    private static string Bool(bool value) => value ? "true" : "false";

    private static TimeSpan Time(string milliseconds) =>
        TimeSpan.FromMilliseconds(int.Parse(milliseconds));

    // One line of bytes up to its line feed, split at TABs, with \n, \t and \\ unescaped.
    private static string[] ReadRequest(Stream input) {
        var bytes = new List<byte>();
        int b;
        while ((b = input.ReadByte()) >= 0 && b != '\n') bytes.Add((byte)b);
        if (b < 0 && bytes.Count == 0)
            return null;
        string[] fields = Encoding.UTF8.GetString(bytes.ToArray()).Split('\t');
        for (int i = 0; i < fields.Length; i++) {
            var field = new StringBuilder();
            for (int j = 0; j < fields[i].Length; j++) {
                char next = j + 1 < fields[i].Length ? fields[i][j + 1] : ' ';
                if (fields[i][j] == '\\' && (next == 'n' || next == 't' || next == '\\')) {
                    field.Append(next == 'n' ? '\n' : next == 't' ? '\t' : '\\');
                    j++;
                } else
                    field.Append(fields[i][j]);
            }
            fields[i] = field.ToString();
        }
        return fields;
    }
}
