// The operating system's side of voicesim: loopback sockets, waiting on
// them, being asked to stop, and moving a file into place.
// sim_net_posix.cpp and sim_net_win32.cpp implement it; CMake compiles one,
// so the server loop and start-up have no platform branches.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Sockets are ints on both systems: the connection table is keyed by them,
// and Winsock's handles are kernel handles, which fit in 32 bits.

// Once, before any other socket call; false when sockets cannot be used.
bool StartNetwork();

// From here on Ctrl-C and SIGTERM (on Windows Ctrl-C, Ctrl-Break and closing
// the console) only set the flag StopRequested() reads, so the server loop
// ends and closes everything.
void CatchStopRequests();
bool StopRequested();

// A non-blocking listening socket on 127.0.0.1; port 0 picks a free one.
// Returns the socket and the port actually bound, or -1 (LastNetError says
// why).
int ListenOnLoopback(int port, int& boundPort);

// Why the last socket call failed, as readable text.
std::string LastNetError();

// The next pending connection, non-blocking; -1 when there is none.
int AcceptConnection(int listenFd);

constexpr long kIoWouldBlock = -1;
constexpr long kIoFailed = -2;

// Bytes moved, kIoWouldBlock or kIoFailed; ReceiveSome gives 0 when the
// peer closed its end.
long ReceiveSome(int fd, char* buffer, size_t size);
long SendSome(int fd, const char* data, size_t size);

void CloseSocket(int fd);

struct WatchedSocket {
    int fd = -1;
    bool wantWrite = false;
    bool readable = false;  // set by the wait: data, a hang-up or an error
};

// Waits without a deadline until a socket is ready or a stop may have been
// asked for. False when waiting itself failed (the reason is on stderr).
bool WaitForSockets(std::vector<WatchedSocket>& sockets);

// Renames `from` to `to`, replacing what `to` was.
bool MoveFileOver(const std::string& from, const std::string& to);

int CurrentProcessId();
