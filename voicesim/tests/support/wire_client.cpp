// The raw-socket test client, on a non-blocking socket with poll() so that
// every wait ends at its deadline.
#include "wire_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "voicesim_control.h"
#include "wireline.h"

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

enum class ReadResult { data, closed, timedOut };

// Reads once what is there into client.inbound.
ReadResult ReadMore(WireClient& client, Clock::time_point deadline) {
    for (;;) {
        pollfd waiting{client.fd, POLLIN, 0};
        const int ready = poll(&waiting, 1, MillisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return ReadResult::timedOut;
        char buffer[65536];
        const ssize_t n = recv(client.fd, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        if (n <= 0) return ReadResult::closed;
        client.inbound.append(buffer, static_cast<size_t>(n));
        return ReadResult::data;
    }
}

}  // namespace

bool WireConnect(WireClient& client, int port) {
    WireClose(client);
    client.fd = ConnectLoopback(port);
    return client.fd >= 0;
}

void WireClose(WireClient& client) {
    if (client.fd >= 0) close(client.fd);
    client.fd = -1;
    client.inbound.clear();
}

void WireSend(WireClient& client, const Line& fields) { WireSendRaw(client, MakeLine(fields)); }

void WireSendRaw(WireClient& client, const std::string& bytes) {
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    size_t sent = 0;
    while (sent < bytes.size() && client.fd >= 0) {
        pollfd waiting{client.fd, POLLOUT, 0};
        if (poll(&waiting, 1, MillisecondsLeft(deadline)) <= 0) return;
        const ssize_t n = send(client.fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

std::optional<std::string> WireNextRawLine(WireClient& client, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const size_t end = client.inbound.find('\n');
        if (end != std::string::npos) {
            std::string line = client.inbound.substr(0, end);
            client.inbound.erase(0, end + 1);
            return line;
        }
        if (client.fd < 0 || ReadMore(client, deadline) != ReadResult::data) return std::nullopt;
    }
}

Line ParseLine(const std::string& raw) {
    Line fields;
    if (!ReadFields(raw, fields)) return {"<bad escape>"};
    return fields;
}

std::optional<Line> WireNextLine(WireClient& client, std::chrono::milliseconds timeout) {
    const std::optional<std::string> raw = WireNextRawLine(client, timeout);
    if (!raw) return std::nullopt;
    return ParseLine(*raw);
}

bool WireWaitClosed(WireClient& client, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    const size_t kept = client.inbound.size();
    for (;;) {
        const ReadResult result = ReadMore(client, deadline);
        if (result != ReadResult::data) return result == ReadResult::closed;
        // What still arrives before the close is of no interest here.
        client.inbound.resize(kept);
    }
}
