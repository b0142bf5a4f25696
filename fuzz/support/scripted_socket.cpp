// socket_io.h over a scripted byte string, in place of socket_posix.cpp.
#include "scripted_socket.h"

#include <cstring>

#include "socket_io.h"

namespace {

constexpr SocketHandle kScriptedSocket = 7;

// Chunk sizes that cut lines at the start, the middle and across the
// library's own receive buffer.
const size_t kChunkSizes[] = {1, 7, 300, 16384, 2, 4096, 70000, 13};

std::string gScript;
size_t gRead = 0;
size_t gChunk = 0;

}  // namespace

void SetServerScript(const std::string& bytes) {
    gScript = bytes;
    gRead = 0;
    gChunk = 0;
}

bool ServerScriptDone() { return gRead == gScript.size(); }

bool NetStartup() { return true; }

bool NetResolve(const std::string&, int, std::vector<NetAddress>& addresses) {
    addresses.assign(1, NetAddress{});
    return true;
}

ConnectStart NetStartConnect(const NetAddress&, SocketHandle& socketOut) {
    socketOut = kScriptedSocket;
    return ConnectStart::connected;
}

bool NetConnectSucceeded(SocketHandle) { return true; }

int NetWait(SocketHandle, bool wantRead, bool wantWrite, int) {
    return (wantRead ? kWaitReadable : 0) | (wantWrite ? kWaitWritable : 0);
}

long NetSend(SocketHandle, const char*, size_t size) { return static_cast<long>(size); }

long NetReceive(SocketHandle, char* buffer, size_t size) {
    if (gRead == gScript.size()) return 0;
    size_t chunk = kChunkSizes[gChunk++ % (sizeof kChunkSizes / sizeof kChunkSizes[0])];
    if (chunk > size) chunk = size;
    if (chunk > gScript.size() - gRead) chunk = gScript.size() - gRead;
    std::memcpy(buffer, gScript.data() + gRead, chunk);
    gRead += chunk;
    return static_cast<long>(chunk);
}

void NetClose(SocketHandle) {}

void NetSleepMs(int) {}
