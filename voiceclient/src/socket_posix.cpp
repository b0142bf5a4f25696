// The socket operations on POSIX systems (BSD sockets and poll).
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include "socket_io.h"

bool NetStartup() { return true; }

ConnectStart NetStartConnect(const NetAddress& address, SocketHandle& socketOut) {
    const auto* target = reinterpret_cast<const sockaddr*>(address.bytes);
    const int fd = socket(target->sa_family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return ConnectStart::failed;
    const int flags = fcntl(fd, F_GETFL, 0);
    const int noDelay = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        close(fd);
        return ConnectStart::failed;
    }
    socketOut = fd;
    if (connect(fd, target, static_cast<socklen_t>(address.length)) == 0)
        return ConnectStart::connected;
    if (errno == EINPROGRESS || errno == EINTR) return ConnectStart::pending;
    close(fd);
    socketOut = kNoSocket;
    return ConnectStart::failed;
}

bool NetConnectSucceeded(SocketHandle socket) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(static_cast<int>(socket), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return false;
    return error == 0;
}

int NetWait(SocketHandle socket, bool wantRead, bool wantWrite, int timeoutMs) {
    pollfd entry{};
    entry.fd = static_cast<int>(socket);
    entry.events = static_cast<short>((wantRead ? POLLIN : 0) | (wantWrite ? POLLOUT : 0));
    if (poll(&entry, 1, timeoutMs) <= 0) return 0;
    int flags = 0;
    if (entry.revents & POLLIN) flags |= kWaitReadable;
    if (entry.revents & POLLOUT) flags |= kWaitWritable;
    if (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) flags |= kWaitFailed;
    return flags;
}

long NetSend(SocketHandle socket, const char* data, size_t size) {
    const ssize_t sent = send(static_cast<int>(socket), data, size, MSG_NOSIGNAL);
    if (sent >= 0) return static_cast<long>(sent);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return kIoWouldBlock;
    return kIoFailed;
}

long NetReceive(SocketHandle socket, char* buffer, size_t size) {
    const ssize_t received = recv(static_cast<int>(socket), buffer, size, 0);
    if (received >= 0) return static_cast<long>(received);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return kIoWouldBlock;
    return kIoFailed;
}

void NetClose(SocketHandle socket) {
    if (socket != kNoSocket) close(static_cast<int>(socket));
}

void NetSleepMs(int milliseconds) {
    timespec pause{};
    pause.tv_sec = milliseconds / 1000;
    pause.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}
