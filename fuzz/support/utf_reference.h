// Reference answers about UTF-8 and UTF-16 text for the fuzzers, written
// from the Unicode standard's table of well-formed byte sequences and
// independent of the two codecs under test.
#pragma once

#include <cstddef>
#include <string>

// Bytes in the well-formed sequence starting at `pos`, 0 when none does.
size_t WellFormedLength(const std::string& bytes, size_t pos);

bool IsValidUtf8(const std::string& bytes);

// The bytes with each maximal subpart of an ill-formed sequence (Unicode's
// recommended practice) replaced by the UTF-8 of U+FFFD: the longest start
// of a well-formed sequence found there, or else a single byte.
std::string ReplaceMaximalSubparts(const std::string& bytes);

bool HasUnpairedSurrogate(const std::u16string& units);

// The units with every unpaired surrogate turned into U+FFFD.
std::u16string ReplaceUnpairedSurrogates(const std::u16string& units);

// True when the cut between `before` and `after` falls inside a pair.
bool SplitsAPair(const std::u16string& before, const std::u16string& after);
