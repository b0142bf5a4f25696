"""Voice chat for a Python game through voicebridge.

The game and the bridge share nothing but the plain UTF-8 text files in
``data/`` under the bridge's working directory.  This module follows the
rules of the guide, docs/game-integration.md: a start that cannot take an
earlier run's state for this one, the bridge ended with the game where the
platform allows, one command at a time, paired with the bridge's answer in
events.txt, and pm_in.txt and events.txt read from kept offsets, never
truncated.  ``Bridge.update()`` is the pump a game calls once a frame; it
never waits.  Standard library only, Python 3.8 or later.  Use one Bridge
from one thread.
"""

import os
import signal
import subprocess
import sys
import threading
import time
from collections import OrderedDict, deque
from typing import (Callable, Deque, Dict, List, Mapping, NamedTuple,
                    Optional, Tuple, Union, cast)

VERSION = "1.1.0"
__version__ = VERSION

# The commands in the order the bridge tries them, with their argument's
# shape: none, channel_id, channel_name or user_id_text.
COMMANDS: Tuple[Tuple[str, str], ...] = (
    ("refresh", "none"),
    ("leave", "none"),
    ("ptt_on", "none"),
    ("ptt_off", "none"),
    ("joinid", "channel_id"),
    ("joinpath", "channel_name"),
    ("pm", "user_id_text"),
)
_JOIN_BY_NAME = "joinpath"
_JOINS = ("joinid", _JOIN_BY_NAME)
_LEAVE = "leave"
_PM = "pm"

# The state's keys in the bridge's order; the two the kit reads named.
_KEY_STATUS = "status"
_KEY_MY_USER_ID = "myuserid"
_KEY_ERROR = "error"
STATE_KEYS: Tuple[str, ...] = (
    _KEY_STATUS, "ptt", _KEY_MY_USER_ID, "mychannelid", "mychannelname",
    "nickname", _KEY_ERROR)

# The status words of the state.
STATUS_STARTING = "starting"
STATUS_LOGGED_IN = "loggedin"
STATUS_AUTHORIZED = "authorized"
STATUS_ERROR = "error"  # with myuserid 0: the end of the session

DATA_DIRECTORY = "data"
STATE_FILE = "state.txt"
USERS_FILE = "users.txt"
CHANNELS_FILE = "channels.txt"
MEMBERS_FILE = "members.txt"
PRIVATE_MESSAGE_FILE = "pm_in.txt"
EVENTS_FILE = "events.txt"
EVENTS_OLD_FILE = "events.old.txt"
COMMAND_FILE = "cmd.txt"
LOCK_FILE = "voicebridge.lock"
FIELD_SEPARATOR = "|"  # between the fields of a line
PASSWORD_VARIABLE = "VOICEBRIDGE_PASSWORD"
PARENT_VARIABLE = "VOICEBRIDGE_PARENT_PID"

# The kinds of the events update() returns.
EVENT_STATUS = "status"
EVENT_USERS = "users"
EVENT_CHANNELS = "channels"
EVENT_MEMBERS = "members"
EVENT_MESSAGE = "message"
EVENT_OUTCOME = "outcome"
EVENT_SESSION_OVER = "session_over"
EVENT_RESTARTING = "restarting"

# The lines of events.txt the kit reads besides those of the lists.
_LINE_TAKEN = "taken"
_LINE_DONE = "done"
_LINE_FAILED = "failed"
_LINE_OVER = "over"

# A command's outcome: done, or the reason the bridge (or the kit) gives.
OUTCOME_DONE = "done"
OUTCOME_NOT_A_COMMAND = "not_a_command"
OUTCOME_SESSION_OVER = "session_over"
OUTCOME_NO_SUCH_CHANNEL = "no_such_channel"
OUTCOME_NO_SUCH_USER = "no_such_user"
OUTCOME_REJECTED = "rejected"
OUTCOME_DISCARDED = "discarded"

# Why a session ended: the bridge's words from events.txt, then the kit's.
END_CONNECTION_FAILED = "connection_failed"
END_LOGIN_REFUSED = "login_refused"
END_LINK_LOST = "link_lost"
END_LOGGED_OUT = "logged_out"
END_REMOVED = "removed"
END_STOPPED = "stopped"
END_ALREADY_RUNNING = "already_running"
END_CANNOT_WRITE = "cannot_write"
END_NOT_STARTED = "not_started"
END_BRIDGE_ENDED = "bridge_ended"

# The bridge's own defaults; DEFAULT_ARGUMENTS gives them in the order of
# its five arguments.
DEFAULT_HOST = "localhost"
DEFAULT_PORT = 10333
DEFAULT_ENCRYPTED = False
DEFAULT_NICKNAME = "Jogador"
DEFAULT_ARGUMENTS: Tuple[str, ...] = (
    DEFAULT_HOST, str(DEFAULT_PORT), str(DEFAULT_PORT),
    "1" if DEFAULT_ENCRYPTED else "0", DEFAULT_NICKNAME)

MAX_ID = 2147483647
MAX_COMMAND_BYTES = 1024 * 1024  # the bridge refuses a longer command file
_POLL_SECONDS = 0.002
_BLANKS = " \t"

