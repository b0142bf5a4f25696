// Command outcomes and the requests that wait for the server.
#include "session/command_outcomes.h"

#include "exchange_vocabulary.h"
#include "files/event_log.h"
#include "session/directories.h"

Requests gRequests;

namespace {

// Why the server refused a request, in the words a game switches on: a
// channel or user the bridge does not list is most likely gone.
const char* RefusalReason(const WaitingRequest& request) {
    if (request.kind == RequestKind::Join && !FindChannelName(request.target))
        return kFailedNoSuchChannel;
    if (request.kind == RequestKind::Message && !FindUserNickname(request.target))
        return kFailedNoSuchUser;
    return kFailedRejected;
}

// Every waiting request of `kind` that `answered` picks is done.
template <class Picks>
void AnswerEach(RequestKind kind, Picks answered) {
    for (auto it = gRequests.waiting.begin(); it != gRequests.waiting.end();) {
        if (it->second.kind == kind && answered(it->second)) {
            CommandDone(it->second.taken);
            it = gRequests.waiting.erase(it);
        } else {
            ++it;
        }
    }
}

// A message's pieces share one command: once one is refused, the others
// answer nothing more.
void ForgetCommand(int64_t taken) {
    for (auto it = gRequests.waiting.begin(); it != gRequests.waiting.end();)
        it = it->second.taken == taken ? gRequests.waiting.erase(it) : std::next(it);
}

}  // namespace

int64_t CommandTaken(const std::string& text) { return AddEvent(kEventTaken, {text}); }

void CommandDone(int64_t taken) { AddEvent(kEventDone, {std::to_string(taken)}); }

void CommandFailed(int64_t taken, const char* reason, const std::string& text) {
    AddEvent(kEventFailed, {std::to_string(taken), reason, text});
}

void AwaitRequest(int32_t commandId, int64_t taken, RequestKind kind, int32_t target) {
    if (commandId <= 0) {
        CommandFailed(taken, kFailedRejected);
        return;
    }
    gRequests.waiting[commandId] = WaitingRequest{taken, kind, target};
}

void RememberMessage(int32_t commandId, int64_t taken, int32_t recipient) {
    gRequests.waiting[commandId] = WaitingRequest{taken, RequestKind::Message, recipient};
    gRequests.messages.push_back(commandId);
    if (gRequests.messages.size() <= kRememberedMessages) return;
    gRequests.waiting.erase(gRequests.messages.front());
    gRequests.messages.pop_front();
}

void AnswerOwnJoin(int32_t channelId) {
    AnswerEach(RequestKind::Join,
               [&](const WaitingRequest& request) { return request.target == channelId; });
}

void AnswerOwnLeave() {
    AnswerEach(RequestKind::Leave, [](const WaitingRequest&) { return true; });
}

bool AnswerRefusal(int32_t commandId, const std::string& text) {
    const auto found = gRequests.waiting.find(commandId);
    if (found == gRequests.waiting.end()) return false;
    const WaitingRequest request = found->second;
    CommandFailed(request.taken, RefusalReason(request), text);
    ForgetCommand(request.taken);
    return true;
}

void FailWaitingRequests() {
    for (const auto& [commandId, request] : gRequests.waiting)
        if (request.kind != RequestKind::Message) CommandFailed(request.taken, kFailedSessionOver);
    gRequests.waiting.clear();
    gRequests.messages.clear();
}
