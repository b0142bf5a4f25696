"""The Python kit's test agent: one request per line on stdin, TAB-separated
fields with \\n, \\t and \\\\ escapes, one answer per request on stdout
(tests/gamekit/AGENT.md)."""

import os
import re
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "..", "gamekit", "python"))
import voicebridge_game  # noqa: E402

ESCAPES = {"\\n": "\n", "\\t": "\t", "\\\\": "\\"}
bridge = None
options = {}  # constructor options for the next start
commands = []  # the command objects, numbered from 1 in order seen
numbers = {}  # id() of each of them: its number


def answer(*lines):
    sys.stdout.buffer.write("".join(line + "\n" for line in lines).encode())
    sys.stdout.buffer.flush()


def listing(rows, separator="|"):
    answer(*[separator.join(str(field) for field in row) for row in rows],
           "end")


def constants():
    kit = voicebridge_game
    return (("data_directory", kit.DATA_DIRECTORY),
            ("state_file", kit.STATE_FILE),
            ("users_file", kit.USERS_FILE),
            ("channels_file", kit.CHANNELS_FILE),
            ("pm_file", kit.PRIVATE_MESSAGE_FILE),
            ("command_file", kit.COMMAND_FILE),
            ("lock_file", kit.LOCK_FILE),
            ("state_keys", ",".join(kit.STATE_KEYS)),
            ("status_starting", kit.STATUS_STARTING),
            ("status_loggedin", kit.STATUS_LOGGED_IN),
            ("status_authorized", kit.STATUS_AUTHORIZED),
            ("status_error", kit.STATUS_ERROR),
            ("field_separator", kit.FIELD_SEPARATOR),
            ("default_host", kit.DEFAULT_HOST),
            ("default_port", kit.DEFAULT_PORT),
            ("default_encrypted", int(kit.DEFAULT_ENCRYPTED)),
            ("default_nickname", kit.DEFAULT_NICKNAME))


def number(command):
    if id(command) not in numbers:
        commands.append(command)  # kept, so that no id() is reused
        numbers[id(command)] = len(commands)
    return numbers[id(command)]


def event_row(event):
    if event.kind == "status":
        return ("status", event.status)
    if event.kind == "message":
        return ("message", event.sender_id, event.sender_name, event.text)
    if event.kind == "outcome":
        return ("outcome", number(event.command), event.outcome,
                event.command.text)
    if event.kind == "session_over":
        return ("session_over", event.reason, event.text)
    if event.kind == "restarting":
        return ("restarting", event.attempt, round(event.delay * 1000))
    return (event.kind,)


def read_state(count):
    reads = empty = 0
    seen = False
    for _ in range(count):
        state = bridge.state()
        reads += 1
        empty += seen and not state
        seen = seen or bool(state)
    return "reads %d empty %d" % (reads, empty)


def microseconds(seconds):
    return int(seconds * 1e6)


def spread(times, middle, high):
    """The median, 99th percentile and maximum of ``times``, named."""
    times = sorted(times)
    p99 = times[min(len(times) - 1, len(times) * 99 // 100)]
    return "%s %d %s %d max_us %d" % (
        middle, microseconds(times[len(times) // 2]), high, microseconds(p99),
        microseconds(times[-1]))


def frames(count):
    times = []
    for _ in range(count):
        begun = time.perf_counter()
        bridge.update()
        times.append(time.perf_counter() - begun)
    return spread(times, "median_us", "p99_us")


def paced_frames(milliseconds):
    longest, count = 0.0, 0
    end = time.monotonic() + milliseconds / 1000
    while time.monotonic() < end:
        begun = time.perf_counter()
        bridge.update()
        longest = max(longest, time.perf_counter() - begun)
        count += 1
        time.sleep(0.016)
    return "frames %d max_us %d" % (count, microseconds(longest))


def ptt_latency(count):
    times = []
    for i in range(count):
        command, value = ("ptt_on", "1") if i % 2 == 0 else ("ptt_off", "0")
        begun = time.perf_counter()
        bridge.post(command)
        while True:
            bridge.update()
            if bridge.state().get("ptt") == value:
                break
            if time.perf_counter() - begun > 5:
                return "error %s not shown within 5 s" % command
            time.sleep(0.001)
        times.append(time.perf_counter() - begun)
    return spread(times, "p50_us", "p99_us")


def start(args):
    global bridge
    if bridge:
        bridge.stop()
    # Five positional arguments; a sixth is the user name, unless set.
    keywords = dict(options)
    if len(args) > 7 and "username" not in keywords:
        keywords["username"] = args[7]
    bridge = voicebridge_game.Bridge(args[0], args[1], *args[2:7], **keywords)
    try:
        bridge.start()
    except OSError as error:
        return answer("error %s" % error)
    answer("ok")


def run(op, args):
    if op == "start":
        return start(args)
    if op == "configure":
        name, value = args[0], args[1]
        options[name] = value == "1" if name == "restart" else value
        return answer("ok")
    if op == "status":
        return answer(bridge.status())
    if op == "state":
        return answer(bridge.state().get(args[0], ""))
    if op == "wait_status":
        return answer(str(bridge.wait_status(args[0], int(args[1]) / 1000))
                      .lower())
    if op == "session_over":
        return answer(str(bridge.session_over()).lower())
    if op == "exit_code":
        code = bridge.exit_code()
        return answer("none" if code is None else str(code))
    if op == "send":
        try:
            taken = bridge.send(args[0], int(args[1]) / 1000)
        except ValueError:
            return answer("refused")
        return answer(str(taken).lower())
    if op == "post":
        try:
            return answer("posted %d" % number(bridge.post(args[0])))
        except ValueError:
            return answer("refused")
    if op == "outcome":
        return answer(commands[int(args[0]) - 1].outcome or "pending")
    if op == "update":
        return listing(event_row(event) for event in bridge.update())
    if op == "messages":
        return listing(bridge.new_messages())
    if op == "users":
        return listing(bridge.users())
    if op == "members":
        return listing((user.id, user.channel_id) for user in bridge.users())
    if op == "channels":
        return listing(bridge.channels())
    if op == "end_reason":
        return answer(bridge.end_reason())
    if op == "env":
        return answer(os.environ.get(args[0], "unset"))
    if op == "commands":
        return listing(voicebridge_game.COMMANDS, "\t")
    if op == "constants":
        return listing(constants(), "\t")
    if op == "read_state":
        return answer(read_state(int(args[0])))
    if op == "frames":
        return answer(frames(int(args[0])))
    if op == "paced_frames":
        return answer(paced_frames(int(args[0])))
    if op == "ptt_latency":
        return answer(ptt_latency(int(args[0])))
    if op == "stop":
        bridge.stop()
        return answer("ok")
    answer("error unknown request")


for raw in sys.stdin.buffer:
    fields = [re.sub(r"\\[nt\\]", lambda m: ESCAPES[m.group()], field)
              for field in raw.decode("utf-8", "replace").rstrip("\n")
              .split("\t")]
    if fields[0] == "quit":
        break
    try:
        run(fields[0], fields[1:])
    except Exception as error:  # one answer per request, whatever happens
        answer("error %s" % (str(error).replace("\n", " ") or
                             type(error).__name__))
if bridge:
    bridge.stop()
