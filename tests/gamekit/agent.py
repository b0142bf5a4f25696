"""The Python kit's test agent: one request per line on stdin, TAB-separated
fields with \\n, \\t and \\\\ escapes, one answer per request on stdout
(tests/gamekit/AGENT.md)."""

import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "..", "gamekit", "python"))
import voicebridge_game  # noqa: E402

ESCAPES = {"\\n": "\n", "\\t": "\t", "\\\\": "\\"}
bridge = None


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


def read_state(count):
    reads = empty = 0
    seen = False
    for _ in range(count):
        state = bridge.state()
        reads += 1
        empty += seen and not state
        seen = seen or bool(state)
    return "reads %d empty %d" % (reads, empty)


def run(op, args):
    global bridge
    if op == "start":
        if bridge:
            bridge.stop()
        # The bridge reads five arguments and ignores any after them.
        bridge = voicebridge_game.Bridge(args[0], args[1], *args[2:7])
        bridge.start()
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
    if op == "messages":
        return listing(bridge.new_messages())
    if op == "users":
        return listing(bridge.users())
    if op == "channels":
        return listing(bridge.channels())
    if op == "commands":
        return listing(voicebridge_game.COMMANDS, "\t")
    if op == "constants":
        return listing(constants(), "\t")
    if op == "read_state":
        return answer(read_state(int(args[0])))
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
