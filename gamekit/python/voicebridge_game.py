"""Voice chat for a Python game through voicebridge.

The game and the bridge share nothing but the plain UTF-8 text files in
``data/`` under the bridge's working directory.  This module follows the
rules of the guide, docs/game-integration.md: a start that cannot take an
earlier run's state for this one, the bridge ended with the game where the
platform allows, one command at a time, and pm_in.txt read from a kept
offset, never truncated.  Standard library only, Python 3.8 or later.
Use one Bridge from one thread.
"""

import os
import signal
import subprocess
import sys
import threading
import time
from typing import Callable, Dict, List, Optional, Tuple, Union

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

# The state's keys in the bridge's order; the two the kit reads named.
_KEY_STATUS = "status"
_KEY_MY_USER_ID = "myuserid"
STATE_KEYS: Tuple[str, ...] = (
    _KEY_STATUS, "ptt", _KEY_MY_USER_ID, "mychannelid", "mychannelname",
    "nickname", "error")

# The status words of the state.
STATUS_STARTING = "starting"
STATUS_LOGGED_IN = "loggedin"
STATUS_AUTHORIZED = "authorized"
STATUS_ERROR = "error"  # with myuserid 0: the end of the session

DATA_DIRECTORY = "data"
STATE_FILE = "state.txt"
USERS_FILE = "users.txt"
CHANNELS_FILE = "channels.txt"
PRIVATE_MESSAGE_FILE = "pm_in.txt"
COMMAND_FILE = "cmd.txt"
LOCK_FILE = "voicebridge.lock"
FIELD_SEPARATOR = "|"  # between the fields of a line

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

Port = Union[int, str, None]


