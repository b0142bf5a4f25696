// Joining and leaving channels: everyone sees a move as a leave of the old
// channel followed by a join of the new one; refusals reach the requester
// alone and change nothing.
#include "sim_fixture.h"

namespace {

class JoinTest : public SimTest {
protected:
    WireClient ana;
    WireClient bia;

    void SetUp() override {
        SimTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(Control({"channel", "add", "2", "1", "Sala de espera"}), Line{"OK"});
        ASSERT_EQ(Control({"channel", "add", "3", "2", "Equipa Azul", "azul\t\xC3\xA7"}),
                  Line{"OK"});
        ana = LoggedIn("Ana", "ana");
        bia = LoggedIn("Bia");
        UntilMark(ana);
    }

    std::string AnaId() const { return std::to_string(ana.userId); }
};

TEST_F(JoinTest, EveryoneSeesLeaveThenJoin) {
    const struct {
        Line request;
        std::vector<Line> seen;
    } steps[] = {
        {{"JOIN", "2", "2", "whatever"}, {{"USER_JOINED", AnaId(), "2", "Ana", "ana"}}},
        {{"JOIN", "3", "3", "azul\t\xC3\xA7"},
         {{"USER_LEFT", AnaId(), "2", "Ana", "ana"}, {"USER_JOINED", AnaId(), "3", "Ana", "ana"}}},
        // Already there: a confirmation, no leave, no password needed.
        {{"JOIN", "4", "3", ""}, {{"USER_JOINED", AnaId(), "3", "Ana", "ana"}}},
        {{"JOIN", "5", "1", ""},
         {{"USER_LEFT", AnaId(), "3", "Ana", "ana"}, {"USER_JOINED", AnaId(), "1", "Ana", "ana"}}},
        {{"LEAVE", "6"}, {{"USER_LEFT", AnaId(), "1", "Ana", "ana"}}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.request[0] + " " + step.request[1]);
        WireSend(ana, step.request);
        for (const Line& line : step.seen) EXPECT_EQ(WireNextLine(ana), line);
        EXPECT_EQ(UntilMark(ana), std::vector<Line>{});
        EXPECT_EQ(UntilMark(bia), step.seen);
    }
}

TEST_F(JoinTest, RefusalsGoToTheRequesterAloneAndChangeNothing) {
    WireSend(ana, {"JOIN", "2", "2", ""});
    ASSERT_EQ(WireNextLine(ana), (Line{"USER_JOINED", AnaId(), "2", "Ana", "ana"}));
    UntilMark(bia);
    const struct {
        Line request;
        Line error;
    } cases[] = {
        {{"JOIN", "10", "99", ""}, {"ERROR", "10", "3001", "Channel 99 does not exist"}},
        {{"JOIN", "11", "0", ""}, {"ERROR", "11", "3001", "Channel 0 does not exist"}},
        {{"JOIN", "12", "3", "Azul"}, {"ERROR", "12", "3002", "Wrong password for channel 3"}},
        {{"JOIN", "13", "3", ""}, {"ERROR", "13", "3002", "Wrong password for channel 3"}},
        {{"JOIN", "14", "3", "azul\t\xC3\xA7 "},
         {"ERROR", "14", "3002", "Wrong password for channel 3"}},
    };
    for (const auto& c : cases) {
        WireSend(ana, c.request);
        EXPECT_EQ(WireNextLine(ana), c.error);
    }
    EXPECT_EQ(UntilMark(ana), std::vector<Line>{});
    EXPECT_EQ(UntilMark(bia), std::vector<Line>{});
    const Line users = Control({"query", "users"});
    EXPECT_EQ(users, (Line{"OK", AnaId(), "Ana", "ana", "2", "client", std::to_string(bia.userId),
                           "Bia", "", "0", "client"}));
}

TEST_F(JoinTest, LeavingWhenInNoChannelIsAnError) {
    WireSend(ana, {"LEAVE", "20"});
    EXPECT_EQ(WireNextLine(ana), (Line{"ERROR", "20", "3003", "You are not in a channel"}));
    EXPECT_EQ(UntilMark(bia), std::vector<Line>{});
}

}  // namespace
