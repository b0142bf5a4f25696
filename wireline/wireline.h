// The voice wire's line format, one implementation for the stand-in voice
// library, the simulated server and its control client: one message per
// LF-terminated line, TAB-separated fields, each escaped so that any text
// survives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The version a client names in HELLO and a server in WELCOME.
constexpr int kProtocolVersion = 1;

// Longest line either side of a voice link accepts, LF excluded.
constexpr size_t kMaxLineBytes = 65536;

// Backslash -> "\\", TAB -> "\t", LF -> "\n", CR -> "\r"; all else unchanged.
std::string EscapeField(const std::string& text);

// The inverse of EscapeField; false on an unknown escape or a lone trailing
// backslash.
bool UnescapeField(const std::string& field, std::string& text);

// The same for text that is shown, never refused: an unknown escape, or a
// lone trailing backslash, is kept as it is.
std::string UnescapeFieldLeniently(const std::string& field);

// Splits on TAB without unescaping; "" gives one empty field.
std::vector<std::string> SplitFields(const std::string& line);

// Splits a line (LF already removed) into unescaped fields; false on a bad
// escape sequence.
bool ReadFields(const std::string& line, std::vector<std::string>& fields);

// Escapes every field and joins them with TAB, ending in LF.
std::string MakeLine(const std::vector<std::string>& fields);

// Moves the first complete line of buffer into line (the LF dropped, and a
// CR just before it); false when buffer holds no complete line.
bool TakeLine(std::string& buffer, std::string& line);

// Moves every complete line at the front of buffer into lines, as TakeLine
// does, leaving a partial line in buffer. False when a line, or the
// unfinished rest, is longer than maxBytes (LF excluded, CR included): the
// sender broke the limit and the link must end. Lines before the long one
// are taken; it and what follows stay in buffer.
bool TakeLines(std::string& buffer, size_t maxBytes, std::vector<std::string>& lines);

// Signed decimal that fits in 32 bits: optional '-', then 1 to 10 digits.
bool ReadNumber(const std::string& field, int32_t& value);

// "0" or "1".
bool ReadFlag(const std::string& field, bool& value);