class Bridge:
    """One voicebridge process that the game starts, reads and ends.

    ``host``, ``tcp_port``, ``udp_port``, ``encrypted`` and ``nickname``
    are the bridge's five arguments.  One left as None is not passed (the
    bridge's default applies); when a later one is given, an earlier None
    is passed as the bridge's documented default.  An int port must lie in
    1..65535, ``encrypted`` True is passed as "1", and a str is passed as it
    is, for the bridge to read by its own rules.  A wrong type raises
    TypeError and a malformed value ValueError, here and in send().
    """

    def __init__(self, game_dir: Union[str, "os.PathLike[str]"],
                 program: str, host: Optional[str] = None,
                 tcp_port: Port = None, udp_port: Port = None,
                 encrypted: Union[bool, str, None] = None,
                 nickname: Optional[str] = None) -> None:
        self._game_dir = os.path.abspath(os.fspath(game_dir))
        # A path is taken from here, not from the bridge's own folder.
        self._program = (os.path.abspath(program) if os.sep in program
                         or (os.altsep and os.altsep in program) else program)
        self._arguments = _bridge_arguments(
            [_text(host, "host"), _port(tcp_port, "tcp_port"),
             _port(udp_port, "udp_port"), _encrypted(encrypted),
             _text(nickname, "nickname")])
        self._process: Optional["subprocess.Popen[bytes]"] = None
        self._job: Optional[int] = None  # Windows: the kill-on-close job
        self._this_run_confirmed = False
        self._message_offset = 0
        self._last_good: Dict[str, bytes] = {}

    def start(self) -> None:
        """Starts the bridge by the guide's start recipe.

        The previous bridge of this object is ended and waited for first;
        the game folder is made and data/state.txt deleted, so that nothing
        an earlier run left is taken for this run's.  Raises OSError when
        the program cannot be started.
        """
        self.stop()
        os.makedirs(self._game_dir, exist_ok=True)
        try:
            os.remove(self._path(STATE_FILE))
        except (FileNotFoundError, NotADirectoryError):
            pass
        self._process = None
        self._this_run_confirmed = False
        self._message_offset = 0
        self._last_good = {}
        self._process, self._job = _spawn(
            [self._program] + self._arguments, self._game_dir)

    def stop(self, timeout: float = 5.0) -> None:
        """Ends the bridge (SIGTERM, then SIGKILL after ``timeout``
        seconds; TerminateProcess on Windows) and waits for it."""
        process = self._process
        if process is None:
            return
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        if self._job is not None:
            _close_job(self._job)
            self._job = None

    def __enter__(self) -> "Bridge":
        self.start()
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.stop()

    def state(self) -> Dict[str, str]:
        """This run's state.txt as a dict of its seven keys; {} until this
        run has published."""
        if not self._this_run():
            return {}
        state = {}
        text = self._read(STATE_FILE).decode("utf-8", "replace")
        for line in text.split("\n"):
            key, bar, value = line.partition(FIELD_SEPARATOR)
            if bar and key in STATE_KEYS:
                state[key] = value
        return state

    def status(self) -> str:
        """This run's status word, or "" until it has published."""
        return self.state().get(_KEY_STATUS, "")

    def users(self) -> List[Tuple[int, str]]:
        """users.txt as (id, name) pairs; a missing file is no user."""
        users = []
        for line in self._lines(USERS_FILE):
            user_id, bar, name = line.partition(FIELD_SEPARATOR)
            if bar and _digits(user_id):
                users.append((int(user_id), name))
        return users

    def channels(self) -> List[Tuple[int, str, int]]:
        """channels.txt as (id, name, parent_id); the name keeps its bars."""
        channels = []
        for line in self._lines(CHANNELS_FILE):
            channel_id, _, rest = line.partition(FIELD_SEPARATOR)
            fields = rest.rsplit(FIELD_SEPARATOR, 2)
            if len(fields) == 3 and _digits(channel_id) and _digits(fields[2]):
                channels.append((int(channel_id), fields[0], int(fields[2])))
        return channels

    def wait_status(self, word: str, timeout: float) -> bool:
        """Polls the status until it is ``word`` (True) or ``timeout``
        seconds pass, or the bridge has ended without it (False)."""
        deadline = time.monotonic() + timeout
        while True:
            ended = not self._running()
            if self.status() == word:
                return True
            if ended or time.monotonic() >= deadline:
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
        code: 1, 2 or 3 when it refused to start, 127 on Linux or
        0xC0000135 on Windows for a missing library, minus the signal
        number on POSIX when a signal ended it."""
        return None if self._process is None else self._process.poll()

    def send(self, command: str, timeout: float = 10.0) -> bool:
        """Writes one command once the previous one is taken.

        Raises ValueError, touching no file, for anything that is not a
        bridge command with a well-formed argument (see check_command).
        Returns True once this command is taken.  False when ``timeout``
        seconds pass: if it was written it still waits in cmd.txt and will
        run, so it must not be sent again; if the previous command was
        still waiting, this one was not written.  False at once when no
        bridge of this object runs.
        """
        data = check_command(command)
        deadline = time.monotonic() + timeout
        written = False
        while self._running():
            held = _read_file(self._path(COMMAND_FILE))
            if written and held is not None and held != data:
                return True
            if not written and held == b"":
                written = self._write_command(data)
            if time.monotonic() >= deadline:
                break
            time.sleep(_POLL_SECONDS)
        return False

    def new_messages(self) -> List[Tuple[int, str, str]]:
        """This run's private messages not returned before, in order, as
        (sender_id, sender_name, text)."""
        if not self._this_run():
            return []
        try:
            with open(self._path(PRIVATE_MESSAGE_FILE), "rb") as file:
                if file.seek(0, os.SEEK_END) < self._message_offset:
                    self._message_offset = 0  # a bridge restarted behind us
                file.seek(self._message_offset)
                data = file.read()
        except OSError:
            return []  # not there, or refused a moment: the offset stays
        # A last line without its line feed is still being written.
        complete = data.rfind(b"\n") + 1
        self._message_offset += complete
        messages = []
        for line in data[:complete].split(b"\n")[:-1]:
            fields = line.decode("utf-8", "replace").split(FIELD_SEPARATOR, 2)
            if len(fields) == 3 and _digits(fields[0]):
                messages.append((int(fields[0]), fields[1], fields[2]))
        return messages

    def _running(self) -> bool:
        return self._process is not None and self._process.poll() is None

    def _path(self, name: str) -> str:
        return os.path.join(self._game_dir, DATA_DIRECTORY, name)

    def _this_run(self) -> bool:
        # Trusted once the lock names the process started here and the
        # state is out; an orphan bridge there publishes its own state.
        if not self._this_run_confirmed and self._process is not None:
            holder = self._read(LOCK_FILE).split(b"\n")[0]
            self._this_run_confirmed = (
                holder == str(self._process.pid).encode()
                and self._read(STATE_FILE) != b"")
        return self._this_run_confirmed

    def _read(self, name: str) -> bytes:
        """A whole file, b"" when absent; when the open is refused, the
        last good read stands until the next call."""
        data = _read_file(self._path(name))
        if data is None:
            return self._last_good.get(name, b"")
        self._last_good[name] = data
        return data

    def _lines(self, name: str) -> List[str]:
        text = self._read(name).decode("utf-8", "replace")
        return [line for line in text.split("\n") if line]

    def _write_command(self, data: bytes) -> bool:
        # In place (open, truncate, one write, close), never by a rename.
        try:
            with open(self._path(COMMAND_FILE), "wb") as file:
                file.write(data)
            return True
        except OSError:
            return False  # data/ not made yet, or refused a moment


def check_command(command: str) -> bytes:
    """Returns the command as UTF-8 bytes, or raises ValueError when it is
    not a bridge command with a well-formed argument.

    A keyword without argument stands alone; joinid takes a channel ID of
    digits only in 1..2147483647; joinpath a channel name; pm USER_ID|TEXT
    with such a user ID.  A name or text must hold more than blanks, and
    no command a line feed, a carriage return or a zero byte.
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
        if not _positive_id(argument):
            raise ValueError("joinid takes a channel ID in 1..%d" % MAX_ID)
    elif shape == "channel_name":
        if not argument.strip(_BLANKS):
            raise ValueError("joinpath takes a channel name")
    else:
        user_id, bar, text = argument.partition(FIELD_SEPARATOR)
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


