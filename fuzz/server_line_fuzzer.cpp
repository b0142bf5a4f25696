// Fuzzes what a server may send to the stand-in library: any bytes as the
// server's side of a connection, read through the real link steps (line
// splitting, the 64 KiB line limit, the handshake) and the real parser,
// with only the socket replaced by a script. Checked:
//  - each line alone: ParseServerLine knows exactly the known names, and
//    every event fills a TTMessage whose texts are zero-terminated,
//    whole-character prefixes of what was sent; a TEXTMSG's pieces rebuild
//    its text and carry bMore as the server meant;
//  - the stream: TT_GetMessage hands out exactly the events of the lines
//    before the first one that ends the link, then the event of the end.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "event_records.h"
#include "fuzz_check.h"
#include "instance.h"
#include "long_runs.h"
#include "scripted_socket.h"
#include "server_messages.h"
#include "utf_reference.h"
#include "wireline.h"

namespace {

using Messages = std::vector<TTMessage>;

const std::set<std::string> kKnownNames = {
    "WELCOME",     "REFUSED",   "ERROR",         "LOGGEDIN",       "LOGGEDOUT",
    "KICKED",      "TEXTMSG",   "USER_LOGGEDIN", "USER_LOGGEDOUT", "USER_UPDATE",
    "USER_JOINED", "USER_LEFT", "CHANNEL_NEW",   "CHANNEL_UPDATE", "CHANNEL_REMOVE",
};

TTMessage Filled(const PendingEvent& event) {
    TTMessage message;
    FillMessage(event, message);
    return message;
}

// The text arrays of the record a message carries, in the order of the
// pending event's texts.
std::vector<const TTCHAR*> TextArrays(const TTMessage& message) {
    switch (message.ttType) {
        case TTTYPE_USER: return {message.user.szNickname, message.user.szUsername};
        case TTTYPE_CHANNEL: return {message.channel.szName};
        case TTTYPE_TEXTMESSAGE:
            return {message.textmessage.szFromUsername, message.textmessage.szMessage};
        case TTTYPE_CLIENTERRORMSG: return {message.clienterrormsg.szErrorMsg};
        default: return {};
    }
}

std::u16string ArrayText(const TTCHAR* array) {
    const TTCHAR* end = std::find(array, array + TT_STRLEN, 0);
    return std::u16string(array, end);
}

// What CopyToFixed may keep of `full`: all of it when it fits, else the
// longest prefix that fits and does not end inside a pair.
size_t KeptUnits(const std::u16string& full) {
    if (full.size() <= kMaxTextUnits) return full.size();
    const bool pairAtCut = SplitsAPair(full.substr(0, kMaxTextUnits), full.substr(kMaxTextUnits));
    return pairAtCut ? kMaxTextUnits - 1 : kMaxTextUnits;
}

void CheckRecord(const PendingEvent& event) {
    const TTMessage message = Filled(event);
    FUZZ_CHECK(message.nClientEvent == event.clientEvent && message.nSource == event.source &&
                   message.ttType == event.recordType,
               "event " + std::to_string(event.clientEvent));
    const std::vector<const TTCHAR*> arrays = TextArrays(message);
    for (size_t i = 0; i < arrays.size(); ++i) {
        FUZZ_CHECK(std::find(arrays[i], arrays[i] + TT_STRLEN, 0) != arrays[i] + TT_STRLEN,
                   "text " + std::to_string(i) + " of event " + std::to_string(event.clientEvent));
        const std::u16string text = ArrayText(arrays[i]);
        const std::u16string& full = event.texts[i];
        FUZZ_CHECK(full.compare(0, text.size(), text) == 0 && text.size() == KeptUnits(full),
                   "array " + Show(text) + "\nof text " + Show(full));
        FUZZ_CHECK(!HasUnpairedSurrogate(text), Show(text));
    }
}

// The pieces of one TEXTMSG line rebuild its text, in order.
void CheckTextPieces(const std::string& line, const ParsedLine& parsed) {
    const std::vector<std::string> fields = SplitFields(line);
    std::string sender, text;
    FUZZ_CHECK(
        fields.size() >= 8 && UnescapeField(fields[3], sender) && UnescapeField(fields[6], text),
        "a TEXTMSG taken without its fields: " + Show(line));
    const bool more = fields[7] == "1";
    FUZZ_CHECK(!parsed.events.empty(), Show(line));
    std::u16string joined;
    for (size_t i = 0; i < parsed.events.size(); ++i) {
        const PendingEvent& event = parsed.events[i];
        const bool last = i + 1 == parsed.events.size();
        const std::u16string& piece = event.texts[1];
        FUZZ_CHECK(event.numbers[4] == ((last ? more : true) ? 1 : 0),
                   "bMore of piece " + std::to_string(i));
        FUZZ_CHECK(piece.size() <= kMaxTextUnits && (piece.size() > 0 || last),
                   "piece " + std::to_string(i) + " " + Show(piece));
        FUZZ_CHECK(!SplitsAPair(joined, piece), "a pair cut between pieces");
        FUZZ_CHECK(event.texts[0] == Utf8ToUtf16(sender), Show(event.texts[0]));
        joined += piece;
    }
    FUZZ_CHECK(joined == Utf8ToUtf16(text), Show(joined) + "\nexpected " + Show(text));
}

void CheckLine(const std::string& line) {
    const ParsedLine parsed = ParseServerLine(line);
    const std::string name = SplitFields(line)[0];
    FUZZ_CHECK((parsed.kind == LineKind::unknown) == (kKnownNames.count(name) == 0), Show(line));
    if (parsed.kind != LineKind::events) return;
    for (const PendingEvent& event : parsed.events) CheckRecord(event);
    if (name == "TEXTMSG") CheckTextPieces(line, parsed);
}

// Every line of the stream that the link could hand to the parser, also
// those after the one that would end the link.
void CheckEveryLine(const std::string& stream) {
    size_t start = 0;
    for (size_t lf; (lf = stream.find('\n', start)) != std::string::npos; start = lf + 1) {
        if (lf - start > kMaxLineBytes) continue;
        std::string line = stream.substr(start, lf - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        CheckLine(line);
    }
}

TTMessage Bare(INT32 clientEvent) { return Filled(MakeBareEvent(clientEvent, 0)); }

// What the link must deliver for the stream, read line by line: the
// handshake, the events, and the end, whether a fault ends the link or
// the server closes it after the last byte.
Messages ExpectedMessages(const std::string& stream) {
    Messages expected;
    bool connected = false;
    size_t start = 0;
    for (size_t lf; (lf = stream.find('\n', start)) != std::string::npos; start = lf + 1) {
        std::string line = stream.substr(start, lf - start);
        if (line.size() > kMaxLineBytes) break;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const ParsedLine parsed = ParseServerLine(line);
        if (parsed.kind == LineKind::unknown) continue;
        if (parsed.kind == LineKind::malformed || parsed.kind == LineKind::refused) break;
        if (parsed.kind == LineKind::welcome) {
            if (connected || parsed.version != kProtocolVersion) break;
            connected = true;
            expected.push_back(Bare(CLIENTEVENT_CON_SUCCESS));
            continue;
        }
        if (!connected) break;
        for (const PendingEvent& event : parsed.events) expected.push_back(Filled(event));
    }
    expected.push_back(Bare(connected ? CLIENTEVENT_CON_LOST : CLIENTEVENT_CON_FAILED));
    return expected;
}

// Everything the library hands out for the stream through its public calls.
Messages ReceivedMessages(const std::string& stream) {
    SetServerScript(stream);
    TTInstance* instance = TT_InitTeamTalkPoll();
    FUZZ_CHECK(instance != nullptr, "");
    const TTCHAR host[] = u"fuzz.invalid";
    FUZZ_CHECK(TT_Connect(instance, host, 10333, 10333, 0, 0, 0) == 1, "");
    Messages received;
    const INT32 noWait = 0;
    // Each call delivers an event or reads at least one byte, and there is
    // at most one event per byte: more calls than that is a link that hangs.
    const size_t maxCalls = 4 * stream.size() + 100;
    for (size_t call = 0;; ++call) {
        FUZZ_CHECK(call <= maxCalls, "the link never ended");
        TTMessage message;
        if (TT_GetMessage(instance, &message, &noWait)) {
            received.push_back(message);
        } else if (instance->state == LinkState::idle) {
            break;
        }
    }
    TT_CloseTeamTalk(instance);
    return received;
}

bool SameRecord(const TTMessage& a, const TTMessage& b) {
    if (a.nClientEvent != b.nClientEvent || a.nSource != b.nSource || a.ttType != b.ttType)
        return false;
    switch (a.ttType) {
        case TTTYPE_USER: return std::memcmp(&a.user, &b.user, sizeof a.user) == 0;
        case TTTYPE_CHANNEL: return std::memcmp(&a.channel, &b.channel, sizeof a.channel) == 0;
        case TTTYPE_TEXTMESSAGE:
            return std::memcmp(&a.textmessage, &b.textmessage, sizeof a.textmessage) == 0;
        case TTTYPE_CLIENTERRORMSG:
            return std::memcmp(&a.clienterrormsg, &b.clienterrormsg, sizeof a.clienterrormsg) == 0;
        default: return true;
    }
}

std::string EventCodes(const Messages& messages) {
    std::string codes;
    for (const TTMessage& message : messages) codes += std::to_string(message.nClientEvent) + " ";
    return codes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string stream = ExpandRuns(data, size);
    CheckEveryLine(stream);
    const Messages expected = ExpectedMessages(stream);
    const Messages received = ReceivedMessages(stream);
    bool same = expected.size() == received.size();
    for (size_t i = 0; same && i < expected.size(); ++i)
        same = SameRecord(expected[i], received[i]);
    FUZZ_CHECK(same, "received " + EventCodes(received) + "\nexpected " + EventCodes(expected));
    return 0;
}
