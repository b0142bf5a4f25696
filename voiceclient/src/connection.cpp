// Creating instances, starting connections and handing out events.
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "event_records.h"
#include "link_steps.h"

namespace {

using Clock = std::chrono::steady_clock;

bool EnvironmentFlagSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && std::strcmp(value, "1") == 0;
}

// Milliseconds left until deadline, rounded up so a wait never ends early.
int MillisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    const long long rounded = (left + 999) / 1000;
    return rounded > 1000000 ? 1000000 : static_cast<int>(rounded);
}

bool Deliver(TTInstance& instance, TTMessage& message) {
    if (instance.backlog.empty()) return false;
    FillMessage(instance.backlog.front(), message);
    instance.backlog.pop_front();
    return true;
}

}  // namespace

extern "C" {

VOICECLIENT_API TTInstance* TT_InitTeamTalkPoll(void) {
    // Lets tests drive the caller's start-up failure path.
    if (EnvironmentFlagSet("VOICECLIENT_FAIL_INIT")) return nullptr;
    if (!NetStartup()) return nullptr;
    try {
        return new TTInstance();
    } catch (...) {
        return nullptr;
    }
}

VOICECLIENT_API TTBOOL TT_CloseTeamTalk(TTInstance* instance) {
    if (instance == nullptr) return 0;
    EndLink(*instance, CLIENTEVENT_NONE);
    delete instance;
    return 1;
}

VOICECLIENT_API TTBOOL TT_Connect(TTInstance* instance, const TTCHAR* host, INT32 tcpPort,
                                  INT32 udpPort, INT32 localTcpPort, INT32 localUdpPort,
                                  TTBOOL encrypted) {
    (void)localTcpPort;
    (void)localUdpPort;
    if (instance == nullptr || host == nullptr || host[0] == 0) return 0;
    if (tcpPort < 1 || tcpPort > 65535) return 0;
    if (instance->state != LinkState::idle) return 0;
    instance->backlog.clear();
    instance->udpPort = udpPort;
    instance->encrypted = encrypted != 0;
    instance->addresses.clear();
    instance->nextAddress = 0;
    instance->connectDeadline = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
    // Resolution blocks; its failure is an outcome of the attempt, not a
    // refusal to start one.
    if (!NetResolve(Utf16ToUtf8(host, TT_STRLEN), tcpPort, instance->addresses)) {
        EndLink(*instance, CLIENTEVENT_CON_FAILED);
        return 1;
    }
    TryNextAddress(*instance);
    return 1;
}

VOICECLIENT_API TTBOOL TT_Disconnect(TTInstance* instance) {
    if (instance == nullptr) return 0;
    EndLink(*instance, CLIENTEVENT_NONE);
    instance->backlog.clear();
    return 1;
}

VOICECLIENT_API TTBOOL TT_GetMessage(TTInstance* instance, TTMessage* message,
                                     const INT32* waitMs) {
    if (instance == nullptr || message == nullptr) return 0;
    const INT32 wait = waitMs != nullptr ? *waitMs : 0;
    const bool forever = wait < 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : wait);
    bool lookedOnce = false;
    for (;;) {
        if (Deliver(*instance, *message)) return 1;
        const int left = forever ? 1000 : MillisecondsUntil(deadline);
        if (left == 0 && lookedOnce) return 0;
        lookedOnce = true;
        if (instance->state == LinkState::idle) {
            // Nothing can arrive without a connection; just honour the wait.
            if (left > 0) NetSleepMs(left);
            if (!forever) return 0;
            continue;
        }
        ServiceLink(*instance, left);
    }
}

}  // extern "C"
