// The operating system's side of voicesim on Windows: Winsock 2, WSAPoll
// and the console's control handler.
// winsock2.h brings windows.h after itself, not the older Winsock with it.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <cstdio>

#include "sim_net.h"

namespace {

std::atomic<bool> gStopRequested{false};

// A control handler runs on a thread of its own and cannot interrupt
// WSAPoll, so the wait looks at the flag this often.
constexpr int kStopCheckMs = 100;

SOCKET AsSocket(int fd) { return static_cast<SOCKET>(fd); }

bool WouldBlock() {
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINTR || error == WSAEINPROGRESS;
}

// Winsock moves at most INT_MAX bytes a call; a megabyte a call is plenty.
int Chunk(size_t size) { return size > 1048576 ? 1048576 : static_cast<int>(size); }

BOOL WINAPI NoteConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    gStopRequested = true;
    // Windows ends a closed console's process as soon as this returns; the
    // loop is given the time to close everything and return from main,
    // which ends the process first.
    if (event == CTRL_CLOSE_EVENT) Sleep(INFINITE);
    return TRUE;
}

bool MakeNonBlocking(SOCKET handle) {
    u_long nonBlocking = 1;
    return ioctlsocket(handle, FIONBIO, &nonBlocking) == 0;
}

}  // namespace

bool StartNetwork() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void CatchStopRequests() { SetConsoleCtrlHandler(NoteConsoleControl, TRUE); }

bool StopRequested() { return gStopRequested; }

int ListenOnLoopback(int port, int& boundPort) {
    const SOCKET handle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (handle == INVALID_SOCKET) return -1;
    // Windows' SO_REUSEADDR would let a second server take the same port;
    // this refuses that instead.
    const BOOL exclusive = TRUE;
    setsockopt(handle, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    int length = sizeof address;
    if (!MakeNonBlocking(handle) ||
        bind(handle, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(handle, 64) != 0 ||
        getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int reason = WSAGetLastError();
        closesocket(handle);
        WSASetLastError(reason);
        return -1;
    }
    boundPort = ntohs(address.sin_port);
    return static_cast<int>(handle);
}

std::string LastNetError() {
    const int error = WSAGetLastError();
    char text[256] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
    std::string reason(text, length);
    // The system's text ends in a line break.
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
    return "Winsock error " + std::to_string(error) + (reason.empty() ? "" : ": " + reason);
}

int AcceptConnection(int listenFd) {
    const SOCKET handle = accept(AsSocket(listenFd), nullptr, nullptr);
    if (handle == INVALID_SOCKET) return -1;
    const BOOL noDelay = TRUE;
    setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);
    if (!MakeNonBlocking(handle)) {
        closesocket(handle);
        return -1;
    }
    return static_cast<int>(handle);
}

long ReceiveSome(int fd, char* buffer, size_t size) {
    const int received = recv(AsSocket(fd), buffer, Chunk(size), 0);
    if (received != SOCKET_ERROR) return received;
    return WouldBlock() ? kIoWouldBlock : kIoFailed;
}

long SendSome(int fd, const char* data, size_t size) {
    const int sent = send(AsSocket(fd), data, Chunk(size), 0);
    if (sent != SOCKET_ERROR) return sent;
    return WouldBlock() ? kIoWouldBlock : kIoFailed;
}

void CloseSocket(int fd) { closesocket(AsSocket(fd)); }

bool WaitForSockets(std::vector<WatchedSocket>& sockets) {
    std::vector<WSAPOLLFD> polled;
    polled.reserve(sockets.size());
    for (const WatchedSocket& socket : sockets)
        polled.push_back(
            {AsSocket(socket.fd),
             static_cast<SHORT>(socket.wantWrite ? POLLRDNORM | POLLWRNORM : POLLRDNORM), 0});
    int ready = 0;
    while (ready == 0 && !StopRequested()) {
        ready = WSAPoll(polled.data(), static_cast<ULONG>(polled.size()), kStopCheckMs);
        if (ready == SOCKET_ERROR) {
            std::fprintf(stderr, "voicesim: WSAPoll: %s\n", LastNetError().c_str());
            return false;
        }
    }
    for (size_t i = 0; i < sockets.size(); ++i)
        sockets[i].readable = (polled[i].revents & (POLLRDNORM | POLLHUP | POLLERR)) != 0;
    return true;
}

bool MoveFileOver(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

int CurrentProcessId() { return static_cast<int>(GetCurrentProcessId()); }
