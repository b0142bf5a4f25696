// UTF-8 <-> UTF-16 conversion with the replacement rules of the Windows
// converters: every maximal invalid subsequence of UTF-8 and every
// unpaired surrogate becomes U+FFFD; nothing fails.
#pragma once

#include <string>

std::u16string DecodeUtf8(const std::string& bytes);
std::string EncodeUtf8(const char16_t* units, size_t length);
