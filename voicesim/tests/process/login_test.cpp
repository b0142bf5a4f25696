// Logging in: the sequence a newcomer receives, how the others learn of
// it, user IDs, and the requests refused around a login.
#include <set>

#include "sim_fixture.h"

namespace {

class LoginTest : public SimTest {};

std::string Id(const WireClient& client) { return std::to_string(client.userId); }

TEST_F(LoginTest, NewcomerGetsItsIdThenChannelsParentsFirstThenEveryUserItselfIncluded) {
    WireClient bia = LoggedIn("Bia", "bia");
    // Made in an order where IDs do not follow the tree.
    const Line setup[] = {
        {"channel", "add", "8", "1", "Sala de espera"},
        {"channel", "add", "3", "8", "Equipa Azul", "azul"},
        {"channel", "add", "5", "1", "A\xC3\xA7\xC3\xA3o"},
        {"channel", "add", "2", "3", "Sub"},
        {"bot", "add", "40", "Eco", "3", "echo"},
    };
    for (const Line& command : setup) ASSERT_EQ(Control(command), Line{"OK"});
    WireSend(bia, {"JOIN", "2", "5", ""});
    ASSERT_TRUE(SkipUntil(bia, {"USER_JOINED", Id(bia), "5", "Bia", "bia"}));

    WireClient ana = LoggedIn("Ana \xF0\x9F\x8E\xAE", "ana|x");
    EXPECT_EQ(ana.userId, 41) << "above every ID in use";
    const std::vector<Line> expected = {
        {"CHANNEL_NEW", "0", "1", "", "0"},
        {"CHANNEL_NEW", "1", "5", "A\xC3\xA7\xC3\xA3o", "0"},
        {"CHANNEL_NEW", "1", "8", "Sala de espera", "0"},
        {"CHANNEL_NEW", "8", "3", "Equipa Azul", "1"},
        {"CHANNEL_NEW", "3", "2", "Sub", "0"},
        {"USER_LOGGEDIN", Id(bia), "5", "Bia", "bia"},
        {"USER_LOGGEDIN", "40", "3", "Eco", ""},
        {"USER_LOGGEDIN", "41", "0", "Ana \xF0\x9F\x8E\xAE", "ana|x"},
    };
    EXPECT_EQ(ana.loginLines, expected) << Show(ana.loginLines);
    const std::vector<Line> toBia = UntilMark(bia);
    EXPECT_EQ(toBia,
              (std::vector<Line>{{"USER_LOGGEDIN", "41", "0", "Ana \xF0\x9F\x8E\xAE", "ana|x"}}))
        << Show(toBia);
}

TEST_F(LoginTest, UserIdsGrowAndAreNeverReused) {
    WireClient first = LoggedIn("Ana");
    WireClient second = LoggedIn("Bia");
    EXPECT_GT(second.userId, first.userId);
    ASSERT_EQ(Control({"client", "drop", Id(second)}), Line{"OK"});
    WireClient third = LoggedIn("Caio");
    EXPECT_GT(third.userId, second.userId);
    ASSERT_EQ(Control({"bot", "add", "100", "Bot"}), Line{"OK"});
    ASSERT_EQ(Control({"bot", "remove", "100"}), Line{"OK"});
    WireClient fourth = LoggedIn("Duda");
    EXPECT_EQ(fourth.userId, 101);
}

TEST_F(LoginTest, RequestsBeforeLoginGetNotLoggedIn) {
    WireClient client = Greeted();
    const Line requests[] = {
        {"JOIN", "7", "1", ""},
        {"LEAVE", "8"},
        {"MESSAGE", "9", "1", "1", "0", "oi", "0"},
        {"JOIN", "10"},  // not logged in comes before missing fields
    };
    for (const Line& request : requests) {
        WireSend(client, request);
        EXPECT_EQ(WireNextLine(client), (Line{"ERROR", request[1], "1002", "Not logged in"}))
            << request[0];
    }
    EXPECT_EQ(Control({"query", "users"}), Line{"OK"});
}

TEST_F(LoginTest, RefusedLoginsGetAReadableErrorAndMayRetryLater) {
    WireClient bia = LoggedIn("Bia");
    ASSERT_EQ(Control({"switch", "refuse-logins", "1", "Servidor cheio"}), Line{"OK"});
    WireClient ana = Greeted();
    WireSend(ana, {"LOGIN", "3", "Ana", "", ""});
    EXPECT_EQ(WireNextLine(ana), (Line{"ERROR", "3", "2001", "Servidor cheio"}));
    EXPECT_EQ(UntilMark(bia), std::vector<Line>{});

    ASSERT_EQ(Control({"switch", "refuse-logins", "0"}), Line{"OK"});
    WireSend(ana, {"LOGIN", "4", "Ana", "", ""});
    const std::optional<Line> loggedIn = WireNextLine(ana);
    ASSERT_TRUE(loggedIn.has_value());
    EXPECT_EQ((*loggedIn)[0], "LOGGEDIN");
}

TEST_F(LoginTest, AnAccountsUserNameNeedsItsPasswordAndAnyOtherIsAGuests) {
    ASSERT_EQ(Control({"account", "add", "ana", "segredo\tana"}), Line{"OK"});
    WireClient ana = Greeted();
    WireSend(ana, {"LOGIN", "2", "Ana", "ana", "secret"});
    EXPECT_EQ(WireNextLine(ana), (Line{"ERROR", "2", "2002", "Wrong password for account ana"}));
    WireSend(ana, {"LOGIN", "3", "Ana", "ana", "segredo\tana"});
    EXPECT_EQ(WireNextLine(ana), (Line{"LOGGEDIN", "1"}));
    LoggedIn("Guest", "Ana");  // with "secret": a name that is no account's is a guest's
}

TEST_F(LoginTest, MalformedRequestsAreAnsweredAndTheLinkGoesOn) {
    WireClient ana = LoggedIn("Ana");
    const struct {
        std::string raw;
        Line expected;
    } cases[] = {
        {"LOGIN\t2\tAna\t\t\n", {"ERROR", "2", "1003", "Already logged in"}},
        {"LOGIN\t3\tAna\n",
         {"ERROR", "3", "1000",
          "Missing fields, expected LOGIN <cmdId> <nickname> <username> <password>"}},
        {"JOIN\tx\t1\t\n",
         {"ERROR", "0", "1000",
          "JOIN needs a positive command ID: JOIN <cmdId> <channelId> <password>"}},
        {"LEAVE\t0\n", {"ERROR", "0", "1000", "LEAVE needs a positive command ID: LEAVE <cmdId>"}},
        {"JOIN\t4\tone\t\n", {"ERROR", "4", "1000", "Bad channel ID: one"}},
        {"PING\t5\n", {"ERROR", "5", "1001", "Unknown request PING"}},
        {"PING\n", {"ERROR", "0", "1001", "Unknown request PING"}},
        {"\n", {"ERROR", "0", "1001", "Unknown request "}},
        {"LEAVE\t6\\x\n", {"ERROR", "0", "1000", "Bad escape sequence in request"}},
        {"HELLO\t1\t1\t0\n", {"ERROR", "0", "1000", "HELLO was already answered"}},
    };
    for (const auto& c : cases) {
        WireSendRaw(ana, c.raw);
        EXPECT_EQ(WireNextLine(ana), c.expected) << c.raw;
    }
    WireSend(ana, {"JOIN", "7", "1", ""});
    EXPECT_EQ(WireNextLine(ana), (Line{"USER_JOINED", Id(ana), "1", "Ana", ""}));
}

std::string Repeat(const std::string& text, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) out += text;
    return out;
}

