// Fuzzes what a voice client may send to voicesim: any bytes as one new
// client's side of a connection, cut into lines by the wire's TakeLines
// and handled by HandleClientLine, as its server loop does, in a
// world with channels, two bots and a second client already logged in.
// Checked after every line:
//  - every byte voicesim queued for any client is a whole line within the
//    clients' line limit that the stand-in library parses as a known,
//    well-formed message (a line it could not read would end the link);
//  - users and connections point at each other and at existing channels.
#include <climits>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "bots.h"
#include "channel_tree.h"
#include "channels.h"
#include "client_requests.h"
#include "connections.h"
#include "fuzz_check.h"
#include "library_reading.h"
#include "long_runs.h"
#include "request_log.h"
#include "sim_state.h"
#include "users.h"
#include "wireline.h"

namespace {

// Descriptors that no open file has: the reaping of a dropped connection
// closes them, which must not touch a real one.
constexpr int kNewClientFd = INT_MAX - 1;
constexpr int kBiaFd = INT_MAX - 2;
constexpr int kBiaId = 500;

// How much of each connection's output has been checked: nothing is
// flushed here, so each check looks at what was queued since the last.
std::map<int, size_t> gChecked;

void ResetWorld() {
    gChecked.clear();
    gConnections.clear();
    gUsers.clear();
    gSwitches = SimSwitches();
    ResetChannels();
    AddChannel(2, 1, "Sala", "");
    AddChannel(3, 1, "Fechada", "segredo");
    AddChannel(4, 2, "A\xC3\xA7\xC3\xA3o", "");
    AddBot(900, "Eco", 2, BotAnswer::echo, "");
    AddBot(901, "Resposta", 0, BotAnswer::reply, "ok");
    // Bia is made by hand so that her ID stays the same from run to run.
    ReserveUserId(kBiaId);
    SimUser bia;
    bia.id = kBiaId;
    bia.nickname = "Bia";
    bia.username = "bia";
    bia.fd = kBiaFd;
    bia.channelId = 2;
    gUsers[kBiaId] = bia;
    Connection& biaLink = gConnections[kBiaFd];
    biaLink.fd = kBiaFd;
    biaLink.handshaken = true;
    biaLink.userId = kBiaId;
    gConnections[kNewClientFd].fd = kNewClientFd;
}

// The request log keeps the latest 1000 requests. Pushing 1000 lines that
// need the heap through it frees every line a run logged, and leaves only
// heap lines for the next run to push out.
void RefillRequestLog() {
    const std::string filler(32, '#');
    for (int i = 0; i < 1000; ++i) LogRequest(0, filler);
}

// Each run frees what it made, so that libFuzzer's leak check (which runs
// whenever a run allocated more than it freed) only runs on real leaks.
void ClearWorld() {
    RefillRequestLog();
    gChecked.clear();
    gConnections.clear();
    gUsers.clear();
    gChannels.clear();
}

Connection* FindConnection(int fd) {
    const auto found = gConnections.find(fd);
    return found == gConnections.end() ? nullptr : &found->second;
}

void CheckOutput(const Connection& connection) {
    const std::string& out = connection.outbound;
    FUZZ_CHECK(out.empty() || out.back() == '\n', "unfinished line for fd " +
                                                      std::to_string(connection.fd) + ": " +
                                                      Show(out.substr(out.rfind('\n') + 1)));
    size_t& checked = gChecked[connection.fd];
    // A connection that overflowed its output was dropped and emptied.
    if (checked > out.size()) checked = 0;
    size_t start = checked;
    checked = out.size();
    for (size_t lf; (lf = out.find('\n', start)) != std::string::npos; start = lf + 1) {
        const std::string line = out.substr(start, lf - start);
        FUZZ_CHECK(line.size() <= kMaxLineBytes, "a line too long for a client: " + Show(line));
        std::vector<std::string> fields;
        FUZZ_CHECK(ReadFields(line, fields), "bad escapes in " + Show(line));
        FUZZ_CHECK(LibraryReadsLine(line), "a line the library cannot read: " + Show(line));
    }
}

void CheckWorld() {
    for (const auto& [fd, connection] : gConnections) {
        CheckOutput(connection);
        if (connection.userId == 0) continue;
        const auto user = gUsers.find(connection.userId);
        FUZZ_CHECK(user != gUsers.end() && user->second.fd == fd,
                   "connection of missing user " + std::to_string(connection.userId));
    }
    for (const auto& [id, user] : gUsers) {
        FUZZ_CHECK(user.channelId == 0 || FindChannel(user.channelId) != nullptr,
                   "user " + std::to_string(id) + " in missing channel");
        if (user.fd < 0) continue;
        const Connection* connection = FindConnection(user.fd);
        FUZZ_CHECK(connection != nullptr && connection->userId == id,
                   "user " + std::to_string(id) + " without its connection");
    }
}

// The lines as TakeLines gave them rebuild what it took from the buffer:
// each ends at a LF, and one CR just before that LF is dropped.
void CheckTakenLines(const std::string& stream, const std::string& rest,
                     const std::vector<std::string>& lines, bool withinLimit) {
    FUZZ_CHECK(stream.size() >= rest.size() &&
                   stream.compare(stream.size() - rest.size(), rest.size(), rest) == 0,
               "the rest is not the end of the stream");
    std::string taken = stream.substr(0, stream.size() - rest.size());
    std::string rebuilt;
    for (const std::string& line : lines) {
        FUZZ_CHECK(line.size() <= kMaxLineBytes && line.find('\n') == std::string::npos,
                   Show(line));
        rebuilt += line + "\n";
    }
    std::string plain;
    for (size_t i = 0; i < taken.size(); ++i)
        if (!(taken[i] == '\r' && i + 1 < taken.size() && taken[i + 1] == '\n')) plain += taken[i];
    FUZZ_CHECK(plain == rebuilt, "taken " + Show(taken) + "\nlines " + Show(rebuilt));
    if (withinLimit)
        FUZZ_CHECK(rest.find('\n') == std::string::npos && rest.size() <= kMaxLineBytes,
                   Show(rest));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    RefillRequestLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ResetWorld();
    const std::string stream = ExpandRuns(data, size);
    Connection* client = FindConnection(kNewClientFd);
    client->inbound = stream;
    std::vector<std::string> lines;
    const bool withinLimit = TakeLines(client->inbound, kMaxLineBytes, lines);
    CheckTakenLines(stream, client->inbound, lines, withinLimit);
    // As the server loop does: a connection refused or dropped by one line
    // reads no more of them.
    for (const std::string& line : lines) {
        if (client->dead || client->closeWhenFlushed) break;
        HandleClientLine(*client, line);
        CheckWorld();
        ReapDeadConnections();
        CheckWorld();
        client = FindConnection(kNewClientFd);
        if (client == nullptr) break;
    }
    ClearWorld();
    return 0;
}
