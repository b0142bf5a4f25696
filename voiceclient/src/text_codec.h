// Conversions between the library's UTF-16 text arrays and UTF-8 wire text.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "voiceclient.h"

static_assert(sizeof(TTCHAR) == 2, "TTCHAR must be a UTF-16 unit");

using TextUnits = std::basic_string<TTCHAR>;

// Reads at most maxUnits units, stopping at the first zero unit, so an
// unterminated array is never overread. A null pointer reads as "".
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const TTCHAR* text, size_t maxUnits);

// Invalid or truncated sequences, overlong forms, encoded surrogates and
// NUL bytes (which a zero-terminated array cannot hold) become U+FFFD.
TextUnits Utf8ToUtf16(const std::string& utf8);

// The longest prefix of at most limit units that does not end inside a
// surrogate pair.
size_t WholeCharPrefix(const TextUnits& text, size_t limit);

// Fills a fixed array of capacity units: cut at a whole character to at most
// capacity - 1 units and always zero-terminated.
void CopyToFixed(const TextUnits& text, TTCHAR* destination, size_t capacity);

// Splits text into pieces of at most maxUnits units at whole characters.
// An empty text gives one empty piece.
std::vector<TextUnits> SplitWholeChars(const TextUnits& text, size_t maxUnits);
