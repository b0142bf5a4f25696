// Escaping, splitting, framing and number parsing for the wire lines.
#include "wireline.h"

namespace {

// Each byte that is escaped and the letter that stands for it after a
// backslash; the one table both directions read.
struct Escape {
    char byte;
    char code;
};

const Escape kEscapes[] = {{'\\', '\\'}, {'\t', 't'}, {'\n', 'n'}, {'\r', 'r'}};

const Escape* EscapeOfByte(char byte) {
    for (const Escape& escape : kEscapes)
        if (escape.byte == byte) return &escape;
    return nullptr;
}

const Escape* EscapeOfCode(char code) {
    for (const Escape& escape : kEscapes)
        if (escape.code == code) return &escape;
    return nullptr;
}

// False on an unknown escape or a lone trailing backslash, which are kept
// as they are in text.
bool Unescape(const std::string& field, std::string& text) {
    text.clear();
    text.reserve(field.size());
    bool known = true;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            text += field[i];
            continue;
        }
        const Escape* escape = i + 1 < field.size() ? EscapeOfCode(field[i + 1]) : nullptr;
        if (escape == nullptr) {
            known = false;
            text += '\\';
            continue;
        }
        text += escape->byte;
        ++i;
    }
    return known;
}

// The line in buffer from start to the LF at end, a CR just before it dropped.
std::string LineBefore(const std::string& buffer, size_t start, size_t end) {
    size_t length = end - start;
    if (length > 0 && buffer[end - 1] == '\r') --length;
    return buffer.substr(start, length);
}

}  // namespace

std::string EscapeField(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const Escape* escape = EscapeOfByte(c);
        if (escape == nullptr) {
            out += c;
        } else {
            out += '\\';
            out += escape->code;
        }
    }
    return out;
}

bool UnescapeField(const std::string& field, std::string& text) { return Unescape(field, text); }

std::string UnescapeFieldLeniently(const std::string& field) {
    std::string text;
    Unescape(field, text);
    return text;
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        if (tab == std::string::npos) break;
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

bool ReadFields(const std::string& line, std::vector<std::string>& fields) {
    fields = SplitFields(line);
    std::string text;
    for (std::string& field : fields) {
        if (!UnescapeField(field, text)) return false;
        field.swap(text);
    }
    return true;
}

std::string MakeLine(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += '\t';
        line += EscapeField(fields[i]);
    }
    line += '\n';
    return line;
}

bool TakeLine(std::string& buffer, std::string& line) {
    const size_t end = buffer.find('\n');
    if (end == std::string::npos) return false;
    line = LineBefore(buffer, 0, end);
    buffer.erase(0, end + 1);
    return true;
}

bool TakeLines(std::string& buffer, size_t maxBytes, std::vector<std::string>& lines) {
    size_t start = 0;
    bool withinLimit = true;
    for (;;) {
        const size_t end = buffer.find('\n', start);
        if (end == std::string::npos) break;
        if (end - start > maxBytes) {
            withinLimit = false;
            break;
        }
        lines.push_back(LineBefore(buffer, start, end));
        start = end + 1;
    }
    // Erased once, not per line, so a burst of short lines stays cheap.
    buffer.erase(0, start);
    return withinLimit && buffer.size() <= maxBytes;
}

bool ReadNumber(const std::string& field, int32_t& value) {
    size_t pos = 0;
    const bool negative = !field.empty() && field[0] == '-';
    if (negative) pos = 1;
    const size_t digits = field.size() - pos;
    if (digits == 0 || digits > 10) return false;
    int64_t magnitude = 0;
    for (; pos < field.size(); ++pos) {
        const char c = field[pos];
        if (c < '0' || c > '9') return false;
        magnitude = magnitude * 10 + (c - '0');
    }
    const int64_t result = negative ? -magnitude : magnitude;
    if (result < INT32_MIN || result > INT32_MAX) return false;
    value = static_cast<int32_t>(result);
    return true;
}

bool ReadFlag(const std::string& field, bool& value) {
    if (field != "0" && field != "1") return false;
    value = field == "1";
    return true;
}
