// Name resolution, the one socket operation that reads the same on every
// system: getaddrinfo only lives in different headers.
#include "socket_io.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstring>

bool NetResolve(const std::string& host, int port, std::vector<NetAddress>& addresses) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0) return false;
    for (addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_addrlen > sizeof(NetAddress::bytes)) continue;
        NetAddress address{};
        std::memcpy(address.bytes, entry->ai_addr, entry->ai_addrlen);
        address.length = static_cast<int>(entry->ai_addrlen);
        addresses.push_back(address);
    }
    freeaddrinfo(list);
    return !addresses.empty();
}