// Requests of the longest line a client may send, whose errors quote them:
// the error must still be a line the client can read, or the client would
// end the link.
TEST_F(LoginTest, AnErrorQuotingALongRequestIsCutToFitOneLine) {
    WireClient ana = LoggedIn("Ana");
    const struct {
        const char* name;
        std::string raw;  // 65536 bytes, the most a line may hold
        Line head;
        std::string text;  // what the error would say if nothing were cut
    } cases[] = {
        {"unknown name",
         std::string(65536, 'P'),
         {"ERROR", "0", "1001"},
         "Unknown request " + std::string(65536, 'P')},
        {"bad channel ID",
         "JOIN\t4\t" + std::string(65528, '7') + "\t",
         {"ERROR", "4", "1000"},
         "Bad channel ID: " + std::string(65528, '7')},
        {"escaped TABs, twice as long again",
         "JOIN\t5\t" + Repeat("\\t", 32764) + "\t",
         {"ERROR", "5", "1000"},
         "Bad channel ID: " + std::string(32764, '\t')},
        {"two-byte characters",
         Repeat("\xC3\xA7", 32768),
         {"ERROR", "0", "1001"},
         "Unknown request " + Repeat("\xC3\xA7", 32768)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.raw.size(), 65536u);
        WireSendRaw(ana, c.raw + "\n");
        const std::optional<std::string> raw = WireNextRawLine(ana);
        ASSERT_TRUE(raw.has_value());
        EXPECT_LE(raw->size(), 65536u);
        const Line fields = ParseLine(*raw);
        ASSERT_EQ(fields.size(), 4u) << raw->substr(0, 80);
        EXPECT_EQ(Line(fields.begin(), fields.begin() + 3), c.head);
        const std::string& text = fields[3];
        ASSERT_GE(text.size(), 3u);
        EXPECT_EQ(text.substr(text.size() - 3), "...");
        // A whole-character prefix of the full text, quoting most of it.
        const std::string kept = text.substr(0, text.size() - 3);
        EXPECT_GT(kept.size(), 30000u);
        EXPECT_EQ(c.text.compare(0, kept.size(), kept), 0);
        EXPECT_NE(static_cast<unsigned char>(c.text[kept.size()]) & 0xC0, 0x80);
    }
    WireSend(ana, {"JOIN", "7", "1", ""});
    EXPECT_EQ(WireNextLine(ana), (Line{"USER_JOINED", Id(ana), "1", "Ana", ""}));
}

