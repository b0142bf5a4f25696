// UTF-16 code units, as the voice library uses them on POSIX systems.
#pragma once
using WideChar = char16_t;
