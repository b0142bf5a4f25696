// The server's side of the line format: TAB-separated escaped fields.
#pragma once

#include <string>
#include <vector>

// Splits a line (LF already removed) into unescaped fields; false on a bad
// escape sequence.
bool ReadFields(const std::string& line, std::vector<std::string>& fields);

// Escapes and joins fields into one line ending in LF.
std::string WriteLine(const std::vector<std::string>& fields);

// Signed decimal within int range.
bool ReadNumber(const std::string& text, int& value);

// "0" or "1".
bool ReadFlag(const std::string& text, bool& value);
