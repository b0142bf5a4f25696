// The table of messages a server may send and the fields each one carries.
#include "server_messages.h"

#include "event_records.h"
#include "wireline.h"

namespace {

struct UserVerb {
    const char* name;
    INT32 clientEvent;
};

const UserVerb kUserVerbs[] = {
    {"USER_LOGGEDIN", CLIENTEVENT_CMD_USER_LOGGEDIN},
    {"USER_LOGGEDOUT", CLIENTEVENT_CMD_USER_LOGGEDOUT},
    {"USER_UPDATE", CLIENTEVENT_CMD_USER_UPDATE},
    {"USER_JOINED", CLIENTEVENT_CMD_USER_JOINED},
    {"USER_LEFT", CLIENTEVENT_CMD_USER_LEFT},
};

const UserVerb kChannelVerbs[] = {
    {"CHANNEL_NEW", CLIENTEVENT_CMD_CHANNEL_NEW},
    {"CHANNEL_UPDATE", CLIENTEVENT_CMD_CHANNEL_UPDATE},
    {"CHANNEL_REMOVE", CLIENTEVENT_CMD_CHANNEL_REMOVE},
};

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
        if (values[index] != "0" && values[index] != "1") valid = false;
        return values[index] == "1";
    }
};

ParsedLine Malformed() {
    ParsedLine parsed;
    parsed.kind = LineKind::malformed;
    return parsed;
}

ParsedLine Finish(ParsedLine parsed, const Fields& fields) {
    return fields.valid ? parsed : Malformed();
}

ParsedLine ParseKnown(const std::string& name, Fields& fields) {
    ParsedLine parsed;
    parsed.kind = LineKind::events;
    const size_t count = fields.values.size();
    auto needs = [&](size_t minimum) { return count >= minimum; };

    if (name == "WELCOME") {
        if (!needs(1)) return Malformed();
        parsed.kind = LineKind::welcome;
        parsed.version = fields.Number(0);
        return Finish(parsed, fields);
    }
    if (name == "REFUSED") {
        parsed.kind = LineKind::refused;
        return parsed;
    }
    if (name == "ERROR") {
        if (!needs(3)) return Malformed();
        const INT32 commandId = fields.Number(0);
        const INT32 errorNumber = fields.Number(1);
        parsed.events.push_back(MakeErrorEvent(commandId, errorNumber, fields.Text(2)));
        return Finish(parsed, fields);
    }
    if (name == "LOGGEDIN") {
        if (!needs(1)) return Malformed();
        parsed.events.push_back(MakeBareEvent(CLIENTEVENT_CMD_MYSELF_LOGGEDIN, fields.Number(0)));
        return Finish(parsed, fields);
    }
    if (name == "LOGGEDOUT") {
        parsed.events.push_back(MakeBareEvent(CLIENTEVENT_CMD_MYSELF_LOGGEDOUT, 0));
        return parsed;
    }
    if (name == "KICKED") {
        parsed.events.push_back(MakeBareEvent(CLIENTEVENT_CMD_MYSELF_KICKED, 0));
        return parsed;
    }
    if (name == "TEXTMSG") {
        if (!needs(7)) return Malformed();
        const INT32 type = fields.Number(0);
        const INT32 from = fields.Number(1);
        const INT32 to = fields.Number(3);
        const INT32 channel = fields.Number(4);
        const bool more = fields.Flag(6);
        parsed.events =
            MakeTextEvents(type, from, fields.Text(2), to, channel, fields.Text(5), more);
        return Finish(parsed, fields);
    }
    for (const UserVerb& verb : kUserVerbs) {
        if (name != verb.name) continue;
        if (!needs(4)) return Malformed();
        const INT32 user = fields.Number(0);
        const INT32 channel = fields.Number(1);
        parsed.events.push_back(
            MakeUserEvent(verb.clientEvent, user, channel, fields.Text(2), fields.Text(3)));
        return Finish(parsed, fields);
    }
    for (const UserVerb& verb : kChannelVerbs) {
        if (name != verb.name) continue;
        if (!needs(4)) return Malformed();
        const INT32 parent = fields.Number(0);
        const INT32 channel = fields.Number(1);
        const bool password = fields.Flag(3);
        parsed.events.push_back(
            MakeChannelEvent(verb.clientEvent, parent, channel, fields.Text(2), password));
        return Finish(parsed, fields);
    }
    parsed.kind = LineKind::unknown;
    return parsed;
}

}  // namespace

ParsedLine ParseServerLine(const std::string& line) {
    const std::vector<std::string> raw = SplitFields(line);
    Fields fields;
    for (size_t i = 1; i < raw.size(); ++i) {
        std::string text;
        if (!UnescapeField(raw[i], text)) fields.valid = false;
        fields.values.push_back(text);
    }
    ParsedLine parsed = ParseKnown(raw[0], fields);
    if (parsed.kind == LineKind::unknown) return parsed;
    return fields.valid ? parsed : Malformed();
}
