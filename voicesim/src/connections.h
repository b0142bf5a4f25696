// The server loop: one thread waiting on the two listening sockets and
// every open connection, all of them non-blocking.
#pragma once

// Serves until the control interface asks to quit or a stop is requested
// (Ctrl-C, SIGTERM; see CatchStopRequests). Returns the process exit status.
int RunServerLoop(int clientListenFd, int controlListenFd);

// Closes every connection marked dead, logging its user out (which may in
// turn mark others dead, so it repeats until none is left).
void ReapDeadConnections();
