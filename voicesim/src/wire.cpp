// Escaping and number parsing for the simulated server's lines.
#include "wire.h"

#include <climits>

namespace {

bool Unescape(const std::string& field, std::string& out) {
    out.clear();
    for (size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (i + 1 >= field.size()) return false;
        const char code = field[++i];
        if (code == '\\')
            out += '\\';
        else if (code == 't')
            out += '\t';
        else if (code == 'n')
            out += '\n';
        else if (code == 'r')
            out += '\r';
        else
            return false;
    }
    return true;
}

}  // namespace

bool ReadFields(const std::string& line, std::vector<std::string>& fields) {
    fields.clear();
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        const std::string raw =
            line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
        std::string field;
        if (!Unescape(raw, field)) return false;
        fields.push_back(field);
        if (tab == std::string::npos) return true;
        start = tab + 1;
    }
}

std::string WriteLine(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += '\t';
        for (const char c : fields[i]) {
            if (c == '\\')
                line += "\\\\";
            else if (c == '\t')
                line += "\\t";
            else if (c == '\n')
                line += "\\n";
            else if (c == '\r')
                line += "\\r";
            else
                line += c;
        }
    }
    line += '\n';
    return line;
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
        size_t length = end - start;
        if (length > 0 && buffer[end - 1] == '\r') --length;
        lines.push_back(buffer.substr(start, length));
        start = end + 1;
    }
    buffer.erase(0, start);
    return withinLimit && buffer.size() <= maxBytes;
}

bool ReadNumber(const std::string& text, int& value) {
    size_t pos = text.size() > 0 && text[0] == '-' ? 1 : 0;
    if (pos == text.size() || text.size() - pos > 10) return false;
    long long number = 0;
    for (size_t i = pos; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        number = number * 10 + (text[i] - '0');
    }
    if (pos == 1) number = -number;
    if (number < INT_MIN || number > INT_MAX) return false;
    value = static_cast<int>(number);
    return true;
}

bool ReadFlag(const std::string& text, bool& value) {
    if (text != "0" && text != "1") return false;
    value = text == "1";
    return true;
}
