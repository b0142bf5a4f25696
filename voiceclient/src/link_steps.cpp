// One connection's state machine: connect, HELLO/WELCOME, then lines both ways.
#include "link_steps.h"

#include <chrono>
#include <vector>

#include "event_records.h"
#include "server_messages.h"
#include "wireline.h"

namespace {

using Clock = std::chrono::steady_clock;

// The event that reports a broken link depends on whether it was ever up.
INT32 BreakEvent(const TTInstance& instance) {
    return instance.state == LinkState::connected ? CLIENTEVENT_CON_LOST : CLIENTEVENT_CON_FAILED;
}

bool QueueEvent(TTInstance& instance, const PendingEvent& event) {
    if (instance.backlog.size() >= kMaxBacklogEvents) return false;
    instance.backlog.push_back(event);
    return true;
}

// Notes the server keeps per connection, so they follow every new handshake.
void SendConnectionNotes(TTInstance& instance) {
    if (instance.soundInputDevice != 0)
        SendLine(instance, MakeLine({"SOUND_INPUT", std::to_string(instance.soundInputDevice)}));
    if (instance.soundOutputDevice != 0)
        SendLine(instance, MakeLine({"SOUND_OUTPUT", std::to_string(instance.soundOutputDevice)}));
    if (instance.voiceEnabled) SendLine(instance, MakeLine({"VOICE", "1"}));
}

// False when the line breaks the link (fault, refusal, bad version).
bool HandleLine(TTInstance& instance, const std::string& line) {
    const ParsedLine parsed = ParseServerLine(line);
    switch (parsed.kind) {
        case LineKind::unknown: return true;
        case LineKind::malformed:
        case LineKind::refused: return false;
        case LineKind::welcome:
            if (instance.state != LinkState::handshaking) return false;
            if (parsed.version != kProtocolVersion) return false;
            instance.state = LinkState::connected;
            if (!QueueEvent(instance, MakeBareEvent(CLIENTEVENT_CON_SUCCESS, 0))) return false;
            SendConnectionNotes(instance);
            return instance.state == LinkState::connected;
        case LineKind::events:
            if (instance.state != LinkState::connected) return false;
            for (const PendingEvent& event : parsed.events)
                if (!QueueEvent(instance, event)) return false;
            return true;
    }
    return false;
}

// Handles every complete line before any that passes the limit; false when
// the link must end.
bool ProcessInbound(TTInstance& instance) {
    std::vector<std::string> lines;
    const bool withinLimit = TakeLines(instance.inbound, kMaxLineBytes, lines);
    for (const std::string& line : lines) {
        if (!HandleLine(instance, line)) return false;
        // A refusal or fault above may already have ended the link.
        if (instance.state == LinkState::idle) return true;
    }
    return withinLimit;
}

void ReceiveLines(TTInstance& instance) {
    char buffer[16384];
    // Bounded per call, so one call cannot grow the backlog without limit.
    for (int round = 0; round < 4; ++round) {
        const long received = NetReceive(instance.socket, buffer, sizeof buffer);
        if (received == kIoWouldBlock) return;
        if (received <= 0) return EndLink(instance, BreakEvent(instance));
        instance.inbound.append(buffer, static_cast<size_t>(received));
        if (!ProcessInbound(instance)) return EndLink(instance, BreakEvent(instance));
        if (instance.state == LinkState::idle) return;
    }
}

bool FlushOutbound(TTInstance& instance) {
    while (!instance.outbound.empty()) {
        const long sent =
            NetSend(instance.socket, instance.outbound.data(), instance.outbound.size());
        if (sent == kIoWouldBlock) return true;
        if (sent < 0) return false;
        instance.outbound.erase(0, static_cast<size_t>(sent));
    }
    return true;
}

void BeginHandshake(TTInstance& instance) {
    instance.state = LinkState::handshaking;
    SendLine(instance,
             MakeLine({"HELLO", std::to_string(kProtocolVersion), std::to_string(instance.udpPort),
                       instance.encrypted ? "1" : "0"}));
}

}  // namespace

void EndLink(TTInstance& instance, INT32 clientEvent) {
    NetClose(instance.socket);
    instance.socket = kNoSocket;
    instance.state = LinkState::idle;
    instance.inbound.clear();
    instance.outbound.clear();
    instance.addresses.clear();
    // The final event may exceed the backlog bound: it must never be lost.
    if (clientEvent != CLIENTEVENT_NONE) instance.backlog.push_back(MakeBareEvent(clientEvent, 0));
}

void TryNextAddress(TTInstance& instance) {
    while (instance.nextAddress < instance.addresses.size()) {
        const NetAddress& address = instance.addresses[instance.nextAddress++];
        SocketHandle socket = kNoSocket;
        const ConnectStart start = NetStartConnect(address, socket);
        if (start == ConnectStart::failed) continue;
        instance.socket = socket;
        instance.state = LinkState::connecting;
        if (start == ConnectStart::connected) BeginHandshake(instance);
        return;
    }
    EndLink(instance, CLIENTEVENT_CON_FAILED);
}

void SendLine(TTInstance& instance, const std::string& line) {
    if (instance.socket == kNoSocket) return;
    instance.outbound += line;
    if (!FlushOutbound(instance)) EndLink(instance, BreakEvent(instance));
}

void ServiceLink(TTInstance& instance, int timeoutMs) {
    if (instance.state == LinkState::idle) return;
    if (instance.state != LinkState::connected) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              instance.connectDeadline - Clock::now())
                              .count();
        if (left <= 0) return EndLink(instance, CLIENTEVENT_CON_FAILED);
        if (left < timeoutMs) timeoutMs = static_cast<int>(left);
    }
    if (instance.state == LinkState::connecting) {
        const int flags = NetWait(instance.socket, false, true, timeoutMs);
        if ((flags & (kWaitWritable | kWaitFailed)) == 0) return;
        if (NetConnectSucceeded(instance.socket)) return BeginHandshake(instance);
        NetClose(instance.socket);
        instance.socket = kNoSocket;
        return TryNextAddress(instance);
    }
    const int flags = NetWait(instance.socket, true, !instance.outbound.empty(), timeoutMs);
    if ((flags & kWaitWritable) && !FlushOutbound(instance))
        return EndLink(instance, BreakEvent(instance));
    if (flags & (kWaitReadable | kWaitFailed)) ReceiveLines(instance);
}
