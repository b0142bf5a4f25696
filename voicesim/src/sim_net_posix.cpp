// The operating system's side of voicesim on POSIX systems: BSD sockets,
// poll() and signals.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim_net.h"

namespace {

volatile sig_atomic_t gStopSignal = 0;

void NoteStopSignal(int) { gStopSignal = 1; }

bool Interrupted() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

}  // namespace

bool StartNetwork() { return true; }

void CatchStopRequests() {
    struct sigaction action {};
    action.sa_handler = NoteStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: the wait must return so the loop sees the flag.
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // Held back except during the wait, which lets them in atomically: a
    // request that came between the loop's look at the flag and the wait
    // would otherwise wait for the next event, perhaps for ever.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigprocmask(SIG_BLOCK, &stops, nullptr);
}

bool StopRequested() { return gStopSignal != 0; }

int ListenOnLoopback(int port, int& boundPort) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int reuse = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 64) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int reason = errno;
        close(fd);
        errno = reason;
        return -1;
    }
    boundPort = ntohs(address.sin_port);
    return fd;
}

std::string LastNetError() { return std::strerror(errno); }

int AcceptConnection(int listenFd) {
    const int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return -1;
    const int noDelay = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    return fd;
}

long ReceiveSome(int fd, char* buffer, size_t size) {
    const ssize_t received = recv(fd, buffer, size, 0);
    if (received >= 0) return static_cast<long>(received);
    return Interrupted() ? kIoWouldBlock : kIoFailed;
}

long SendSome(int fd, const char* data, size_t size) {
    const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
    if (sent >= 0) return static_cast<long>(sent);
    return Interrupted() ? kIoWouldBlock : kIoFailed;
}

void CloseSocket(int fd) { close(fd); }

bool WaitForSockets(std::vector<WatchedSocket>& sockets) {
    std::vector<pollfd> polled;
    polled.reserve(sockets.size());
    for (const WatchedSocket& socket : sockets)
        polled.push_back(
            {socket.fd, static_cast<short>(socket.wantWrite ? POLLIN | POLLOUT : POLLIN), 0});
    sigset_t none;
    sigemptyset(&none);
    if (ppoll(polled.data(), polled.size(), nullptr, &none) < 0) {
        if (errno == EINTR) return true;
        std::perror("voicesim: poll");
        return false;
    }
    for (size_t i = 0; i < sockets.size(); ++i)
        sockets[i].readable = (polled[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
    return true;
}

bool MoveFileOver(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

int CurrentProcessId() { return static_cast<int>(getpid()); }
