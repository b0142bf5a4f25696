// The table of messages a server may send and the fields each one carries.
#include "server_messages.h"

#include "event_records.h"
#include "wireline.h"

namespace {

// Unescaped fields after the name; extra trailing fields are allowed so a
// newer server can add some without breaking older clients.
struct Fields {
    std::vector<std::string> values;
    bool valid = true;

    const std::string& Text(size_t index) const { return values[index]; }
    INT32 Number(size_t index) {
        int32_t value = 0;
        if (!ReadNumber(values[index], value)) valid = false;
        return value;
    }
    bool Flag(size_t index) {
        bool value = false;
        if (!ReadFlag(values[index], value)) valid = false;
        return value;
    }
};

// Each parser reads the fields a route has checked are there; a bad number
// or flag leaves fields.valid false, and the line is then malformed.
using MessageParser = void (*)(INT32 clientEvent, Fields& fields, ParsedLine& parsed);

void ParseWelcome(INT32, Fields& fields, ParsedLine& parsed) {
    parsed.kind = LineKind::welcome;
    parsed.version = fields.Number(0);
}

void ParseRefused(INT32, Fields&, ParsedLine& parsed) { parsed.kind = LineKind::refused; }

void ParseError(INT32, Fields& fields, ParsedLine& parsed) {
    const INT32 commandId = fields.Number(0);
    const INT32 errorNumber = fields.Number(1);
    parsed.events.push_back(MakeErrorEvent(commandId, errorNumber, fields.Text(2)));
}

void ParseLoggedIn(INT32 clientEvent, Fields& fields, ParsedLine& parsed) {
    parsed.events.push_back(MakeBareEvent(clientEvent, fields.Number(0)));
}

void ParseBare(INT32 clientEvent, Fields&, ParsedLine& parsed) {
    parsed.events.push_back(MakeBareEvent(clientEvent, 0));
}

void ParseText(INT32, Fields& fields, ParsedLine& parsed) {
    const INT32 type = fields.Number(0);
    const INT32 from = fields.Number(1);
    const INT32 to = fields.Number(3);
    const INT32 channel = fields.Number(4);
    const bool more = fields.Flag(6);
    parsed.events = MakeTextEvents(type, from, fields.Text(2), to, channel, fields.Text(5), more);
}

void ParseUser(INT32 clientEvent, Fields& fields, ParsedLine& parsed) {
    const INT32 user = fields.Number(0);
    const INT32 channel = fields.Number(1);
    parsed.events.push_back(
        MakeUserEvent(clientEvent, user, channel, fields.Text(2), fields.Text(3)));
}

void ParseChannel(INT32 clientEvent, Fields& fields, ParsedLine& parsed) {
    const INT32 parent = fields.Number(0);
    const INT32 channel = fields.Number(1);
    const bool password = fields.Flag(3);
    parsed.events.push_back(
        MakeChannelEvent(clientEvent, parent, channel, fields.Text(2), password));
}

// One message: its name, the event it becomes (none for the handshake's
// answers, which the link acts on itself), the fields it needs after the
// name, and its parser.
struct MessageRoute {
    const char* name;
    INT32 clientEvent;
    size_t minFields;
    MessageParser parse;
};

const MessageRoute kMessageRoutes[] = {
    {"WELCOME", CLIENTEVENT_NONE, 1, ParseWelcome},
    {"REFUSED", CLIENTEVENT_NONE, 0, ParseRefused},
    {"ERROR", CLIENTEVENT_CMD_ERROR, 3, ParseError},
    {"LOGGEDIN", CLIENTEVENT_CMD_MYSELF_LOGGEDIN, 1, ParseLoggedIn},
    {"LOGGEDOUT", CLIENTEVENT_CMD_MYSELF_LOGGEDOUT, 0, ParseBare},
    {"KICKED", CLIENTEVENT_CMD_MYSELF_KICKED, 0, ParseBare},
    {"TEXTMSG", CLIENTEVENT_CMD_USER_TEXTMSG, 7, ParseText},
    {"USER_LOGGEDIN", CLIENTEVENT_CMD_USER_LOGGEDIN, 4, ParseUser},
    {"USER_LOGGEDOUT", CLIENTEVENT_CMD_USER_LOGGEDOUT, 4, ParseUser},
    {"USER_UPDATE", CLIENTEVENT_CMD_USER_UPDATE, 4, ParseUser},
    {"USER_JOINED", CLIENTEVENT_CMD_USER_JOINED, 4, ParseUser},
    {"USER_LEFT", CLIENTEVENT_CMD_USER_LEFT, 4, ParseUser},
    {"CHANNEL_NEW", CLIENTEVENT_CMD_CHANNEL_NEW, 4, ParseChannel},
    {"CHANNEL_UPDATE", CLIENTEVENT_CMD_CHANNEL_UPDATE, 4, ParseChannel},
    {"CHANNEL_REMOVE", CLIENTEVENT_CMD_CHANNEL_REMOVE, 4, ParseChannel},
};

const MessageRoute* FindRoute(const std::string& name) {
    for (const MessageRoute& route : kMessageRoutes)
        if (name == route.name) return &route;
    return nullptr;
}

ParsedLine Malformed() {
    ParsedLine parsed;
    parsed.kind = LineKind::malformed;
    return parsed;
}

}  // namespace

ParsedLine ParseServerLine(const std::string& line) {
    const std::vector<std::string> raw = SplitFields(line);
    const MessageRoute* route = FindRoute(raw[0]);
    if (route == nullptr) return ParsedLine{};
    Fields fields;
    for (size_t i = 1; i < raw.size(); ++i) {
        std::string text;
        if (!UnescapeField(raw[i], text)) fields.valid = false;
        fields.values.push_back(text);
    }
    if (fields.values.size() < route->minFields) return Malformed();
    ParsedLine parsed;
    parsed.kind = LineKind::events;
    route->parse(route->clientEvent, fields, parsed);
    return fields.valid ? parsed : Malformed();
}
