// The C# kit's test agent (tests/gamekit/AGENT.md): one request per line on
// standard input, TAB-separated, answered on standard output.
using System;
using System.Collections.Generic;
using System.Globalization;
using System.IO;
using System.Text;
using VoiceBridge;

internal static class Agent {
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

    private static void Main() {
        var input = new BufferedStream(Console.OpenStandardInput());
        var output = new StreamWriter(Console.OpenStandardOutput(), new UTF8Encoding(false));
        output.NewLine = "\n";
        output.AutoFlush = true;
        Bridge bridge = null;
        for (string[] f; (f = ReadRequest(input)) != null && f[0] != "quit";) {
            try {
                if (f[0] == "start") {
                    bridge?.Dispose();
                    bridge = new Bridge(f[1], f[2], new ArraySegment<string>(f, 3, f.Length - 3));
                    bridge.Start();
                }
                foreach (string line in Answer(bridge, f)) output.WriteLine(line);
            } catch (Exception e) {
                output.WriteLine("error " + e.Message.Replace('\n', ' '));
            }
        }
        bridge?.Dispose();
    }

    private static List<string> Answer(Bridge bridge, string[] f) {
        switch (f[0]) {
            case "start": return Lines("ok");
            case "status": return Lines(bridge.Status());
            case "state":
                return Lines(bridge.State().TryGetValue(f[1], out string value) ? value : "");
            case "wait_status": return Lines(Bool(bridge.WaitStatus(f[1], Time(f[2]))));
            case "session_over": return Lines(Bool(bridge.SessionOver()));
            case "exit_code": return Lines(bridge.ExitCode()?.ToString() ?? "none");
            case "send": return Lines(Send(bridge, f[1], Time(f[2])));
            case "stop": bridge.Stop(); return Lines("ok");
            case "read_state": return Lines(ReadState(bridge, int.Parse(f[1])));
            case "commands":
                return List(Bridge.Commands, c => c.Keyword + "\t" + Shapes[(int)c.Argument]);
            case "constants": return List(Constants, c => c.Name + "\t" + c.Value);
            case "users": return List(bridge.Users(), u => u.Id + "|" + u.Name);
            case "channels":
                return List(bridge.Channels(), c => c.Id + "|" + c.Name + "|" + c.ParentId);
            case "messages":
                return List(bridge.NewMessages(),
                            m => m.SenderId + "|" + m.SenderName + "|" + m.Text);
            default: return Lines("error unknown request");
        }
    }

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

    private static string Send(Bridge bridge, string command, TimeSpan timeout) {
        try {
            return Bool(bridge.Send(command, timeout));
        } catch (ArgumentException) {
            return "refused";
        }
    }

    // "reads N empty E": E counts the reads that gave no state after one had.
    private static string ReadState(Bridge bridge, int count) {
        int empty = 0;
        bool hadState = false;
        for (int i = 0; i < count; i++) {
            bool has = bridge.State().Count > 0;
            if (hadState && !has)
                empty++;
            hadState |= has;
        }
        return "reads " + count + " empty " + empty;
    }

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
