// The wire's line format: fields and escapes, numbers, and cutting a byte
// stream into lines under a length limit.
#include "wireline.h"

#include <gtest/gtest.h>

namespace {

using Fields = std::vector<std::string>;

TEST(ReadFields, SplitsOnTabAndUnescapesEachField) {
    const std::pair<std::string, Fields> cases[] = {
        {"", {""}},
        {"LEAVE", {"LEAVE"}},
        {"JOIN\t7\t", {"JOIN", "7", ""}},
        {"\t\t", {"", "", ""}},
        {"a\\tb\tc", {"a\tb", "c"}},
        {"line\\nbreak\\r", {"line\nbreak\r"}},
        {"back\\\\slash", {"back\\slash"}},
        {"\\\\t", {"\\t"}},  // an escaped backslash, then a plain t
        {"ol\xC3\xA1|Ac\xCC\xA7\xC3\xA3o", {"ol\xC3\xA1|Ac\xCC\xA7\xC3\xA3o"}},
        {std::string("nul\0byte", 8), {std::string("nul\0byte", 8)}},
    };
    for (const auto& c : cases) {
        Fields fields;
        EXPECT_TRUE(ReadFields(c.first, fields)) << c.first;
        EXPECT_EQ(fields, c.second) << c.first;
    }
}

TEST(ReadFields, RefusesBadEscapes) {
    const std::string cases[] = {
        "trailing\\", "\\x", "a\\ b", "ok\tbad\\0", "\\T", "\\\\\\",
    };
    for (const std::string& line : cases) {
        Fields fields;
        EXPECT_FALSE(ReadFields(line, fields)) << line;
    }
}

// Text that is only shown keeps what strict reading refuses, and still
// reads the known escapes around it.
TEST(UnescapeFieldLeniently, KeepsUnknownEscapesAsTheyAre) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\\tb\\\\c", "a\tb\\c"}, {"trailing\\", "trailing\\"},
        {"\\x\\n", "\\x\n"},       {"\\T", "\\T"},
        {"\\\\\\", "\\\\"},
    };
    for (const auto& c : cases) EXPECT_EQ(UnescapeFieldLeniently(c.first), c.second) << c.first;
}

TEST(MakeLine, EscapesSoThatReadFieldsGivesTheSameFieldsBack) {
    const Fields cases[] = {
        {"TEXTMSG", "1", "2", "Ana", "3", "0", "a\tb\nc\r\\d|e", "0"},
        {""},
        {"", ""},
        {"\\t is not a tab", "\\\\", "\t\t", "\n"},
        {"Equipa Azul", "A\xC3\xA7\xC3\xA3o", "\xF0\x9F\x8E\xAE"},
    };
    for (const Fields& fields : cases) {
        const std::string line = MakeLine(fields);
        ASSERT_EQ(line.back(), '\n');
        const std::string body = line.substr(0, line.size() - 1);
        EXPECT_EQ(body.find('\n'), std::string::npos) << body;
        EXPECT_EQ(body.find('\r'), std::string::npos) << body;
        Fields back;
        EXPECT_TRUE(ReadFields(body, back)) << body;
        EXPECT_EQ(back, fields) << body;
    }
    EXPECT_EQ(MakeLine({"A", "x\ty", "back\\"}), "A\tx\\ty\tback\\\\\n");
}

TEST(ReadNumber, TakesSignedDecimalsWithinIntRange) {
    const std::pair<std::string, int> good[] = {
        {"0", 0},
        {"7", 7},
        {"-3", -3},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
    };
    for (const auto& c : good) {
        int value = 99;
        EXPECT_TRUE(ReadNumber(c.first, value)) << c.first;
        EXPECT_EQ(value, c.second) << c.first;
    }
    const std::string bad[] = {"",     "-",          "+1",          " 1",          "1 ", "1a",
                               "0x10", "2147483648", "-2147483649", "99999999999", "1.5"};
    for (const std::string& text : bad) {
        int value = 0;
        EXPECT_FALSE(ReadNumber(text, value)) << text;
    }
}

