// Reading BridgeConfig from the positional arguments.
#include "core/command_line.h"

#include <gtest/gtest.h>

#include "wide.h"

namespace {

std::vector<WideString> Args(std::initializer_list<std::u16string> args) {
    std::vector<WideString> out{W(u"voicebridge.exe")};
    for (const auto& a : args) out.push_back(W(a));
    return out;
}

void ExpectConfig(const BridgeConfig& c, const std::string& host, int32_t tcp, int32_t udp,
                  bool encrypted, const std::string& nick) {
    EXPECT_EQ(c.host, host);
    EXPECT_EQ(c.tcpPort, tcp);
    EXPECT_EQ(c.udpPort, udp);
    EXPECT_EQ(c.encrypted, encrypted);
    EXPECT_EQ(c.nickname, nick);
}

TEST(ParseCommandLine, MissingArgumentsKeepTheirDefaults) {
    ExpectConfig(ParseCommandLine({}), kDefaultHost, kDefaultPort, kDefaultPort, kDefaultEncrypted,
                 kDefaultNickname);
    ExpectConfig(ParseCommandLine(Args({})), kDefaultHost, kDefaultPort, kDefaultPort,
                 kDefaultEncrypted, kDefaultNickname);
    ExpectConfig(ParseCommandLine(Args({u"voz.example", u"9000"})), "voz.example", 9000,
                 kDefaultPort, kDefaultEncrypted, kDefaultNickname);
}

TEST(ParseCommandLine, AllSixArgumentsAndNoMore) {
    const BridgeConfig config =
        ParseCommandLine(Args({u"h", u"1", u"2", u"true", u"Z\u00E9", u"cont\u00E1", u"x"}));
    ExpectConfig(config, "h", 1, 2, true, "Z\xC3\xA9");
    EXPECT_EQ(config.username, "cont\xC3\xA1");
}

TEST(ParseCommandLine, EmptyArgumentsCountAsPresent) {
    ExpectConfig(ParseCommandLine(Args({u"", u"", u"", u"", u""})), "", 0, 0, false, "");
}

TEST(ParseCommandLine, PortsParseLikeStrtol) {
    const std::pair<std::u16string, int32_t> cases[] = {
        {u"abc", 0},   {u" 10334", 10334},           {u"-1", -1},    {u"70000", 70000},
        {u"12ab", 12}, {u"99999999999", 2147483647}, {u"\uFF11", 0},  // fullwidth digit
    };
    for (const auto& c : cases) {
        BridgeConfig config = ParseCommandLine(Args({u"h", c.first, c.first}));
        EXPECT_EQ(config.tcpPort, c.second);
        EXPECT_EQ(config.udpPort, c.second);
    }
}

TEST(ParseEncryptedFlag, TrueInAnyCaseOrTheDigitOne) {
    const std::pair<std::u16string, bool> cases[] = {
        {u"true", true},   {u"TRUE", true},       {u"TrUe", true},       {u"1", true},
        {u"yes", false},   {u"0", false},         {u"2", false},         {u"", false},
        {u" true", false}, {u"true ", false},     {u"1 ", false},        {u"01", false},
        {u"truee", false}, {u"tru\u0113", false}, {u"\u0130rue", false},  // only ASCII letters fold
    };
    for (const auto& c : cases) EXPECT_EQ(ParseEncryptedFlag(W(c.first)), c.second);
}

TEST(ParseCommandLine, LongTextArgumentsAreCutAtAWholeCharacter) {
    // 1,022 ASCII bytes and a 2-byte character: 1,024 bytes do not fit.
    std::u16string host(1022, u'a');
    host += u"\u00E9";
    BridgeConfig config = ParseCommandLine(Args({host}));
    EXPECT_EQ(config.host, std::string(1022, 'a'));

    std::u16string nick(1021, u'b');
    nick += u"\u00E9";  // exactly 1,023 bytes: fits whole
    config = ParseCommandLine(Args({u"h", u"1", u"1", u"0", nick}));
    EXPECT_EQ(config.nickname, std::string(1021, 'b') + "\xC3\xA9");

    std::u16string emoji;
    for (int i = 0; i < 300; ++i) emoji += u"\U0001F3AE";  // 1,200 bytes
    config = ParseCommandLine(Args({emoji}));
    EXPECT_EQ(config.host.size(), 1020u);
}

TEST(ParseCommandLine, UnpairedSurrogatesBecomeReplacementCharacters) {
    BridgeConfig config = ParseCommandLine(Args({u"h", u"1", u"1", u"0", u"a\xD800z"}));
    EXPECT_EQ(config.nickname, "a\xEF\xBF\xBDz");
}

}  // namespace
