// Loopback listening sockets and the port files tests wait for.
#pragma once

#include <string>

// A non-blocking listening socket on 127.0.0.1; port 0 picks a free one.
// Returns the descriptor and the port actually bound, or -1 with errno
// saying why.
int ListenOnLoopback(int port, int& boundPort);

// The next pending connection, non-blocking; -1 when there is none.
int AcceptConnection(int listenFd);

// Writes the port through a temporary file and a rename, so a reader sees
// either no file or the whole number.
bool WritePortFile(const std::string& path, int port);
