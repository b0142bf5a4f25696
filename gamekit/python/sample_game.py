"""A sample game loop with voice chat through voicebridge_game.

Usage: python3 sample_game.py GAME_DIR PROGRAM HOST PORT

Runs against voicesim with its demo scenario: logs in with the demo's
account, joins the channel behind a password, has Eco echo a private
message, talks a moment, leaves, and then rides out the server going away
and coming back (the restart option), printing each step.  A text-mode
loop at 60 frames a second that calls update() once a frame and waits for
nothing but start() and stop().  Exit status 0, or 1 after "failed: ".
"""

import sys
import time
from typing import List, Optional

from voicebridge_game import (EVENT_MESSAGE, EVENT_OUTCOME, EVENT_RESTARTING,
                              EVENT_SESSION_OVER, EVENT_STATUS, OUTCOME_DONE,
                              STATUS_AUTHORIZED, Bridge, Command, Event)

FRAME_SECONDS = 1 / 60
TIME_LIMIT_SECONDS = 90
ACCOUNT, PASSWORD, NICKNAME = "ana", "segredo-ana", "Ana"
PRIVATE_CHANNEL = "Reservado"
ECO = 100  # the demo's bot who echoes every private message
GREETING = "Olá, Eco"


class Failure(Exception):
    """Something the demo does not do: the sample ends with status 1."""


def say(line: str) -> None:
    print(line, flush=True)


class SampleGame:
    """The demo in steps, each taken on an event; one frame at a time."""

    def __init__(self, bridge: Bridge) -> None:
        self.bridge = bridge
        self.step = "login"
        self.awaited: Optional[Command] = None  # its outcome moves us on
        self.next_commands: List[str] = []

    def frame(self) -> bool:
        """One frame of the game; True once the demo is through."""
        for event in self.bridge.update():
            self.on_event(event)
        if self.step == "lists" and self.lists_are_in():
            users, channels = self.bridge.users(), self.bridge.channels()
            say("%d users, %d channels" % (len(users), len(channels)))
            self.step = "join"
            self.post("joinpath %s|segredo" % PRIVATE_CHANNEL)
        return self.step == "done"

    def lists_are_in(self) -> bool:
        # The lists fill after the login: wait for what the demo needs.
        my_id = int(self.bridge.state().get("myuserid", "0"))
        return (any(channel.name == PRIVATE_CHANNEL
                    for channel in self.bridge.channels())
                and any(user.id == my_id for user in self.bridge.users()))

    def post(self, command: str) -> None:
        self.awaited = self.bridge.post(command)

    def on_event(self, event: Event) -> None:
        if event.kind == EVENT_STATUS and event.status == STATUS_AUTHORIZED:
            if self.step == "login":
                say("authorized as %s" % self.bridge.state()["myuserid"])
                self.step = "lists"
            elif self.step == "comeback":
                say("authorized again")
                self.step = "done"
        elif event.kind == EVENT_OUTCOME and event.command is not None:
            self.on_outcome(event.command)
        elif event.kind == EVENT_MESSAGE and self.step == "pm":
            if event.sender_id == ECO and event.text == GREETING:
                say("%s says: %s" % (event.sender_name, event.text))
                self.step = "talk"
                self.next_commands = ["ptt_on", "ptt_off", "leave"]
                self.post(self.next_commands.pop(0))
        elif event.kind == EVENT_SESSION_OVER:
            if self.step == "waiting":
                say("session over: %s" % event.reason)
                self.step = "comeback"
            elif self.step != "comeback":  # later tries may fail too
                raise Failure("session over: %s %s" % (event.reason,
                                                       event.text))
        elif event.kind == EVENT_RESTARTING and self.step == "comeback":
            say("restarting: attempt %d in %d ms"
                % (event.attempt, round(event.delay * 1000)))

    def on_outcome(self, command: Command) -> None:
        if command.outcome != OUTCOME_DONE:
            raise Failure("%s: %s %s" % (command.text, command.outcome,
                                         command.server_text))
        if command is not self.awaited:
            return  # the private message, answered by Eco's echo
        say("%s: %s" % (command.text, command.outcome))
        if self.step == "join":
            self.step = "pm"
            self.bridge.post("pm %d|%s" % (ECO, GREETING))
        elif self.next_commands:
            self.post(self.next_commands.pop(0))
        else:
            say("waiting for the server to come back")
            self.step = "waiting"


def run(game_dir: str, program: str, host: str, port: str) -> None:
    bridge = Bridge(game_dir, program, host, port, port, False, NICKNAME,
                    username=ACCOUNT, password=PASSWORD, restart=True)
    bridge.start()
    try:
        game = SampleGame(bridge)
        deadline = time.monotonic() + TIME_LIMIT_SECONDS
        next_frame = time.monotonic()
        while not game.frame():
            if time.monotonic() > deadline:
                raise Failure("still at %s after %d s"
                              % (game.step, TIME_LIMIT_SECONDS))
            next_frame += FRAME_SECONDS
            time.sleep(max(0.0, next_frame - time.monotonic()))
    finally:
        bridge.stop()
    if bridge.end_reason() != "stopped":
        raise Failure("ended as %s" % bridge.end_reason())
    say("stopped")


def main(argv: List[str]) -> int:
    if len(argv) != 5:
        sys.stderr.write(__doc__.split("\n\n")[1] + "\n")
        return 2
    try:
        run(*argv[1:])
    except (Failure, OSError) as error:
        say("failed: %s" % error)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
