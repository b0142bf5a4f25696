// Channel changes made through the control port reach every logged-in
// client as CHANNEL_* events, and users inside a removed channel are moved
// out before it goes.
#include "sim_fixture.h"

namespace {

class ControlChannelTest : public SimTest {};

TEST_F(ControlChannelTest, EveryClientSeesEachChange) {
    WireClient ana = LoggedIn("Ana");
    WireClient bia = LoggedIn("Bia");
    UntilMark(ana);
    const struct {
        Line command;
        std::vector<Line> seen;
    } steps[] = {
        {{"channel", "add", "2", "1", "Sala de espera"},
         {{"CHANNEL_NEW", "1", "2", "Sala de espera", "0"}}},
        {{"channel", "add", "3", "2", "Equipa\tAzul", "pw"},
         {{"CHANNEL_NEW", "2", "3", "Equipa\tAzul", "1"}}},
        {{"channel", "rename", "3", "A\xC3\xA7\xC3\xA3o|1"},
         {{"CHANNEL_UPDATE", "2", "3", "A\xC3\xA7\xC3\xA3o|1", "1"}}},
        {{"channel", "move", "3", "1"},
         {{"CHANNEL_UPDATE", "1", "3", "A\xC3\xA7\xC3\xA3o|1", "1"}}},
        {{"channel", "password", "3"}, {{"CHANNEL_UPDATE", "1", "3", "A\xC3\xA7\xC3\xA3o|1", "0"}}},
        {{"channel", "password", "2", "novo"},
         {{"CHANNEL_UPDATE", "1", "2", "Sala de espera", "1"}}},
        {{"channel", "remove", "3"}, {{"CHANNEL_REMOVE", "1", "3", "A\xC3\xA7\xC3\xA3o|1", "0"}}},
        // Refused: nobody hears of it.
        {{"channel", "add", "2", "1", "Twice"}, {}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.command[1] + " " + step.command[2]);
        Control(step.command);
        EXPECT_EQ(UntilMark(ana), step.seen);
        EXPECT_EQ(UntilMark(bia), step.seen);
    }
}

TEST_F(ControlChannelTest, RemovingAChannelMovesItsUsersOutFirstAndRemovesChildrenFirst) {
    const Line setup[] = {
        {"channel", "add", "2", "1", "Sala"},   {"channel", "add", "3", "2", "Sub"},
        {"channel", "add", "4", "3", "SubSub"}, {"channel", "add", "5", "1", "Outra"},
        {"bot", "add", "30", "Robo", "2"},      {"bot", "add", "31", "Fora", "5"},
    };
    for (const Line& command : setup) ASSERT_EQ(Control(command), Line{"OK"});
    WireClient ana = LoggedIn("Ana");
    WireClient bia = LoggedIn("Bia");
    WireSend(ana, {"JOIN", "2", "4", ""});
    ASSERT_TRUE(SkipUntil(ana, {"USER_JOINED", std::to_string(ana.userId), "4", "Ana", ""}));
    UntilMark(bia);

    ASSERT_EQ(Control({"channel", "remove", "2"}), Line{"OK"});
    const std::vector<Line> expected = {
        {"USER_LEFT", "30", "2", "Robo", ""},
        {"USER_LEFT", std::to_string(ana.userId), "4", "Ana", ""},
        {"CHANNEL_REMOVE", "3", "4", "SubSub", "0"},
        {"CHANNEL_REMOVE", "2", "3", "Sub", "0"},
        {"CHANNEL_REMOVE", "1", "2", "Sala", "0"},
    };
    EXPECT_EQ(UntilMark(ana), expected);
    EXPECT_EQ(UntilMark(bia), expected);
    EXPECT_EQ(Control({"query", "users"}), (Line{"OK",
                                                 "30",
                                                 "Robo",
                                                 "",
                                                 "0",
                                                 "bot",
                                                 "31",
                                                 "Fora",
                                                 "",
                                                 "5",
                                                 "bot",
                                                 std::to_string(ana.userId),
                                                 "Ana",
                                                 "",
                                                 "0",
                                                 "client",
                                                 std::to_string(bia.userId),
                                                 "Bia",
                                                 "",
                                                 "0",
                                                 "client"}));
    WireSend(ana, {"JOIN", "3", "4", ""});
    EXPECT_EQ(WireNextLine(ana), (Line{"ERROR", "3", "3001", "Channel 4 does not exist"}));
}

TEST_F(ControlChannelTest, BotMovesAreSeenLikeAnyUsers) {
    ASSERT_EQ(Control({"channel", "add", "2", "1", "Sala"}), Line{"OK"});
    WireClient ana = LoggedIn("Ana");
    const struct {
        Line command;
        std::vector<Line> seen;
    } steps[] = {
        {{"bot", "add", "30", "Robo", "2"},
         {{"USER_LOGGEDIN", "30", "2", "Robo", ""}, {"USER_JOINED", "30", "2", "Robo", ""}}},
        {{"bot", "join", "30", "1"},
         {{"USER_LEFT", "30", "2", "Robo", ""}, {"USER_JOINED", "30", "1", "Robo", ""}}},
        {{"bot", "join", "30", "0"}, {{"USER_LEFT", "30", "1", "Robo", ""}}},
        {{"bot", "add", "31", "Solto"}, {{"USER_LOGGEDIN", "31", "0", "Solto", ""}}},
        {{"bot", "join", "31", "2"}, {{"USER_JOINED", "31", "2", "Solto", ""}}},
        {{"bot", "remove", "31"}, {{"USER_LOGGEDOUT", "31", "2", "Solto", ""}}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.command[1]);
        ASSERT_EQ(Control(step.command), Line{"OK"});
        EXPECT_EQ(UntilMark(ana), step.seen);
    }
}

}  // namespace