# The ends another bridge may cure, and the pace of the tries.
_RESTART_REASONS = (END_CONNECTION_FAILED, END_LINK_LOST, END_BRIDGE_ENDED)
_MAX_RESTART_DELAY = 30.0
_STABLE_SESSION_SECONDS = 60.0
# How many answered private messages stay paired: the server refuses one
# a round trip after its done, if at all.
_KEPT_MESSAGE_COMMANDS = 1024

Port = Union[int, str, None]


class Command:
    """A command the kit was given: ``text`` as posted, ``outcome`` None
    while pending, then "done" or the reason (OUTCOME_...), and
    ``server_text``, the server's own words when it refused it ("")."""

    __slots__ = ("text", "outcome", "server_text", "_data", "_seq")

    def __init__(self, text: str, data: bytes) -> None:
        self.text = text
        self.outcome: Optional[str] = None
        self.server_text = ""
        self._data = data
        self._seq: Optional[int] = None  # its taken line in events.txt

    @property
    def keyword(self) -> str:
        return self.text.partition(" ")[0]

    def __repr__(self) -> str:
        return "Command(%r, outcome=%r)" % (self.text, self.outcome)


class Event:
    """One thing update() reports; ``kind`` says which (EVENT_...).

    status: ``status``, the new word ("" while no run is trusted).
    users, channels, members: nothing; read users() or channels() again.
    message: ``sender_id``, ``sender_name``, ``text``.
    outcome: ``command``, the Command whose outcome is now known, and
    ``outcome``, the one this event reports (a private message's "done"
    may be followed by the server's refusal within the same update()).
    session_over: ``reason`` (END_...), ``text``.
    restarting: ``attempt`` (1, 2, ...), ``delay`` in seconds (float).
    The attributes of the other kinds keep their empty values ("", 0,
    0.0, None).
    """

    __slots__ = ("kind", "status", "sender_id", "sender_name", "text",
                 "command", "outcome", "reason", "attempt", "delay")

    def __init__(self, kind: str, *, status: str = "", sender_id: int = 0,
                 sender_name: str = "", text: str = "",
                 command: Optional[Command] = None, outcome: str = "",
                 reason: str = "", attempt: int = 0,
                 delay: float = 0.0) -> None:
        self.kind = kind
        self.status = status
        self.sender_id = sender_id
        self.sender_name = sender_name
        self.text = text
        self.command = command
        self.outcome = outcome
        self.reason = reason
        self.attempt = attempt
        self.delay = delay

    def __repr__(self) -> str:
        given = ", ".join("%s=%r" % (name, getattr(self, name))
                          for name in self.__slots__[1:]
                          if getattr(self, name))
        return "Event(%r%s)" % (self.kind, ", " + given if given else "")


class User(tuple):  # type: ignore[type-arg]
    """A user: the (id, name) pair of 1.0.0, with ``id``, ``name`` and
    ``channel_id`` (0 while in no channel or not yet known)."""

    channel_id: int

    def __new__(cls, user_id: int, name: str, channel_id: int) -> "User":
        user = tuple.__new__(cls, (user_id, name))
        user.channel_id = channel_id
        return user

    @property
    def id(self) -> int:
        return cast(int, self[0])

    @property
    def name(self) -> str:
        return cast(str, self[1])

    def __repr__(self) -> str:
        return "User(id=%d, name=%r, channel_id=%d)" % (
            self[0], self[1], self.channel_id)


class Channel(NamedTuple):
    """A channel: the (id, name, parent_id) triple of 1.0.0."""
    id: int
    name: str
    parent_id: int


