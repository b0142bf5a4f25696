// Command-text helpers: trimming, splitting, number parsing, UTF-8 cuts.
#include <gtest/gtest.h>

#include "commands/command_text.h"
#include "files/fields.h"
#include "session/library_text.h"
#include "wide.h"

namespace {

struct TextCase {
    std::string input;
    std::string expected;
};

TEST(TrimCommandText, StripsOnlyWhatTheGameMayAddAroundACommand) {
    const TextCase cases[] = {
        {"", ""},
        {"refresh", "refresh"},
        {" \trefresh \r\n", "refresh"},
        {"\nrefresh", "\nrefresh"},       // leading line feeds stay
        {"\r\n \t\r\n", ""},              // trailing pass runs first
        {"joinpath  a ", "joinpath  a"},  // inner spaces stay
        {"\vrefresh\f", "\vrefresh\f"},   // no other white space
        {"\xEF\xBB\xBFrefresh", "\xEF\xBB\xBFrefresh"},
        {"\xC2\xA0refresh", "\xC2\xA0refresh"},
        {std::string("a\0 ", 3), std::string("a\0", 2)},
    };
    for (const TextCase& c : cases) EXPECT_EQ(TrimCommandText(c.input), c.expected) << c.input;
}

TEST(ParseInt32, ReadsDecimalLikeStrtolAndClamps) {
    const std::pair<std::string, int32_t> cases[] = {
        {"12", 12},
        {"  \t\n\v\f\r42", 42},
        {"+7", 7},
        {"-5", -5},
        {"", 0},
        {"abc", 0},
        {"-", 0},
        {"+-3", 0},
        {"12abc", 12},
        {"12\nrefresh", 12},
        {"0x1A", 0},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"99999999999999999999999", 2147483647},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {" 1 2", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseInt32(c.first), c.second) << c.first;
        const std::u16string wide(c.first.begin(), c.first.end());
        EXPECT_EQ(ParseInt32(W(wide)), c.second) << c.first;
    }
}

TEST(CutUtf8, NeverCutsInsideACharacter) {
    const std::string euro = "\xE2\x82\xAC";       // 3 bytes
    const std::string smile = "\xF0\x9F\x98\x80";  // 4 bytes
    const struct {
        std::string input;
        size_t max;
        std::string expected;
    } cases[] = {
        {"abc", 3, "abc"},
        {"abcd", 3, "abc"},
        {"a" + euro, 3, "a"},
        {"a" + euro, 4, "a" + euro},
        {"ab" + smile, 5, "ab"},
        {smile + smile, 7, smile},
        {"", 0, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(CutUtf8(c.input, c.max), c.expected) << c.input;
}

}  // namespace
