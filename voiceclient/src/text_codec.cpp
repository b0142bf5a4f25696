// UTF-8 <-> UTF-16 conversion and character-safe cutting of UTF-16 text.
#include "text_codec.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

void AppendUtf16(TextUnits& out, char32_t code) {
    if (code < 0x10000) {
        out += static_cast<TTCHAR>(code);
    } else {
        code -= 0x10000;
        out += static_cast<TTCHAR>(0xD800 + (code >> 10));
        out += static_cast<TTCHAR>(0xDC00 + (code & 0x3FF));
    }
}

// Decodes one sequence at text[pos]; sets used to the bytes consumed. A bad
// sequence consumes only its valid leading part (at least one byte), so the
// next character after a broken one is not swallowed.
char32_t DecodeOne(const std::string& text, size_t pos, size_t& used) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    used = 1;
    if (lead < 0x80) return lead == 0 ? kReplacement : lead;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    char32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
    } else {
        return kReplacement;
    }
    for (size_t i = 1; i < length; ++i) {
        if (pos + i >= text.size()) return kReplacement;
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if (next < low || next > high) return kReplacement;
        low = 0x80;
        high = 0xBF;
        code = (code << 6) | (next & 0x3F);
        used = i + 1;
    }
    return code;
}

}  // namespace

std::string Utf16ToUtf8(const TTCHAR* text, size_t maxUnits) {
    std::string out;
    if (text == nullptr) return out;
    size_t length = 0;
    while (length < maxUnits && text[length] != 0) ++length;
    for (size_t i = 0; i < length; ++i) {
        const char32_t unit = static_cast<char16_t>(text[i]);
        if (IsHighSurrogate(unit) && i + 1 < length &&
            IsLowSurrogate(static_cast<char16_t>(text[i + 1]))) {
            const char32_t low = static_cast<char16_t>(text[i + 1]);
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

TextUnits Utf8ToUtf16(const std::string& utf8) {
    TextUnits out;
    size_t pos = 0;
    while (pos < utf8.size()) {
        size_t used = 0;
        AppendUtf16(out, DecodeOne(utf8, pos, used));
        pos += used;
    }
    return out;
}

size_t WholeCharPrefix(const TextUnits& text, size_t limit) {
    if (text.size() <= limit) return text.size();
    if (limit > 0 && IsHighSurrogate(static_cast<char16_t>(text[limit - 1])) &&
        IsLowSurrogate(static_cast<char16_t>(text[limit])))
        return limit - 1;
    return limit;
}

void CopyToFixed(const TextUnits& text, TTCHAR* destination, size_t capacity) {
    if (capacity == 0) return;
    const size_t length = WholeCharPrefix(text, capacity - 1);
    text.copy(destination, length);
    destination[length] = 0;
}

std::vector<TextUnits> SplitWholeChars(const TextUnits& text, size_t maxUnits) {
    std::vector<TextUnits> pieces;
    if (maxUnits == 0) maxUnits = 1;
    size_t start = 0;
    do {
        size_t length = text.size() - start;
        if (length > maxUnits) {
            length = maxUnits;
            const size_t end = start + length;
            if (IsHighSurrogate(static_cast<char16_t>(text[end - 1])) &&
                IsLowSurrogate(static_cast<char16_t>(text[end])))
                --length;
            // A piece too small for one pair still has to move forward.
            if (length == 0) length = 2;
        }
        pieces.push_back(text.substr(start, length));
        start += length;
    } while (start < text.size());
    return pieces;
}