class Bridge:
    """One voicebridge process that the game starts, reads and ends.

    ``host``, ``tcp_port``, ``udp_port``, ``encrypted``, ``nickname`` and
    ``username`` are the bridge's six arguments.  One left as None (or
    encrypted False, or username "") is not passed when no later one is
    given; else it is passed as the bridge's documented default.  An int
    port must lie in 1..65535, ``encrypted`` True is passed as "1", and a
    str is passed as it is, for the bridge to read by its own rules.
    ``password`` goes only into the bridge's environment.  ``restart``
    starts the bridge again after a lost or failed connection (update()
    does it).  A wrong type raises TypeError and a malformed value
    ValueError, here and in post() and send().
    """

    def __init__(self, game_dir: Union[str, "os.PathLike[str]"],
                 program: str, host: Optional[str] = None,
                 tcp_port: Port = None, udp_port: Port = None,
                 encrypted: Union[bool, str, None] = False,
                 nickname: Optional[str] = None, *, username: str = "",
                 password: str = "", restart: bool = False) -> None:
        self._game_dir = os.path.abspath(os.fspath(game_dir))
        # A path is taken from here, not from the bridge's own folder.
        self._program = (os.path.abspath(program) if os.sep in program
                         or (os.altsep and os.altsep in program) else program)
        self._arguments = _bridge_arguments(
            [_text(host, "host"), _port(tcp_port, "tcp_port"),
             _port(udp_port, "udp_port"), _encrypted(encrypted),
             _text(nickname, "nickname"),
             _text(username, "username") or None])
        self._password = _text(password, "password") or ""
        self._restart = bool(restart)
        self._state_file = _ReplacedFile(self._path(STATE_FILE))
        self._users_file = _ReplacedFile(self._path(USERS_FILE))
        self._channels_file = _ReplacedFile(self._path(CHANNELS_FILE))
        self._members_file = _ReplacedFile(self._path(MEMBERS_FILE))
        self._lists = {EVENT_USERS: self._users_file,
                       EVENT_CHANNELS: self._channels_file,
                       EVENT_MEMBERS: self._members_file}
        self._events_file = _AppendedFile(self._path(EVENTS_FILE))
        self._messages_file = _AppendedFile(self._path(PRIVATE_MESSAGE_FILE))

        self._process: Optional["subprocess.Popen[bytes]"] = None
        self._job: Optional[int] = None  # Windows: the kill-on-close job
        self._events: List[Event] = []  # for the next update()
        self._queue: Deque[Command] = deque()  # posted, not yet written
        self._written: Deque[Command] = deque()  # awaiting their taken line
        self._taken: Dict[int, Command] = {}  # by taken line, no outcome yet
        self._sent_messages: "OrderedDict[int, Command]" = OrderedDict()
        self._last_join: Optional[str] = None  # to join again after restart
        self._end_reason = ""
        self._attempt = 0  # restarts since the last session that lasted
        self._restart_at: Optional[float] = None  # monotonic time
        self._reported_status = ""
        self._reported_lists = dict.fromkeys(self._lists, 0)
        # The lists as parsed, and the file generations they were parsed at.
        self._users: List[User] = []
        self._users_parsed = (0, 0)
        self._channels: List[Channel] = []
        self._channels_parsed = 0
        self._stopping = False  # stop() is ending the session
        self._exited = False  # the kit is done with this process
        self._over = False  # this run's session ended
        self._trusted = False  # this run's files are out
        self._new_run()

    # -- Starting and ending ------------------------------------------

    def start(self) -> None:
        """Starts the bridge by the guide's start recipe.

        The previous bridge of this object is ended and waited for first;
        the game folder is made, data/state.txt deleted and data/cmd.txt
        emptied, so that nothing an earlier run left is taken for this
        run's.  Raises OSError when the program cannot be started (and the
        next update() reports the session over as not_started).
        """
        self.stop()
        os.makedirs(self._game_dir, exist_ok=True)
        self._attempt = 0
        try:
            self._spawn()
        except OSError as error:
            self._end_session(END_NOT_STARTED, str(error))
            raise

    def stop(self, timeout: float = 5.0) -> None:
        """Ends the bridge (SIGTERM, then SIGKILL after ``timeout``
        seconds; TerminateProcess on Windows) and waits for it.

        Ends the retries of a restart too.  Every command still queued or
        pending gets the outcome session_over, and a session not over yet
        ends as stopped; update() returns their events.
        """
        self._restart_at = None
        process = self._process
        if process is not None and not self._exited:
            self._stopping = True  # no restart for this end
            try:
                self._read_files()  # outcomes written before the end
                code = None if self._exited else process.poll()
                if code is not None:
                    self._bridge_exited(code)
                elif not self._over:
                    self._end_session(END_STOPPED, "")
            finally:
                self._stopping = False
        if process is not None and process.poll() is None:
            process.terminate()
            try:
                process.wait(timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        self._exited = True
        self._close_job()
        self._answer_queued()
        self._answer_unanswered()

    def __enter__(self) -> "Bridge":
        self.start()
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.stop()

    # -- The pump -----------------------------------------------------

    def update(self) -> List[Event]:
        """Reads what changed, writes the next queued command once cmd.txt
        is free, starts the bridge again when a restart is due, and returns
        the events since the last call, in order.  Never waits; with
        nothing changed it costs a few file stats."""
        self._pump()
        events, self._events = self._events, []
        return events

    def post(self, command: str) -> Command:
        """Queues a command and returns its Command, whose outcome a later
        update() fills in; written at once when cmd.txt is free and nothing
        is queued before it.  Raises ValueError, queuing nothing and
        touching no file, for anything check_command() refuses.  A command
        that no session can take any more is answered session_over."""
        posted = Command(command, check_command(command))
        if ((self._process is None or self._over)
                and self._restart_at is None):
            self._answer(posted, OUTCOME_SESSION_OVER)
            return posted
        self._queue.append(posted)
        if len(self._queue) == 1:
            self._write_next()
        return posted

    def end_reason(self) -> str:
        """Why the last session ended (END_...), "" before any end."""
        return self._end_reason

    # -- This run's view ----------------------------------------------

    def state(self) -> Dict[str, str]:
        """This run's state.txt as a dict of its seven keys; {} until this
        run has published, and while a restart is under way."""
        if not self._this_run():
            return {}
        self._read_state()
        return dict(self._state)

    def status(self) -> str:
        """This run's status word, or "" until it has published."""
        return self.state().get(_KEY_STATUS, "")

    def users(self) -> List[User]:
        """This run's users.txt as User items ((id, name) tuples with a
        ``channel_id`` from members.txt); a missing file is no user."""
        if not self._this_run():
            return []
        self._users_file.refresh()
        self._members_file.refresh()
        key = (self._users_file.generation, self._members_file.generation)
        if key != self._users_parsed:
            self._users, self._users_parsed = self._parse_users(), key
        return list(self._users)

    def channels(self) -> List[Channel]:
        """This run's channels.txt as Channel items (id, name, parent_id);
        the name keeps its bars."""
        if not self._this_run():
            return []
        self._channels_file.refresh()
        key = self._channels_file.generation
        if key != self._channels_parsed:
            channels = []
            for line in _lines(self._channels_file.data):
                channel_id, _, rest = line.partition(FIELD_SEPARATOR)
                fields = rest.rsplit(FIELD_SEPARATOR, 2)
                if (len(fields) == 3 and _digits(channel_id)
                        and _digits(fields[2])):
                    channels.append(Channel(int(channel_id), fields[0],
                                            int(fields[2])))
            self._channels, self._channels_parsed = channels, key
        return list(self._channels)

    def new_messages(self) -> List[Tuple[int, str, str]]:
        """This run's private messages that neither this call nor update()
        returned before, in order, as (sender_id, sender_name, text)."""
        if not self._this_run():
            return []
        return [(event.sender_id, event.sender_name, event.text)
                for event in self._read_messages()]

    # -- The 1.0.0 calls that wait or look at the process -------------

    def wait_status(self, word: str, timeout: float) -> bool:
        """Pumps until the status is ``word`` (True), or ``timeout``
        seconds pass or the session is over without it (False).  The
        events meanwhile wait for the next update()."""
        deadline = time.monotonic() + timeout
        while True:
            self._pump()
            if self.status() == word:
                return True
            if (self._over or not self._running()
                    or time.monotonic() >= deadline):
                return False
            time.sleep(_POLL_SECONDS)

    def session_over(self) -> bool:
        """True once this run's state says error with user ID 0 (the
        guide's one rule), or once no bridge of this object runs."""
        if not self._running():
            return True
        state = self.state()
        return (state.get(_KEY_STATUS) == STATUS_ERROR
                and state.get(_KEY_MY_USER_ID) == "0")

    def exit_code(self) -> Optional[int]:
        """None while the bridge runs (or before start), else its exit
        code: 1, 2 or 3 when it refused to start, 0xC0000135 on Windows
        for a missing library, minus the signal number on POSIX when a
        signal ended it.  end_reason() says the same on every system."""
        return None if self._process is None else self._process.poll()

    def send(self, command: str, timeout: float = 10.0) -> bool:
        """Posts a command and waits until the bridge has taken it.

        Superseded by post() and update(), which never wait.  Raises
        ValueError, touching no file, for anything check_command()
        refuses.  True once the bridge took it for a live session.  False
        when no session could take it, or when ``timeout`` seconds pass:
        if it was written it still waits in cmd.txt and will run, so it
        must not be sent again; if it was still queued, it is withdrawn.
        """
        posted = self.post(command)
        deadline = time.monotonic() + timeout
        while True:
            if posted.outcome == OUTCOME_SESSION_OVER:
                return False
            if posted._seq is not None and (posted.outcome is not None
                                            or not self._over):
                return True
            if time.monotonic() >= deadline:
                if posted in self._queue:
                    self._queue.remove(posted)
                return False
            time.sleep(_POLL_SECONDS)
            self._pump()

    # -- Inside the pump ----------------------------------------------

    def _path(self, name: str) -> str:
        return os.path.join(self._game_dir, DATA_DIRECTORY, name)

    def _new_run(self) -> None:
        self._clear_view()
        self._exited = False
        self._over = False
        self._holding = False  # a restarted run writes once authorized
        self._rejoin: Optional[Command] = None  # the others wait for it
        self._logged_in_at: Optional[float] = None

    def _clear_view(self) -> None:
        """Forgets the last run's view: nothing shows until the next run
        is trusted."""
        self._trusted = False
        self._state: Dict[str, str] = {}
        self._last_seq = 0
        self._state_file.reset()
        for watched in self._lists.values():
            watched.reset()
        self._events_file.reset()
        self._messages_file.reset()

    def _spawn(self) -> None:
        """Starts the bridge with the password in its environment alone;
        OSError when it cannot be run.

        The game's process ID goes with it too: the bridge then ends with
        the game where neither a parent-death signal nor a job object can
        be had (another thread than the main one, macOS, a launcher's job
        that forbids another)."""
        try:
            os.remove(self._path(STATE_FILE))
        except (FileNotFoundError, NotADirectoryError):
            pass
        # A command left there is an earlier run's, or one the ended bridge
        # never took and that was answered session_over: none may run.
        try:
            os.truncate(self._path(COMMAND_FILE), 0)
        except (FileNotFoundError, NotADirectoryError):
            pass
        environment = dict(os.environ)
        environment.pop(PASSWORD_VARIABLE, None)
        if self._password:
            environment[PASSWORD_VARIABLE] = self._password
        environment[PARENT_VARIABLE] = str(os.getpid())
        self._process, self._job = _spawn(
            [self._program] + self._arguments, self._game_dir, environment)
        self._new_run()

    def _pump(self) -> None:
        now = time.monotonic()
        if self._restart_at is not None and now >= self._restart_at:
            self._restart_now()
        process = self._process
        if process is not None and not self._exited:
            self._read_files()
            code = None if self._exited else process.poll()
            if code is not None:
                self._bridge_exited(code)
        self._report_view()
        if process is not None and not self._exited:
            self._follow_login(now)
            self._write_next()

    def _read_files(self) -> None:
        if not self._this_run():
            return
        over = self._read_events()
        self._read_state()
        for watched in self._lists.values():
            watched.refresh()
        self._events.extend(self._read_messages())
        self._report_view()  # the state that comes with an end first
        if over is not None and not self._over:
            self._end_session(*over)

    def _report_view(self) -> None:
        status = self._state.get(_KEY_STATUS, "")
        if status != self._reported_status:
            self._reported_status = status
            self._events.append(Event(EVENT_STATUS, status=status))
        for kind, watched in self._lists.items():
            if watched.generation != self._reported_lists[kind]:
                self._reported_lists[kind] = watched.generation
                self._events.append(Event(kind))

    def _this_run(self) -> bool:
        # Trusted once the lock names the process started here and the
        # state is out; an orphan bridge there publishes its own state.
        if (not self._trusted and self._process is not None
                and not self._exited):
            holder = (_read_file(self._path(LOCK_FILE)) or b"").split(b"\n")
            self._trusted = (
                holder[0].strip() == str(self._process.pid).encode()
                and os.path.isfile(self._path(STATE_FILE)))
        return self._trusted

    def _read_state(self) -> None:
        if self._state_file.refresh():
            state = {}
            for line in _lines(self._state_file.data):
                key, bar, value = line.partition(FIELD_SEPARATOR)
                if bar and key in STATE_KEYS:
                    state[key] = value
            self._state = state

    def _read_messages(self) -> List[Event]:
        lines = self._messages_file.new_lines()
        if lines is None:  # shorter: a bridge restarted behind our back
            self._messages_file.reset()
            lines = self._messages_file.new_lines() or []
        messages = []
        for line in lines:
            fields = line.decode("utf-8", "replace").split(FIELD_SEPARATOR, 2)
            if len(fields) == 3 and _digits(fields[0]):
                messages.append(Event(EVENT_MESSAGE, sender_id=int(fields[0]),
                                      sender_name=fields[1], text=fields[2]))
        return messages

    def _read_events(self) -> Optional[Tuple[str, str]]:
        """Pairs commands with their taken lines and fills in outcomes;
        returns the session's end (reason, text) when its over line came."""
        lines = self._events_file.new_lines()
        if lines is None:  # moved to events.old.txt: its rest comes first
            lines = self._events_file.rest_of_moved(self._path(
                EVENTS_OLD_FILE))
        over = None
        for raw in lines:
            seq_text, _, rest = raw.decode("utf-8", "replace").partition(
                FIELD_SEPARATOR)
            if not _digits(seq_text) or int(seq_text) <= self._last_seq:
                continue
            self._last_seq = seq = int(seq_text)
            # Most events come with a new state (a join, the ptt, the end).
            self._state_file.stale = True
            kind, _, fields = rest.partition(FIELD_SEPARATOR)
            if kind == _LINE_TAKEN:
                if self._written:  # else not the kit's: someone else's
                    command = self._written.popleft()
                    command._seq = seq
                    self._taken[seq] = command
            elif kind == _LINE_DONE:
                self._command_done(fields)
            elif kind == _LINE_FAILED:
                self._command_failed(fields)
            elif kind == _LINE_OVER:
                reason, _, text = fields.partition(FIELD_SEPARATOR)
                over = over or (reason, text)
            elif kind in self._lists:  # published anew
                self._lists[kind].stale = True
        return over

    def _command_done(self, taken: str) -> None:
        command = self._taken.pop(int(taken), None) if _digits(taken) else None
        if command is None:
            return  # not the kit's
        keyword = command.keyword
        if keyword in _JOINS:
            self._last_join = command.text
        elif keyword == _LEAVE:
            self._last_join = None
        elif keyword == _PM:  # the server may still refuse it
            self._sent_messages[int(taken)] = command
            if len(self._sent_messages) > _KEPT_MESSAGE_COMMANDS:
                self._sent_messages.popitem(last=False)
        self._answer(command, OUTCOME_DONE)

    def _command_failed(self, fields: str) -> None:
        taken, _, rest = fields.partition(FIELD_SEPARATOR)
        reason, _, text = rest.partition(FIELD_SEPARATOR)
        if not _digits(taken):
            return
        command = self._taken.pop(int(taken), None)
        if command is None:  # a private message the server refused late
            command = self._sent_messages.pop(int(taken), None)
        if command is not None:
            self._answer(command, reason, text)

    def _bridge_exited(self, code: int) -> None:
        self._read_files()  # what it wrote before it ended
        self._exited = True
        self._close_job()
        if not self._over:
            reason = _exit_reason(code)
            text = (self._state.get(_KEY_ERROR, "")
                    if reason == END_CONNECTION_FAILED else "")
            if reason == END_NOT_STARTED and self._attempt > 0:
                self._schedule_restart()  # one more failed try
                return
            self._end_session(reason, text)
        self._answer_unanswered()

    def _end_session(self, reason: str, text: str) -> None:
        self._over = True
        self._end_reason = reason
        self._events.append(Event(EVENT_SESSION_OVER, reason=reason,
                                  text=text))
        if (self._restart and reason in _RESTART_REASONS
                and not self._stopping):
            self._schedule_restart()
        else:
            self._answer_queued()

    def _schedule_restart(self) -> None:
        """Ends the old bridge without waiting for it and sets the next
        start after 1, 2, 4 ... 30 s.  Queued commands wait for it."""
        process = self._process
        if process is not None and process.poll() is None:
            process.terminate()
        self._exited = True
        self._close_job()
        self._answer_unanswered()
        self._clear_view()
        self._attempt += 1
        delay = min(_MAX_RESTART_DELAY, 2.0 ** (self._attempt - 1))
        self._restart_at = time.monotonic() + delay
        self._events.append(Event(EVENT_RESTARTING, attempt=self._attempt,
                                  delay=delay))

    def _restart_now(self) -> None:
        process = self._process
        if process is not None and process.poll() is None:
            process.kill()  # SIGTERM was not enough; try next frame
            return
        self._restart_at = None
        try:
            self._spawn()
        except OSError:
            self._schedule_restart()
            return
        self._holding = True

    def _follow_login(self, now: float) -> None:
        status = self._state.get(_KEY_STATUS, "")
        logged_in = (status in (STATUS_LOGGED_IN, STATUS_AUTHORIZED)
                     and self._state.get(_KEY_MY_USER_ID, "0") != "0")
        if logged_in and self._logged_in_at is None:
            self._logged_in_at = now
        if (self._logged_in_at is not None
                and now - self._logged_in_at >= _STABLE_SESSION_SECONDS):
            self._attempt = 0
        # A join by name waits for the channels: the bridge looks it up.
        if (self._holding and status == STATUS_AUTHORIZED
                and (self._channels_file.data or self._last_join is None
                     or self._last_join.partition(" ")[0] != _JOIN_BY_NAME)):
            self._holding = False
            if self._last_join is not None:
                self._rejoin = Command(self._last_join,
                                       self._last_join.encode("utf-8"))
                self._queue.appendleft(self._rejoin)

    def _write_next(self) -> None:
        if not self._queue or self._holding or self._exited or self._over:
            return
        if self._rejoin is not None and self._queue[0] is not self._rejoin:
            return  # the game's commands go to the channel joined again
        path = self._path(COMMAND_FILE)
        try:
            if os.stat(path).st_size != 0:
                return  # the previous command is not taken yet
        except (FileNotFoundError, NotADirectoryError):
            pass  # taken and being run, or data/ not made yet
        except OSError:
            return
        # In place (open, truncate, one write, close), never by a rename.
        try:
            with open(path, "wb") as file:
                file.write(self._queue[0]._data)
        except OSError:
            return  # data/ not made yet, or refused a moment
        self._written.append(self._queue.popleft())

    def _answer(self, command: Command, outcome: str, text: str = "") -> None:
        command.outcome = outcome
        command.server_text = text
        if command is self._rejoin:
            self._rejoin = None
        self._events.append(Event(EVENT_OUTCOME, command=command,
                                  outcome=outcome))

    def _answer_queued(self) -> None:
        """session_over for the commands no session will take."""
        while self._queue:
            self._answer(self._queue.popleft(), OUTCOME_SESSION_OVER)

    def _answer_unanswered(self) -> None:
        """session_over for the commands an ended bridge will not answer:
        written and never taken, or taken and not yet done."""
        while self._written:
            self._answer(self._written.popleft(), OUTCOME_SESSION_OVER)
        for command in self._taken.values():
            self._answer(command, OUTCOME_SESSION_OVER)
        self._taken.clear()
        self._sent_messages.clear()

    def _running(self) -> bool:
        return (self._process is not None and not self._exited
                and self._process.poll() is None)

    def _close_job(self) -> None:
        if self._job is not None:
            _close_job(self._job)
            self._job = None

    def _parse_users(self) -> List[User]:
        channel_of = {}
        for line in _lines(self._members_file.data):
            user_id, bar, channel_id = line.partition(FIELD_SEPARATOR)
            if bar and _digits(user_id) and _digits(channel_id):
                channel_of[int(user_id)] = int(channel_id)
        users = []
        for line in _lines(self._users_file.data):
            user_id, bar, name = line.partition(FIELD_SEPARATOR)
            if bar and _digits(user_id):
                number = int(user_id)
                users.append(User(number, name, channel_of.get(number, 0)))
        return users


class _ReplacedFile:
    """A file the bridge replaces whole: read again only when its size,
    time or identity changed or it was marked stale; a refused open keeps
    the last good read.  ``generation`` counts the changes of content."""

    __slots__ = ("path", "data", "generation", "stale", "_signature")

    def __init__(self, path: str) -> None:
        self.path = path
        self.data = b""
        self.generation = 0
        self.reset()

    def reset(self) -> None:
        if self.data:
            self.data = b""
            self.generation += 1
        self.stale = True
        self._signature: Optional[Tuple[int, ...]] = None

    def refresh(self) -> bool:
        """True when the content changed."""
        try:
            found = os.stat(self.path)
            signature: Tuple[int, ...] = (found.st_ino, found.st_size,
                                          found.st_mtime_ns)
        except (FileNotFoundError, NotADirectoryError):
            signature = ()
        except OSError:
            return False  # refused a moment: the last read stands
        if signature == self._signature and not self.stale:
            return False
        data = _read_file(self.path) if signature else b""
        if data is None:
            return False
        self._signature = signature
        self.stale = False
        if data == self.data:
            return False
        self.data = data
        self.generation += 1
        return True


class _AppendedFile:
    """A file the bridge only appends to, read from a kept offset, whole
    lines only; never truncated, rewritten or deleted."""

    __slots__ = ("path", "offset", "identity")

    def __init__(self, path: str) -> None:
        self.path = path
        self.reset()

    def reset(self) -> None:
        self.offset = 0
        self.identity = 0  # the file's inode or index; 0 when not known

    def new_lines(self) -> Optional[List[bytes]]:
        """The complete lines added since the last call; None when the
        file is another one now, or shorter than the offset."""
        try:
            found = os.stat(self.path)
        except OSError:
            return []  # not there yet, or refused a moment
        if self.identity == 0:
            self.identity = found.st_ino
        elif found.st_ino not in (0, self.identity):
            return None
        if found.st_size < self.offset:
            return None
        if found.st_size == self.offset:
            return []
        return self._read(self.path)

    def rest_of_moved(self, old_path: str) -> List[bytes]:
        """What was left of the file now at ``old_path``, then the new
        file from its start."""
        lines: List[bytes] = []
        try:
            identity = os.stat(old_path).st_ino
        except OSError:
            identity = -1
        if identity in (0, self.identity):
            lines = self._read(old_path)
        self.reset()
        return lines + (self.new_lines() or [])

    def _read(self, path: str) -> List[bytes]:
        try:
            with open(path, "rb") as file:
                file.seek(self.offset)
                data = file.read()
        except OSError:
            return []  # refused a moment: the offset stays
        # A last line without its line feed is still being written.
        complete = data.rfind(b"\n") + 1
        self.offset += complete
        return data[:complete].split(b"\n")[:-1]


def check_command(command: str) -> bytes:
    """Returns the command as UTF-8 bytes, or raises ValueError when it is
    not a bridge command with a well-formed argument.

    One line (no line feed, carriage return or zero byte) of at most
    MAX_COMMAND_BYTES in UTF-8; a keyword of COMMANDS, one without
    argument standing alone; ``joinid ID`` or ``joinid ID|PASSWORD`` with
    an ID of digits only in 1..2147483647; ``joinpath`` with an argument
    of more than spaces and tabs; ``pm USER_ID|TEXT`` with such a user ID
    and a text of more than spaces and tabs.
    """
    if not isinstance(command, str):
        raise TypeError("a command is a str")
    if any(c in command for c in "\n\r\0"):
        raise ValueError("a command is one line without a zero byte")
    keyword, space, argument = command.partition(" ")
    shape = dict(COMMANDS).get(keyword)
    if shape is None:
        raise ValueError("not a bridge command: %r" % keyword)
    if shape == "none":
        if space:
            raise ValueError("%s takes no argument" % keyword)
    elif shape == "channel_id":
        if not _positive_id(argument.partition(FIELD_SEPARATOR)[0]):
            raise ValueError("joinid takes a channel ID in 1..%d" % MAX_ID)
    elif shape == "channel_name":
        if not argument.strip(_BLANKS):
            raise ValueError("joinpath takes a channel name")
    else:
        user_id, _, text = argument.partition(FIELD_SEPARATOR)
        if not _positive_id(user_id) or not text.strip(_BLANKS):
            raise ValueError("pm takes USER_ID|TEXT with a user ID in 1..%d"
                             " and a text" % MAX_ID)
    data = command.encode("utf-8")  # UnicodeEncodeError is a ValueError
    if len(data) > MAX_COMMAND_BYTES:
        raise ValueError("a command holds at most %d bytes"
                         % MAX_COMMAND_BYTES)
    return data


def _read_file(path: str) -> Optional[bytes]:
    """A whole file; b"" when absent, None when the open is refused.

    Windows refuses an open without delete sharing while the bridge moves
    a new file over this one: the file is there, so that is no absence.
    """
    try:
        with open(path, "rb") as file:
            return file.read()
    except (FileNotFoundError, NotADirectoryError):
        return b""
    except OSError:
        return None


def _lines(data: bytes) -> List[str]:
    return [line for line in data.decode("utf-8", "replace").split("\n")
            if line]


def _digits(text: str) -> bool:
    """Whether ``text`` is one or more ASCII digits (int() takes more)."""
    return text.isascii() and text.isdigit()


def _positive_id(text: str) -> bool:
    """Whether ``text`` is an ID as a command takes it: 1..MAX_ID."""
    return _digits(text) and 0 < int(text) <= MAX_ID


def _text(value: object, name: str) -> Optional[str]:
    if value is None:
        return None
    if not isinstance(value, str):
        raise TypeError("%s must be a str" % name)
    if "\0" in value:
        raise ValueError("%s holds a zero byte" % name)
    return value


def _port(value: Port, name: str) -> Optional[str]:
    if isinstance(value, bool):
        raise TypeError("%s must be an int or a str" % name)
    if isinstance(value, int):
        if not 0 < value < 65536:
            raise ValueError("%s must lie in 1..65535" % name)
        return str(value)
    return _text(value, name)


def _encrypted(value: Union[bool, str, None]) -> Optional[str]:
    if value is True:
        return "1"
    if value is False or value is None:
        return None  # the bridge's default, off
    return _text(value, "encrypted")


def _bridge_arguments(given: List[Optional[str]]) -> List[str]:
    """Up to the last one given; an earlier None is the bridge's default
    (an empty argument would mean something else)."""
    count = max((i + 1 for i, v in enumerate(given) if v is not None),
                default=0)
    return [DEFAULT_ARGUMENTS[i] if value is None else value
            for i, value in enumerate(given[:count])]


# The platform seam: starting the bridge so that it ends with the game,
# and what its exit code means.  The Windows half is written from the
# guide; no machine here runs it.

if sys.platform == "win32":
    import ctypes
    from ctypes import wintypes

    _NOT_STARTED_CODES = (0xC0000135, -1073741515)  # STATUS_DLL_NOT_FOUND

    _kernel32 = ctypes.WinDLL("kernel32", use_last_error=True)
    _kernel32.CreateJobObjectW.restype = wintypes.HANDLE
    _kernel32.CreateJobObjectW.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
    _kernel32.SetInformationJobObject.argtypes = [
        wintypes.HANDLE, ctypes.c_int, ctypes.c_void_p, wintypes.DWORD]
    _kernel32.AssignProcessToJobObject.argtypes = [
        wintypes.HANDLE, wintypes.HANDLE]
    _kernel32.CloseHandle.argtypes = [wintypes.HANDLE]
    _ntdll = ctypes.WinDLL("ntdll")
    _ntdll.NtResumeProcess.argtypes = [wintypes.HANDLE]

    class _ExtendedLimits(ctypes.Structure):
        """JOBOBJECT_EXTENDED_LIMIT_INFORMATION; only the flags are set."""
        _fields_ = [("times", ctypes.c_int64 * 2),
                    ("limit_flags", wintypes.DWORD),
                    ("working_set", ctypes.c_size_t * 2),
                    ("process_limit", wintypes.DWORD),
                    ("affinity", ctypes.c_size_t),
                    ("classes", wintypes.DWORD * 2),
                    ("io_counters", ctypes.c_uint64 * 6),
                    ("memory", ctypes.c_size_t * 4)]

    def _spawn(args: List[str], cwd: str, env: Mapping[str, str]
               ) -> Tuple["subprocess.Popen[bytes]", Optional[int]]:
        """CreateProcessW (arguments quoted by list2cmdline, no handles
        inherited, the environment given, no window flag: the bridge opens
        none), suspended until it is in a job that kills it when the game's
        handle closes; where the job is refused (a launcher's job, Windows
        7) it runs without."""
        old_mode = _kernel32.SetErrorMode(0x0001)  # no missing-DLL box
        try:
            process = subprocess.Popen(args, cwd=cwd, env=env,
                                       close_fds=True, creationflags=0x4)
        finally:
            _kernel32.SetErrorMode(old_mode)
        handle = int(getattr(process, "_handle"))  # the process handle
        job = _kernel32.CreateJobObjectW(None, None)
        limits = _ExtendedLimits(limit_flags=0x2000)  # kill on job close
        if job and not (_kernel32.SetInformationJobObject(
                job, 9, ctypes.byref(limits), ctypes.sizeof(limits))
                and _kernel32.AssignProcessToJobObject(job, handle)):
            _kernel32.CloseHandle(job)
            job = None
        # Popen keeps no handle of the first thread: ntdll resumes them all.
        if _ntdll.NtResumeProcess(handle) != 0:
            process.kill()
            process.wait()
            raise OSError("the bridge could not be resumed")
        return process, job or None

    def _close_job(job: int) -> None:
        _kernel32.CloseHandle(job)

else:
    _NOT_STARTED_CODES = (127,)  # what a shell gives for no such program
    _PR_SET_PDEATHSIG = 1

    def _spawn(args: List[str], cwd: str, env: Mapping[str, str]
               ) -> Tuple["subprocess.Popen[bytes]", Optional[int]]:
        """The bridge in its own session with no stdio, descriptor or
        environment change of the game's but the one given."""
        return subprocess.Popen(
            args, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            close_fds=True, start_new_session=True,
            preexec_fn=_parent_death_signal()), None

    def _close_job(job: int) -> None:
        pass

    def _parent_death_signal() -> Optional[Callable[[], None]]:
        """What the child runs before exec on Linux: SIGTERM when the game
        dies, then a check that the game has not died already.

        preexec_fn is unsafe with threads because the child may need a
        lock that another thread held at the fork; this one needs none
        (a foreign call resolved here before the fork, and two system
        calls), and the standard library has no other way to run code in
        the child.  The signal comes when the thread that forked ends, so
        it is set only from the main thread.
        """
        if (not sys.platform.startswith("linux")
                or threading.current_thread() is not threading.main_thread()):
            return None
        try:
            import ctypes
            prctl = ctypes.CDLL(None).prctl
        except (ImportError, OSError, AttributeError):
            return None
        prctl.argtypes = [ctypes.c_int, ctypes.c_ulong, ctypes.c_ulong,
                          ctypes.c_ulong, ctypes.c_ulong]
        game, sigterm = os.getpid(), int(signal.SIGTERM)

        def set_in_child() -> None:
            prctl(_PR_SET_PDEATHSIG, sigterm, 0, 0, 0)
            if os.getppid() != game:
                os._exit(1)

        return set_in_child


def _exit_reason(code: int) -> str:
    """The end reason of a bridge whose process ended with ``code``."""
    if code in _NOT_STARTED_CODES:
        return END_NOT_STARTED
    return {1: END_CONNECTION_FAILED, 2: END_ALREADY_RUNNING,
            3: END_CANNOT_WRITE}.get(code, END_BRIDGE_ENDED)
