// Conversions and command-text helpers.
#include "files/text.h"

WideString Utf8ToWide(const std::string& text) {
    if (text.empty()) return WideString();
    return PlatformUtf8ToWide(text.substr(0, text.find('\0')));
}

std::string WideToUtf8(const WideChar* text, size_t capacity) {
    size_t length = 0;
    while (length < capacity && text[length] != 0) ++length;
    return PlatformWideToUtf8(text, length);
}

std::string TrimTrailingBlanks(const std::string& text) {
    size_t end = text.size();
    while (end > 0) {
        const char c = text[end - 1];
        if (c != '\r' && c != '\n' && c != ' ' && c != '\t') break;
        --end;
    }
    return text.substr(0, end);
}

size_t LeadingBlanks(const std::string& text) {
    size_t count = 0;
    while (count < text.size() && (text[count] == ' ' || text[count] == '\t')) ++count;
    return count;
}

std::string TrimCommandText(const std::string& text) {
    const std::string trailing = TrimTrailingBlanks(text);
    return trailing.substr(LeadingBlanks(trailing));
}

std::string OnOneLine(const std::string& field) {
    std::string line = field;
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    return line;
}

std::string WithoutBars(const std::string& field) {
    std::string out;
    out.reserve(field.size());
    for (char c : field) {
        if (c == '|')
            out += "\xC2\xA6";
        else
            out += c;
    }
    return out;
}

std::string WithoutFinalLineBreak(const std::string& text) {
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
        return text.substr(0, text.size() - 2);
    if (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        return text.substr(0, text.size() - 1);
    return text;
}

std::string CutUtf8(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t end = maxBytes;
    // Step back over continuation bytes to the start of the cut character.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}
