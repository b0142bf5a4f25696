// The line format shared with the server: TAB-separated fields, each escaped
// so that any text survives, one message per LF-terminated line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Backslash -> "\\", TAB -> "\t", LF -> "\n", CR -> "\r"; all else unchanged.
std::string EscapeField(const std::string& text);

// The inverse of EscapeField; false on an unknown escape or a lone trailing
// backslash.
bool UnescapeField(const std::string& field, std::string& text);

// Splits on TAB without unescaping; "" gives one empty field.
std::vector<std::string> SplitFields(const std::string& line);

// Escapes every field and joins them with TAB, ending in LF.
std::string MakeLine(const std::vector<std::string>& fields);

// Signed decimal that fits in 32 bits: optional '-', then 1 to 10 digits.
bool ParseInt32(const std::string& field, int32_t& value);