TEST_F(LoginTest, ManyClientsLoggingInAtOnceAllEndUpKnowingEachOther) {
    constexpr int kClients = 40;
    std::vector<WireClient> clients(kClients);
    // Everything is sent before anything is read, so the logins interleave.
    for (int i = 0; i < kClients; ++i) {
        ASSERT_TRUE(WireConnect(clients[i], port));
        WireSendRaw(clients[i], "HELLO\t1\t10333\t0\nLOGIN\t1\tC" + std::to_string(i) + "\t\t\n");
    }
    std::set<int> ids;
    for (WireClient& client : clients) {
        ASSERT_EQ(WireNextLine(client), (Line{"WELCOME", "1"}));
        const std::optional<Line> loggedIn = WireNextLine(client);
        ASSERT_TRUE(loggedIn && (*loggedIn)[0] == "LOGGEDIN");
        client.userId = std::atoi((*loggedIn)[1].c_str());
        ids.insert(client.userId);
    }
    ASSERT_EQ(ids.size(), static_cast<size_t>(kClients));
    for (WireClient& client : clients) {
        // Each one exactly once: in the login sequence or announced later.
        std::multiset<int> known;
        for (const Line& line : UntilMark(client))
            if (line[0] == "USER_LOGGEDIN") known.insert(std::atoi(line[1].c_str()));
        EXPECT_EQ(known, std::multiset<int>(ids.begin(), ids.end())) << "client " << client.userId;
    }
}

}  // namespace
