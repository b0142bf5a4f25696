// The control client: a blocking-style exchange built on a non-blocking
// socket and poll(), so every wait has a deadline.
#include "voicesim_control.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "wireline.h"

namespace {

using Clock = std::chrono::steady_clock;

// Unknown escapes are kept as they are: a reply is shown, never refused.
std::vector<std::string> SplitReply(const std::string& line) {
    std::vector<std::string> fields = SplitFields(line);
    for (std::string& field : fields) field = UnescapeFieldLeniently(field);
    return fields;
}

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

std::vector<std::string> Broken(SimControlLink& link, const std::string& what) {
    SimControlClose(link);
    return {"ERR", "control link: " + what};
}

bool SendAll(SimControlLink& link, const std::string& bytes, Clock::time_point deadline) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        pollfd waiting{link.fd, POLLOUT, 0};
        if (poll(&waiting, 1, MillisecondsLeft(deadline)) <= 0) return false;
        const ssize_t n = send(link.fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

int ConnectLoopback(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    // Non-blocking from here on, so that every wait keeps its deadline.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

bool SimControlOpen(SimControlLink& link, int port) {
    SimControlClose(link);
    link.fd = ConnectLoopback(port);
    return link.fd >= 0;
}

void SimControlClose(SimControlLink& link) {
    if (link.fd >= 0) close(link.fd);
    link.fd = -1;
    link.received.clear();
}

std::vector<std::string> SimControlCommand(SimControlLink& link,
                                           const std::vector<std::string>& command,
                                           std::chrono::milliseconds timeout) {
    if (link.fd < 0) return {"ERR", "control link: not connected"};
    const auto deadline = Clock::now() + timeout;
    if (!SendAll(link, MakeLine(command), deadline)) return Broken(link, "cannot send");
    for (std::string reply;;) {
        if (TakeLine(link.received, reply)) return SplitReply(reply);
        pollfd waiting{link.fd, POLLIN, 0};
        const int ready = poll(&waiting, 1, MillisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return Broken(link, "no reply in time");
        char buffer[65536];
        const ssize_t n = recv(link.fd, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        if (n <= 0) return Broken(link, "closed by the server");
        link.received.append(buffer, static_cast<size_t>(n));
    }
}

std::vector<std::string> SimControl(int port, const std::vector<std::string>& command) {
    SimControlLink link;
    if (!SimControlOpen(link, port))
        return {"ERR", "control link: cannot connect to 127.0.0.1:" + std::to_string(port)};
    std::vector<std::string> reply = SimControlCommand(link, command);
    SimControlClose(link);
    return reply;
}

std::string SimControlText(int port, const std::string& command) {
    const std::vector<std::string> reply = SimControl(port, SplitFields(command));
    std::string joined;
    for (size_t i = 0; i < reply.size(); ++i) {
        if (i > 0) joined += '\t';
        joined += reply[i];
    }
    return joined;
}
