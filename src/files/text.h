// Text at the crossing with the voice library (UTF-8 <-> UTF-16) and the
// small operations used on command text.
#pragma once

#include <cstdint>
#include <string>

#include "platform.h"

// Converts up to the first zero byte; invalid UTF-8 becomes U+FFFD.
WideString Utf8ToWide(const std::string& text);

// Converts up to the first zero unit, but never reads past `capacity`
// units, so that an unterminated array cannot be overread.
std::string WideToUtf8(const WideChar* text, size_t capacity);

template <size_t N>
std::string WideToUtf8(const WideChar (&array)[N]) {
    return WideToUtf8(array, N);
}

inline std::string WideToUtf8(const WideString& text) {
    return WideToUtf8(text.data(), text.size());
}

// Drops trailing CR, LF, space and tab, then leading space and tab.
std::string TrimCommandText(const std::string& text);

// Drops trailing CR, LF, space and tab only.
std::string TrimTrailingBlanks(const std::string& text);

// How many leading spaces and tabs TrimCommandText drops.
size_t LeadingBlanks(const std::string& text);

// Every carriage return and line feed as one space: a field that the game
// reads line by line must not make a line of its own, which anyone who can
// name a user, a channel or a message could otherwise forge.
std::string OnOneLine(const std::string& field);

// Every bar as a broken bar (U+00A6), so that a field before the last of a
// line cannot be taken for two.
std::string WithoutBars(const std::string& field);

// Without one final line break ("\r\n", "\n" or "\r").
std::string WithoutFinalLineBreak(const std::string& text);

// Cuts UTF-8 text to at most `maxBytes` bytes, after the last whole
// character that fits.
std::string CutUtf8(const std::string& text, size_t maxBytes);

// Decimal parse in the manner of strtol: leading white space and one sign,
// digits up to the first other character, 0 without digits, and values
// beyond the 32-bit range held at the nearest limit.
template <class Char>
int32_t ParseInt32(const std::basic_string<Char>& text) {
    size_t i = 0;
    auto isSpace = [](Char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const int64_t limit = negative ? -int64_t{INT32_MIN} : int64_t{INT32_MAX};
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) value = limit;
    }
    return static_cast<int32_t>(negative ? -value : value);
}
