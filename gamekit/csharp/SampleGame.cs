// SampleGame.cs: a complete game loop with voice through VoiceBridge.cs, in
// text mode. Sixty frames a second, one Update a frame and nothing else that
// waits but Start and Stop: it logs in with the demo's account, joins the
// channel behind a password, talks to Eco, pushes to talk, leaves, and then
// rides out the loss of the server with the restart.
//
//   mcs -langversion:7 -out:SampleGame.exe VoiceBridge.cs SampleGame.cs
//   mono SampleGame.exe GAME_DIR PROGRAM HOST PORT
//
// against voicesim --scenario scenarios/demo.txt --port PORT.
using System;
using System.Diagnostics;
using System.IO;
using System.Text;
using System.Threading;
using VoiceBridge;

internal sealed class SampleGame {
    private const int FrameMilliseconds = 16;
    private static readonly TimeSpan Deadline = TimeSpan.FromSeconds(90);
    // The demo's bot who echoes every private message, and what it is told.
    private const int EcoUserId = 100;
    private const string EcoText = "Olá, Eco";
    private const string PasswordChannel = "Reservado";

    // What the game does in turn once it is in: each command waits for the
    // one before to be done; a shown one prints its outcome.
    private static readonly (string Command, bool Shown)[] Script = {
        ("joinpath " + PasswordChannel + "|segredo", true),
        ("pm " + EcoUserId + "|" + EcoText, false),
        ("ptt_on", true),
        ("ptt_off", true),
        ("leave", true),
    };

    private enum Stage { LoggingIn, AwaitingLists, Playing, AwaitingEnd, Restarting, Done }

    private readonly Bridge _bridge;
    private readonly TextWriter _out;
    private Stage _stage = Stage.LoggingIn;
    private int _step;  // the Script's command in flight
    private BridgeCommand _command;
    private bool _echoHeard;
    private string _failure;

    private SampleGame(Bridge bridge, TextWriter output) {
        _bridge = bridge;
        _out = output;
    }

    private static int Main(string[] args) {
        var output = new StreamWriter(Console.OpenStandardOutput(), new UTF8Encoding(false)) {
            NewLine = "\n",
            AutoFlush = true,
        };
        if (args.Length != 4 || !int.TryParse(args[3], out int port)) {
            output.WriteLine("failed: usage: SampleGame GAME_DIR PROGRAM HOST PORT");
            return 1;
        }
        var account = new BridgeOptions { UserName = "ana", Password = "segredo-ana",
                                          Restart = true };
        using (var bridge = new Bridge(args[0], args[1], account, args[2], port, port, false, "Ana")) {
            var game = new SampleGame(bridge, output);
            return game.Run();
        }
    }

    private int Run() {
        try {
            _bridge.Start();
        } catch (Exception e) {
            return Fail("the bridge did not start: " + e.Message);
        }
        var clock = Stopwatch.StartNew();
        while (_stage != Stage.Done && _failure == null) {
            foreach (BridgeEvent e in _bridge.Update()) OnEvent(e);
            if (_stage == Stage.AwaitingLists && ListsAreIn())
                Play();
            if (clock.Elapsed > Deadline && _failure == null)
                _failure = "nothing more happened within 90 s";
            Thread.Sleep(FrameMilliseconds);  // the rest of the frame
        }
        if (_failure != null)
            return Fail(_failure);
        _bridge.Stop();
        _out.WriteLine("stopped");
        return 0;
    }

    private void OnEvent(BridgeEvent e) {
        switch (e.Kind) {
            case BridgeEventKind.Status:
                if (e.Status == Bridge.StatusAuthorized)
                    OnAuthorized();
                break;
            case BridgeEventKind.Outcome:
                if (e.Command == _command)
                    OnOutcome();
                break;
            case BridgeEventKind.Message:
                if (e.Message.SenderId == EcoUserId && e.Message.Text == EcoText) {
                    _out.WriteLine(e.Message.SenderName + " says: " + e.Message.Text);
                    _echoHeard = true;
                    NextCommand();
                }
                break;
            case BridgeEventKind.SessionOver:
                // A try of the restart that finds no server yet ends too: the
                // restart goes on.
                if (_stage == Stage.Restarting)
                    break;
                if (_stage != Stage.AwaitingEnd)
                    _failure = "the session ended too early: " + e.Reason + " " + e.Text;
                _out.WriteLine("session over: " + e.Reason);
                _stage = Stage.Restarting;
                break;
            case BridgeEventKind.Restarting:
                if (_stage != Stage.Restarting)
                    _failure = "a restart while playing";
                _out.WriteLine("restarting: attempt " + e.Attempt + " in " +
                               (long)e.Delay.TotalMilliseconds + " ms");
                break;
        }
    }

    private void OnAuthorized() {
        if (_stage == Stage.LoggingIn) {
            _out.WriteLine("authorized as " + _bridge.MyUserId);
            _stage = Stage.AwaitingLists;
        } else if (_stage == Stage.Restarting) {
            _out.WriteLine("authorized again");
            _stage = Stage.Done;
        }
    }

    // A joinpath needs its channel listed, and Eco must be there to answer.
    private bool ListsAreIn() {
        bool channel = false, eco = false;
        foreach (Channel c in _bridge.ChannelList) channel |= c.Name == PasswordChannel;
        foreach (User u in _bridge.UserList) eco |= u.Id == EcoUserId;
        return channel && eco;
    }

    private void Play() {
        _out.WriteLine(_bridge.UserList.Count + " users, " + _bridge.ChannelList.Count +
                       " channels");
        _stage = Stage.Playing;
        _command = _bridge.Post(Script[0].Command);
    }

    private void OnOutcome() {
        if (_command.Outcome != CommandOutcome.Done) {
            _failure = _command.Text + ": " + _command.Outcome + " " + _command.OutcomeText;
            return;
        }
        if (Script[_step].Shown)
            _out.WriteLine(_command.Text + ": " + _command.Outcome);
        // The private message is through once Eco's answer is in as well.
        if (Script[_step].Command.StartsWith("pm ", StringComparison.Ordinal) && !_echoHeard)
            return;
        NextCommand();
    }

    private void NextCommand() {
        if (_command.IsPending)
            return;
        _step++;
        if (_step < Script.Length) {
            _command = _bridge.Post(Script[_step].Command);
            return;
        }
        _out.WriteLine("waiting for the server to come back");
        _stage = Stage.AwaitingEnd;
    }

    private int Fail(string why) {
        _out.WriteLine("failed: " + why);
        return 1;
    }
}
