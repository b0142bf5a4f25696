// The fuzzers' assertion: a broken invariant prints what was expected and
// aborts, so that libFuzzer saves the input as a crash.
#pragma once

#include <string>

[[noreturn]] void FuzzFailure(const char* file, int line, const char* condition,
                              const std::string& detail);

// `detail` is built only when the check fails.
#define FUZZ_CHECK(condition, detail)                                            \
    do {                                                                         \
        if (!(condition)) FuzzFailure(__FILE__, __LINE__, #condition, (detail)); \
    } while (0)

// Printable form of bytes or UTF-16 units for failure messages.
std::string Show(const std::string& bytes);
std::string Show(const std::u16string& units);
