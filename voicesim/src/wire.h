// The server's side of the line format: TAB-separated escaped fields.
#pragma once

#include <string>
#include <vector>

// Splits a line (LF already removed) into unescaped fields; false on a bad
// escape sequence.
bool ReadFields(const std::string& line, std::vector<std::string>& fields);

// Escapes and joins fields into one line ending in LF.
std::string WriteLine(const std::vector<std::string>& fields);

// Moves every complete line at the front of buffer into lines (the LF
// dropped, and a CR just before it), leaving a partial line in buffer.
// False when a line, or the unfinished rest, is longer than maxBytes (LF
// excluded, CR included): the sender broke the limit and the link must end.
bool TakeLines(std::string& buffer, size_t maxBytes, std::vector<std::string>& lines);

// Signed decimal within int range.
bool ReadNumber(const std::string& text, int& value);

// "0" or "1".
bool ReadFlag(const std::string& text, bool& value);
