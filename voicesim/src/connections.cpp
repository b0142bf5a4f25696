// Accepting, reading, writing and closing connections; lines are handed to
// the client or control handlers as they complete.
#include "connections.h"

#include <vector>

#include "announce.h"
#include "client_requests.h"
#include "control_commands.h"
#include "sim_net.h"
#include "users.h"
#include "wireline.h"

namespace {

void AcceptAll(int listenFd, bool control) {
    for (;;) {
        const int fd = AcceptConnection(listenFd);
        if (fd < 0) return;
        const bool full = gConnections.size() >= kMaxConnections;
        Connection& connection = gConnections[fd];
        connection.fd = fd;
        connection.control = control;
        if (!full) continue;
        const char* reason = "Too many connections";
        QueueOutput(connection,
                    control ? MakeLine({"ERR", reason}) : MakeLine({"REFUSED", reason}));
        connection.closeWhenFlushed = true;
    }
}

Connection* Find(int fd) {
    const auto found = gConnections.find(fd);
    return found == gConnections.end() ? nullptr : &found->second;
}

void ReportLineTooLong(Connection& connection) {
    const size_t limit = connection.control ? kMaxControlLineBytes : kMaxLineBytes;
    const std::string text = "Line longer than " + std::to_string(limit) + " bytes";
    QueueOutput(connection, connection.control ? MakeLine({"ERR", text})
                                               : ErrorLine(0, kErrorLineTooLong, text));
    connection.closeWhenFlushed = true;
    connection.inbound.clear();
}

bool HeldBack(const Connection& connection, const std::string& line) {
    return gSwitches.holdLogins && !connection.control && connection.handshaken &&
           (line == "LOGIN" || line.rfind("LOGIN\t", 0) == 0);
}

// Puts lines[from..] back in front of what is still unread, in order.
void PutBack(Connection& connection, const std::vector<std::string>& lines, size_t from) {
    std::string unread;
    for (size_t i = from; i < lines.size(); ++i) unread += lines[i] + "\n";
    connection.inbound.insert(0, unread);
}

void HandleLines(int fd);

// Handles the client lines that waited while logins were held.
void HandleHeldLines() {
    std::vector<int> waiting;
    for (const auto& [fd, connection] : gConnections)
        if (!connection.control && !connection.inbound.empty()) waiting.push_back(fd);
    for (const int fd : waiting)
        if (Find(fd) != nullptr) HandleLines(fd);
}

// A control line that turns hold-logins off releases the lines held, before
// the next control line runs.
void HandleControlLineAndRelease(Connection& connection, const std::string& line) {
    const bool holding = gSwitches.holdLogins;
    HandleControlLine(connection, line);
    if (holding && !gSwitches.holdLogins) HandleHeldLines();
}

// Hands every complete line to its handler. The connection may be closed
// by what a line does, so it is looked up again after each one.
void HandleLines(int fd) {
    Connection* connection = Find(fd);
    std::vector<std::string> lines;
    const size_t limit = connection->control ? kMaxControlLineBytes : kMaxLineBytes;
    const bool withinLimit = TakeLines(connection->inbound, limit, lines);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (connection->dead || connection->closeWhenFlushed) return;
        if (HeldBack(*connection, line)) return PutBack(*connection, lines, i);
        if (connection->control) {
            HandleControlLineAndRelease(*connection, line);
        } else {
            HandleClientLine(*connection, line);
        }
        ReapDeadConnections();
        connection = Find(fd);
        if (connection == nullptr) return;
    }
    if (!withinLimit && !connection->dead && !connection->closeWhenFlushed)
        ReportLineTooLong(*connection);
}

void ReadFrom(int fd) {
    Connection& connection = *Find(fd);
    char buffer[65536];
    bool ended = false;
    // Bounded per round so one busy client cannot starve the others.
    for (int round = 0; round < 16; ++round) {
        const long received = ReceiveSome(fd, buffer, sizeof buffer);
        if (received == kIoWouldBlock) break;
        if (received <= 0) {
            ended = true;
            break;
        }
        // After a refusal or a fault the rest is not read as requests.
        if (connection.closeWhenFlushed) continue;
        connection.inbound.append(buffer, static_cast<size_t>(received));
    }
    // Lines that came before the end are still answered.
    HandleLines(fd);
    if (!ended) return;
    if (Connection* still = Find(fd)) still->dead = true;
}

void WriteTo(Connection& connection) {
    while (!connection.outbound.empty()) {
        const long sent =
            SendSome(connection.fd, connection.outbound.data(), connection.outbound.size());
        if (sent == kIoWouldBlock) return;
        if (sent <= 0) {
            connection.dead = true;
            return;
        }
        connection.outbound.erase(0, static_cast<size_t>(sent));
    }
    if (connection.closeWhenFlushed) connection.dead = true;
}

void WriteAll() {
    for (auto& [fd, connection] : gConnections)
        if (!connection.dead) WriteTo(connection);
    ReapDeadConnections();
}

void CloseAll() {
    // One last try at the replies already queued, such as quit's OK.
    for (auto& [fd, connection] : gConnections) {
        if (!connection.dead) WriteTo(connection);
        CloseSocket(fd);
    }
    gConnections.clear();
}

}  // namespace

void ReapDeadConnections() {
    for (;;) {
        std::vector<int> dead;
        for (const auto& [fd, connection] : gConnections)
            if (connection.dead) dead.push_back(fd);
        if (dead.empty()) return;
        for (const int fd : dead) {
            const int userId = gConnections[fd].userId;
            CloseSocket(fd);
            gConnections.erase(fd);
            if (userId != 0) LogOutUser(userId);
        }
    }
}

int RunServerLoop(int clientListenFd, int controlListenFd) {
    std::vector<WatchedSocket> watched;
    while (!gSwitches.quitRequested && !StopRequested()) {
        watched.clear();
        watched.push_back({clientListenFd});
        watched.push_back({controlListenFd});
        for (const auto& [fd, connection] : gConnections)
            watched.push_back({fd, !connection.outbound.empty()});
        if (!WaitForSockets(watched)) return 1;
        if (watched[0].readable) AcceptAll(clientListenFd, false);
        if (watched[1].readable) AcceptAll(controlListenFd, true);
        for (size_t i = 2; i < watched.size(); ++i) {
            if (!watched[i].readable) continue;
            // An earlier connection's lines may have closed this one.
            if (Find(watched[i].fd) != nullptr) ReadFrom(watched[i].fd);
            ReapDeadConnections();
        }
        WriteAll();
    }
    CloseAll();
    return 0;
}