def _digits(text: str) -> bool:
    """Whether ``text`` is one or more ASCII digits (int() takes more)."""
    return bool(text) and all("0" <= c <= "9" for c in text)


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
    if isinstance(value, bool):
        return "1" if value else "0"
    return _text(value, "encrypted")


def _bridge_arguments(given: List[Optional[str]]) -> List[str]:
    """Up to the last one given; an earlier None is the bridge's default
    (an empty argument would mean something else)."""
    count = max((i + 1 for i, v in enumerate(given) if v is not None),
                default=0)
    return [DEFAULT_ARGUMENTS[i] if value is None else value
            for i, value in enumerate(given[:count])]


# The platform seam: starting the bridge so that it ends with the game.
# The Windows half is written from the guide; no machine here runs it.

if sys.platform == "win32":
    import ctypes
    from ctypes import wintypes

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

    def _spawn(args: List[str], cwd: str
               ) -> Tuple["subprocess.Popen[bytes]", Optional[int]]:
        """CreateProcessW (arguments quoted by list2cmdline, no handles
        inherited, no window flag: the bridge opens none), suspended until
        it is in a job that kills it when the game's handle closes; where
        the job is refused (a launcher's job, Windows 7) it runs without."""
        old_mode = _kernel32.SetErrorMode(0x0001)  # no missing-DLL box
        try:
            process = subprocess.Popen(args, cwd=cwd, creationflags=0x4)
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
    _PR_SET_PDEATHSIG = 1

    def _spawn(args: List[str], cwd: str
               ) -> Tuple["subprocess.Popen[bytes]", Optional[int]]:
        """The bridge in its own session with no stdio of the game's."""
        return subprocess.Popen(
            args, cwd=cwd, stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True,
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