TEST(ReadFlag, TakesOnlyZeroOrOne) {
    bool value = false;
    EXPECT_TRUE(ReadFlag("1", value));
    EXPECT_TRUE(value);
    EXPECT_TRUE(ReadFlag("0", value));
    EXPECT_FALSE(value);
    for (const char* bad : {"", "2", "true", "01", " 1"}) EXPECT_FALSE(ReadFlag(bad, value)) << bad;
}

TEST(TakeLine, TakesTheFirstCompleteLineOnly) {
    const struct {
        std::string buffer;
        bool taken;
        std::string line;
        std::string rest;
    } cases[] = {
        {"", false, "", ""},
        {"OK\tpartial", false, "", "OK\tpartial"},
        {"OK\r\nERR\tx\n", true, "OK", "ERR\tx\n"},
        {"\nrest", true, "", "rest"},
        {"a\rb\n", true, "a\rb", ""},
    };
    for (const auto& c : cases) {
        std::string buffer = c.buffer;
        std::string line;
        EXPECT_EQ(TakeLine(buffer, line), c.taken) << c.buffer;
        EXPECT_EQ(line, c.line) << c.buffer;
        EXPECT_EQ(buffer, c.rest) << c.buffer;
    }
}

struct TakeCase {
    const char* name;
    std::string buffer;
    size_t limit;
    bool withinLimit;
    Fields lines;
    std::string rest;
};

TEST(TakeLines, CutsCompleteLinesAndKeepsThePartialRest) {
    const std::string atLimit(8, 'x');
    const std::string overLimit(9, 'x');
    const TakeCase cases[] = {
        {"empty", "", 8, true, {}, ""},
        {"partial only", "LEA", 8, true, {}, "LEA"},
        {"one line", "LEAVE\t1\n", 8, true, {"LEAVE\t1"}, ""},
        {"two and a rest", "a\nb\nc", 8, true, {"a", "b"}, "c"},
        {"CR before LF dropped", "a\r\nb\n", 8, true, {"a", "b"}, ""},
        {"lone CR kept", "a\rb\n", 8, true, {"a\rb"}, ""},
        {"empty lines", "\n\r\n", 8, true, {"", ""}, ""},
        {"line at the limit", atLimit + "\n", 8, true, {atLimit}, ""},
        {"line over the limit", overLimit + "\n", 8, false, {}, overLimit + "\n"},
        {"CR counts toward the limit", atLimit + "\r\n", 8, false, {}, atLimit + "\r\n"},
        {"lines before the long one are kept",
         "ok\n" + overLimit + "\nnext\n",
         8,
         false,
         {"ok"},
         overLimit + "\nnext\n"},
        {"partial rest at the limit", "a\n" + atLimit, 8, true, {"a"}, atLimit},
        {"partial rest over the limit", "a\n" + overLimit, 8, false, {"a"}, overLimit},
    };
    for (const TakeCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string buffer = c.buffer;
        Fields lines;
        EXPECT_EQ(TakeLines(buffer, c.limit, lines), c.withinLimit);
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(buffer, c.rest);
    }
}

TEST(TakeLines, ALineSplitAcrossReadsComesOutWhole) {
    const std::string stream = "MESSAGE\t4\t1\t2\t0\tol\xC3\xA1\t0\r\nLEAVE\t5\n";
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        std::string buffer = stream.substr(0, cut);
        Fields lines;
        ASSERT_TRUE(TakeLines(buffer, 64, lines));
        buffer += stream.substr(cut);
        ASSERT_TRUE(TakeLines(buffer, 64, lines));
        EXPECT_EQ(lines, (Fields{"MESSAGE\t4\t1\t2\t0\tol\xC3\xA1\t0", "LEAVE\t5"})) << cut;
        EXPECT_EQ(buffer, "");
    }
}

}  // namespace
