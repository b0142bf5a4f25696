// Conversions between UTF-8 and UTF-16.
#include "session/library_text.h"

WideString Utf8ToWide(const std::string& text) {
    if (text.empty()) return WideString();
    return PlatformUtf8ToWide(text.substr(0, text.find('\0')));
}

std::string WideToUtf8(const WideChar* text, size_t capacity) {
    size_t length = 0;
    while (length < capacity && text[length] != 0) ++length;
    return PlatformWideToUtf8(text, length);
}

std::string CutUtf8(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t end = maxBytes;
    // Step back over continuation bytes to the start of the cut character.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}
