// The UTF-8/UTF-16 converters. The same vectors run on Linux (our own
// codec) and on Windows (the system converters, under Wine). Both are held
// to one behaviour for valid text; for ill-formed UTF-8 only our decoder is
// pinned exactly, the system's only to what any conforming converter does.
#include <gtest/gtest.h>

#include <type_traits>

#include "session/library_text.h"
#include "wide.h"

namespace {

// Only the POSIX build, whose wide text is char16_t, decodes with the
// bridge's own code; the Windows build hands UTF-8 to the system.
constexpr bool kOwnUtf8Decoder = std::is_same_v<WideChar, char16_t>;

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

// Ill-formed UTF-8 as Unicode's recommended practice replaces it: one U+FFFD
// for each maximal subpart, no valid byte lost.
const ConversionCase kIllFormed[] = {
    {"the standard's example", "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
     u"a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd"},
    {"lone continuation", "a\x80z", u"a\uFFFDz"},
    {"two continuations", "\x80\x80", u"\uFFFD\uFFFD"},
    {"truncated three-byte", "\xE2\x82z", u"\uFFFDz"},
    {"truncated at end", "ab\xE2\x82", u"ab\uFFFD"},
    {"overlong two-byte", "\xC0\xAF", u"\uFFFD\uFFFD"},
    {"overlong three-byte", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
    {"overlong four-byte", "\xF0\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
    {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"second byte not a continuation", "\xE0\x41zz", u"\uFFFDAzz"},
    {"lead cut by an ascii byte", "x\xF0\x41", u"x\uFFFDA"},
    {"four-byte cut after three", "\xF0\x9F\x8E!", u"\uFFFD!"},
    {"invalid lead", "\xFFx", u"\uFFFDx"},
    {"latin-1 text", "caf\xE9", u"caf\uFFFD"},
};

TEST(Utf8ToWide, ReplacesEachMaximalSubpartWithOneReplacementCharacter) {
    if (!kOwnUtf8Decoder) GTEST_SKIP() << "the system's converter decides";
    for (const ConversionCase& c : kIllFormed) EXPECT_EQ(Utf8ToWide(c.utf8), W(c.utf16)) << c.name;
}

TEST(Utf8ToWide, ReplacesIllFormedInputAndKeepsTheTextBeforeIt) {
    for (const ConversionCase& c : kIllFormed) {
        const WideString wide = Utf8ToWide(c.utf8);
        const std::u16string before = c.utf16.substr(0, c.utf16.find(u'\uFFFD'));
        EXPECT_NE(wide.find(0xFFFD), WideString::npos) << c.name;
        // An unpaired surrogate would come back as U+FFFD.
        EXPECT_EQ(Utf8ToWide(WideToUtf8(wide)), wide) << c.name;
        EXPECT_EQ(wide.substr(0, before.size()), W(before)) << c.name;
    }
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
