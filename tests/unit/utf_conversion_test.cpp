// The UTF-8/UTF-16 converters. The same vectors run on Linux (our own
// codec) and on Windows (the system converters, under Wine), so the two
// are held to one behaviour.
#include <gtest/gtest.h>

#include "files/text.h"
#include "wide.h"

namespace {

struct ConversionCase {
    const char* name;
    std::string utf8;
    std::u16string utf16;
};

// Valid text converts both ways unchanged.
const ConversionCase kValid[] = {
    {"ascii", "Jogador", u"Jogador"},
    {"portuguese", "Falha na liga\xC3\xA7\xC3\xA3o", u"Falha na liga\u00E7\u00E3o"},
    {"three-byte", "\xE2\x82\xAC 5", u"\u20AC 5"},
    {"surrogate pair", "\xF0\x9F\x8E\xAE", u"\U0001F3AE"},
    {"bars and breaks", "a|b\nc\td\r", u"a|b\nc\td\r"},
    {"highest", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
    {"bom", "\xEF\xBB\xBFx", u"\uFEFFx"},
};

TEST(Utf8ToWide, ConvertsValidText) {
    for (const ConversionCase& c : kValid) EXPECT_EQ(Utf8ToWide(c.utf8), W(c.utf16)) << c.name;
}

TEST(WideToUtf8, ConvertsValidText) {
    for (const ConversionCase& c : kValid) EXPECT_EQ(WideToUtf8(W(c.utf16)), c.utf8) << c.name;
}

TEST(Utf8ToWide, ReplacesInvalidInputWithReplacementCharacters) {
    const ConversionCase cases[] = {
        {"lone continuation", "a\x80z", u"a\uFFFDz"},
        {"two continuations", "\x80\x80", u"\uFFFD\uFFFD"},
        {"truncated three-byte", "\xE2\x82z", u"\uFFFDz"},
        {"truncated at end", "ab\xE2\x82", u"ab\uFFFD"},
        {"overlong two-byte", "\xC0\xAF", u"\uFFFD\uFFFD"},
        // A bad second byte goes into the replacement of its lead.
        {"overlong three-byte", "\xE0\x80\xAF", u"\uFFFD\uFFFD"},
        {"overlong four-byte", "\xF0\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"bad second byte not a continuation", "\xE0\x41zz", u"\uFFFDAzz"},
        {"lead too near the end swallows the rest",
         "x\xF0"
         "A",
         u"x\uFFFD"},
        {"four-byte cut after three", "\xF0\x9F\x8E!", u"\uFFFD!"},
        {"invalid lead", "\xFFx", u"\uFFFDx"},
        {"latin-1 text", "caf\xE9", u"caf\uFFFD"},
    };
    for (const ConversionCase& c : cases) EXPECT_EQ(Utf8ToWide(c.utf8), W(c.utf16)) << c.name;
}

TEST(Utf8ToWide, StopsAtTheFirstZeroByte) {
    EXPECT_EQ(Utf8ToWide(std::string("ab\0cd", 5)), W(u"ab"));
    EXPECT_EQ(Utf8ToWide(std::string("\0x", 2)), W(u""));
    EXPECT_EQ(Utf8ToWide(""), W(u""));
}

TEST(WideToUtf8, ReplacesUnpairedSurrogates) {
    const ConversionCase cases[] = {
        {"lone high", "a\xEF\xBF\xBDz", u"a\xD800z"},
        {"lone low", "\xEF\xBF\xBD", u"\xDC00"},
        {"high at end", "x\xEF\xBF\xBD", u"x\xD83C"},
        {"reversed pair", "\xEF\xBF\xBD\xEF\xBF\xBD", u"\xDF2E\xD83C"},
    };
    for (const ConversionCase& c : cases) EXPECT_EQ(WideToUtf8(W(c.utf16)), c.utf8) << c.name;
}

TEST(WideToUtf8, ReadsAFixedArrayOnlyUpToItsTerminatorOrItsEnd) {
    WideChar terminated[8] = {'a', 'b', 0, 'c'};
    EXPECT_EQ(WideToUtf8(terminated), "ab");
    WideChar empty[4] = {0, 'x'};
    EXPECT_EQ(WideToUtf8(empty), "");
    WideChar full[3] = {'x', 'y', 'z'};  // no terminator inside the array
    EXPECT_EQ(WideToUtf8(full), "xyz");
}

}  // namespace
