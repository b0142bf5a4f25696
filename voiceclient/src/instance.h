// The record behind a TTInstance handle and the limits the library keeps.
#pragma once

#include <chrono>
#include <deque>
#include <string>
#include <vector>

#include "socket_io.h"
#include "text_codec.h"
#include "voiceclient.h"

// Covers both the TCP connect and the server's answer to HELLO.
constexpr int kConnectTimeoutMs = 10000;
constexpr size_t kMaxBacklogEvents = 100000;
// Text arrays hold this many units before the terminator.
constexpr size_t kMaxTextUnits = TT_STRLEN - 1;

enum class LinkState { idle, connecting, handshaking, connected };

// One parsed, undelivered event: compact until it is copied into a TTMessage.
// numbers[] and texts[] are laid out per record kind (see event_records.cpp).
struct PendingEvent {
    INT32 clientEvent = CLIENTEVENT_NONE;
    INT32 source = 0;
    INT32 recordType = TTTYPE_NONE;
    INT32 numbers[5] = {};
    TextUnits texts[2];
};

struct TTInstance {
    LinkState state = LinkState::idle;
    SocketHandle socket = kNoSocket;
    std::vector<NetAddress> addresses;
    size_t nextAddress = 0;
    std::chrono::steady_clock::time_point connectDeadline;
    INT32 udpPort = 0;
    bool encrypted = false;
    std::string inbound;   // bytes of a line not yet complete
    std::string outbound;  // bytes the socket has not yet taken
    std::deque<PendingEvent> backlog;
    INT32 lastCommandId = 0;
    // Re-sent after every handshake so the server always knows them.
    INT32 soundInputDevice = 0;
    INT32 soundOutputDevice = 0;
    bool voiceEnabled = false;
};
