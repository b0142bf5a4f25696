// The command poll: once per loop turn, the game's command is taken from
// data\cmd.txt, logged and run.
#pragma once

void PollCommandFile();
