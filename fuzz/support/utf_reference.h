// Reference answers about UTF-8 and UTF-16 text for the fuzzers, written
// from the Unicode standard's table of well-formed byte sequences and
// independent of the two codecs under test.
#pragma once

#include <cstddef>
#include <string>

// Bytes in the well-formed sequence starting at `pos`, 0 when none does.
size_t WellFormedLength(const std::string& bytes, size_t pos);

bool IsValidUtf8(const std::string& bytes);

// True when every ill-formed byte stands alone: a byte that can never
// start a sequence (a continuation byte, C0, C1, F5..FF). A lead byte
// C2..F4 followed by too few or wrong continuation bytes makes it false.
bool IllFormedOnlyInLoneBytes(const std::string& bytes);

bool HasUnpairedSurrogate(const std::u16string& units);

// The units with every unpaired surrogate turned into U+FFFD.
std::u16string ReplaceUnpairedSurrogates(const std::u16string& units);

// True when the cut between `before` and `after` falls inside a pair.
bool SplitsAPair(const std::u16string& before, const std::u16string& after);
