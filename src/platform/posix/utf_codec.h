// UTF-8 <-> UTF-16 conversion that never fails: each maximal subpart of an
// ill-formed UTF-8 sequence (Unicode's recommended practice) and every
// unpaired surrogate becomes one U+FFFD.
#pragma once

#include <string>

std::u16string DecodeUtf8(const std::string& bytes);
std::string EncodeUtf8(const char16_t* units, size_t length);
