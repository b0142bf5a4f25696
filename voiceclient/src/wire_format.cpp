// Escaping, splitting and number parsing for the wire lines.
#include "wire_format.h"

std::string EscapeField(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c; break;
        }
    }
    return out;
}

bool UnescapeField(const std::string& field, std::string& text) {
    text.clear();
    text.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            text += field[i];
            continue;
        }
        if (++i == field.size()) return false;
        switch (field[i]) {
            case '\\': text += '\\'; break;
            case 't': text += '\t'; break;
            case 'n': text += '\n'; break;
            case 'r': text += '\r'; break;
            default: return false;
        }
    }
    return true;
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

std::string MakeLine(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += '\t';
        line += EscapeField(fields[i]);
    }
    line += '\n';
    return line;
}

bool ParseInt32(const std::string& field, int32_t& value) {
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
