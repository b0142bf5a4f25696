// The small operations on the text of a command and its argument: the
// blanks a game may leave around a command, the line break a name may end
// in, and numbers read as the bridge has always read them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Drops trailing CR, LF, space and tab, then leading space and tab.
std::string TrimCommandText(const std::string& text);

// Drops trailing CR, LF, space and tab only.
std::string TrimTrailingBlanks(const std::string& text);

// How many leading spaces and tabs TrimCommandText drops.
size_t LeadingBlanks(const std::string& text);

// Without one final line break ("\r\n", "\n" or "\r").
std::string WithoutFinalLineBreak(const std::string& text);

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
