// The socket operations on Windows (Winsock 2 and select).
#include "socket_io.h"

// winsock2.h brings windows.h after itself, not the older Winsock with it.
#include <winsock2.h>
#include <ws2tcpip.h>

namespace {

SOCKET AsSocket(SocketHandle handle) { return static_cast<SOCKET>(handle); }

bool WouldBlock() {
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINTR || error == WSAEINPROGRESS;
}

}  // namespace

bool NetStartup() {
    // Winsock counts startups, so one per instance is harmless and never
    // torn down while another instance may still use it.
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

ConnectStart NetStartConnect(const NetAddress& address, SocketHandle& socketOut) {
    const auto* target = reinterpret_cast<const sockaddr*>(address.bytes);
    const SOCKET handle = socket(target->sa_family, SOCK_STREAM, IPPROTO_TCP);
    if (handle == INVALID_SOCKET) return ConnectStart::failed;
    u_long nonBlocking = 1;
    const BOOL noDelay = TRUE;
    setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);
    if (ioctlsocket(handle, FIONBIO, &nonBlocking) != 0) {
        closesocket(handle);
        return ConnectStart::failed;
    }
    socketOut = static_cast<SocketHandle>(handle);
    if (connect(handle, target, address.length) == 0) return ConnectStart::connected;
    if (WouldBlock()) return ConnectStart::pending;
    closesocket(handle);
    socketOut = kNoSocket;
    return ConnectStart::failed;
}

bool NetConnectSucceeded(SocketHandle socket) {
    int error = 0;
    int length = sizeof error;
    if (getsockopt(AsSocket(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                   &length) != 0)
        return false;
    return error == 0;
}

int NetWait(SocketHandle socket, bool wantRead, bool wantWrite, int timeoutMs) {
    fd_set readSet, writeSet, failSet;
    FD_ZERO(&readSet);
    FD_ZERO(&writeSet);
    FD_ZERO(&failSet);
    if (wantRead) FD_SET(AsSocket(socket), &readSet);
    if (wantWrite) FD_SET(AsSocket(socket), &writeSet);
    // A failed non-blocking connect is reported only in the exception set.
    FD_SET(AsSocket(socket), &failSet);
    timeval timeout{};
    timeout.tv_sec = timeoutMs / 1000;
    timeout.tv_usec = (timeoutMs % 1000) * 1000;
    if (select(0, &readSet, &writeSet, &failSet, &timeout) <= 0) return 0;
    int flags = 0;
    if (FD_ISSET(AsSocket(socket), &readSet)) flags |= kWaitReadable;
    if (FD_ISSET(AsSocket(socket), &writeSet)) flags |= kWaitWritable;
    if (FD_ISSET(AsSocket(socket), &failSet)) flags |= kWaitFailed;
    return flags;
}

long NetSend(SocketHandle socket, const char* data, size_t size) {
    const int chunk = size > 1048576 ? 1048576 : static_cast<int>(size);
    const int sent = send(AsSocket(socket), data, chunk, 0);
    if (sent != SOCKET_ERROR) return sent;
    return WouldBlock() ? kIoWouldBlock : kIoFailed;
}

long NetReceive(SocketHandle socket, char* buffer, size_t size) {
    const int chunk = size > 1048576 ? 1048576 : static_cast<int>(size);
    const int received = recv(AsSocket(socket), buffer, chunk, 0);
    if (received != SOCKET_ERROR) return received;
    return WouldBlock() ? kIoWouldBlock : kIoFailed;
}

void NetClose(SocketHandle socket) {
    if (socket != kNoSocket) closesocket(AsSocket(socket));
}

void NetSleepMs(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }
