// Builds the platform's wide string from a UTF-16 literal, so that one test
// text serves both wchar_t (Windows) and char16_t (POSIX).
#pragma once

#include "platform.h"

inline WideString W(const std::u16string& units) { return WideString(units.begin(), units.end()); }
