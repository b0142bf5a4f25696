// Windows only: one argument quoted so that CommandLineToArgvW, the rule a
// program's runtime splits its command line by, gives it back unchanged
// (spaces, quotes, backslashes and any letter).
#pragma once

#include <string>

std::wstring QuoteWindowsArgument(const std::wstring& arg);
