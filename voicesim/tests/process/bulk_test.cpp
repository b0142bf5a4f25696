// Bulk commands: many bots or channels made at once and announced as one
// burst, in ID order, or nothing made at all when any part is refused.
#include "sim_fixture.h"

namespace {

class BulkTest : public SimTest {};

TEST_F(BulkTest, ChannelsThenBotsArriveInIdOrder) {
    WireClient ana = LoggedIn("Ana");
    ASSERT_EQ(Control({"bulk", "channels", "200", "10", "1", "Canal "}), (Line{"OK", "200"}));
    std::vector<Line> expected;
    for (int id = 10; id < 210; ++id)
        expected.push_back(
            {"CHANNEL_NEW", "1", std::to_string(id), "Canal " + std::to_string(id), "0"});
    EXPECT_EQ(UntilMark(ana), expected);

    ASSERT_EQ(Control({"bulk", "bots", "300", "1000", "Bot", "10"}), (Line{"OK", "300"}));
    expected.clear();
    for (int id = 1000; id < 1300; ++id) {
        const std::string nick = "Bot" + std::to_string(id);
        expected.push_back({"USER_LOGGEDIN", std::to_string(id), "10", nick, ""});
        expected.push_back({"USER_JOINED", std::to_string(id), "10", nick, ""});
    }
    EXPECT_EQ(UntilMark(ana), expected);

    ASSERT_EQ(Control({"bulk", "bots", "5", "2000", "Solto"}), (Line{"OK", "5"}));
    EXPECT_EQ(UntilMark(ana).size(), 5u) << "no joins for bots in no channel";

    // A newcomer is told of all of them in its login sequence.
    WireClient bia = LoggedIn("Bia");
    EXPECT_EQ(bia.userId, 2005);
    EXPECT_EQ(bia.loginLines.size(), 1u + 200 + 300 + 5 + 2);
}

TEST_F(BulkTest, ARefusedBurstMakesNothing) {
    ASSERT_EQ(Control({"channel", "add", "15", "1", "Ocupado"}), Line{"OK"});
    ASSERT_EQ(Control({"bot", "add", "1003", "Ocupado"}), Line{"OK"});
    WireClient ana = LoggedIn("Ana");
    const Line channelsBefore = Control({"query", "channels"});
    const Line usersBefore = Control({"query", "users"});
    EXPECT_EQ(Control({"bulk", "channels", "10", "10", "1", "C"}),
              (Line{"ERR", "channel 15 already exists"}));
    EXPECT_EQ(Control({"bulk", "bots", "10", "1000", "B"}),
              (Line{"ERR", "user 1003 already exists"}));
    EXPECT_EQ(Control({"bulk", "bots", "2", "1", "B", "99"}),
              (Line{"ERR", "channel 99 does not exist"}));
    EXPECT_EQ(Control({"bulk", "bots", "200000", "1", "B"}),
              (Line{"ERR", "count must lie between 1 and 100000"}));
    EXPECT_EQ(Control({"query", "channels"}), channelsBefore);
    EXPECT_EQ(Control({"query", "users"}), usersBefore);
    EXPECT_EQ(UntilMark(ana), std::vector<Line>{});
}

}  // namespace
