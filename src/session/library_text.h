// Text at the crossing with the voice library and the system: the bridge's
// UTF-8 to the UTF-16 of the library's records and of the Windows command
// line, and back; and UTF-8 cut to a size without splitting a character.
#pragma once

#include <cstddef>
#include <string>

#include "platform.h"

// Converts up to the first zero byte; invalid UTF-8 becomes U+FFFD.
WideString Utf8ToWide(const std::string& text);

// Converts up to the first zero unit, but never reads past `capacity`
// units, so that an unterminated array cannot be overread.
std::string WideToUtf8(const WideChar* text, size_t capacity);

template <size_t N>
std::string WideToUtf8(const WideChar (&array)[N]) {
    return WideToUtf8(array, N);
}

inline std::string WideToUtf8(const WideString& text) {
    return WideToUtf8(text.data(), text.size());
}

// Cuts UTF-8 text to at most `maxBytes` bytes, after the last whole
// character that fits.
std::string CutUtf8(const std::string& text, size_t maxBytes);
