// The few socket operations the library needs. socket_posix.cpp and
// socket_win32.cpp implement them; CMake picks one, so the connection logic
// stays free of platform branches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using SocketHandle = std::intptr_t;
constexpr SocketHandle kNoSocket = -1;

// An opaque copy of one resolved socket address.
struct NetAddress {
    unsigned char bytes[128];
    int length;
};

// Once per process before any other call; false when sockets are unusable.
bool NetStartup();

// All addresses of host (names and numeric forms); false when it cannot be
// resolved.
bool NetResolve(const std::string& host, int port, std::vector<NetAddress>& addresses);

enum class ConnectStart { pending, connected, failed };

// Opens a non-blocking TCP socket and starts connecting it.
ConnectStart NetStartConnect(const NetAddress& address, SocketHandle& socketOut);

// After a pending connect reports writable or failed: did it succeed?
bool NetConnectSucceeded(SocketHandle socket);

enum WaitFlags { kWaitReadable = 1, kWaitWritable = 2, kWaitFailed = 4 };

// Waits at most timeoutMs for the wanted conditions; returns WaitFlags bits,
// 0 on timeout or interruption.
int NetWait(SocketHandle socket, bool wantRead, bool wantWrite, int timeoutMs);

constexpr long kIoWouldBlock = -1;
constexpr long kIoFailed = -2;

// Bytes moved, kIoWouldBlock or kIoFailed; NetReceive gives 0 on an orderly
// close by the peer.
long NetSend(SocketHandle socket, const char* data, size_t size);
long NetReceive(SocketHandle socket, char* buffer, size_t size);

void NetClose(SocketHandle socket);

void NetSleepMs(int milliseconds);
