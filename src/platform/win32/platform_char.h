// Windows wide text is UTF-16 in wchar_t.
#pragma once
using WideChar = wchar_t;
