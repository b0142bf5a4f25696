// The bridge's configuration: compiled-in defaults, overridden by the
// positional command-line arguments at start-up and only read afterwards.
#pragma once

#include <cstdint>
#include <string>

inline constexpr const char* kDefaultHost = "localhost";
inline constexpr int32_t kDefaultPort = 10333;
inline constexpr const char* kDefaultNickname = "Jogador";

struct BridgeConfig {
    std::string host = kDefaultHost;
    int32_t tcpPort = kDefaultPort;
    int32_t udpPort = kDefaultPort;
    bool encrypted = false;
    std::string nickname = kDefaultNickname;
};

extern BridgeConfig gBridgeConfig;
