// The control command table without sockets: argument checks, refusals that
// leave the state as it was, and the state the accepted commands make, as
// the query commands report it.
#include <gtest/gtest.h>

#include "channels.h"
#include "control_commands.h"
#include "sim_state.h"

namespace {

using Fields = std::vector<std::string>;

class ControlTable : public ::testing::Test {
protected:
    void SetUp() override {
        gConnections.clear();
        gUsers.clear();
        gAccounts.clear();
        gSwitches = SimSwitches{};
        ResetChannels();
    }
    Fields Run(const Fields& command) { return RunControlCommand(command); }
};

struct Refusal {
    Fields command;
    const char* reasonPart;
};

TEST_F(ControlTable, RefusesMalformedCommandsAndChangesNothing) {
    ASSERT_EQ(Run({"channel", "add", "2", "1", "Sala de espera", "pw"}), Fields{"OK"});
    ASSERT_EQ(Run({"channel", "add", "3", "2", "Equipa Azul"}), Fields{"OK"});
    ASSERT_EQ(Run({"bot", "add", "40", "Eco", "2", "echo"}), Fields{"OK"});
    const Fields channelsBefore = Run({"query", "channels"});
    const Fields usersBefore = Run({"query", "users"});
    const Refusal cases[] = {
        {{""}, "empty command"},
        {{"frob"}, "unknown command frob"},
        {{"channel"}, "channel takes: add, rename, move, password, remove"},
        {{"channel", "paint", "2"}, "unknown command channel paint"},
        {{"channel", "add", "5", "1"}, "usage: channel add <id> <parentId> <name> [password]"},
        {{"channel", "add", "5", "1", "a", "b", "c"}, "usage: channel add"},
        {{"channel", "add", "x", "1", "Sala"}, "not a number: x"},
        {{"channel", "add", "5", "1x", "Sala"}, "not a number: 1x"},
        {{"channel", "add", "1", "1", "Raiz"}, "between 2 and"},
        {{"channel", "add", "0", "1", "Zero"}, "between 2 and"},
        {{"channel", "add", "2", "1", "Again"}, "channel 2 already exists"},
        {{"channel", "add", "5", "9", "Orphan"}, "parent channel 9 does not exist"},
        {{"channel", "add", "5", "1", ""}, "needs a name"},
        {{"channel", "rename", "1", "Root"}, "root channel cannot be changed"},
        {{"channel", "rename", "9", "Nine"}, "channel 9 does not exist"},
        {{"channel", "rename", "2", ""}, "needs a name"},
        {{"channel", "move", "2", "3"}, "channel 3 lies within channel 2"},
        {{"channel", "move", "2", "2"}, "channel 2 lies within channel 2"},
        {{"channel", "move", "1", "2"}, "root channel cannot be changed"},
        {{"channel", "move", "3", "9"}, "parent channel 9 does not exist"},
        {{"channel", "password", "1", "x"}, "root channel cannot be changed"},
        {{"channel", "remove", "1"}, "root channel cannot be changed"},
        {{"channel", "remove", "9"}, "channel 9 does not exist"},
        {{"bot", "add", "40", "Twin"}, "user 40 already exists"},
        {{"bot", "add", "0", "Zero"}, "between 1 and"},
        {{"bot", "add", "41", "Lost", "9"}, "channel 9 does not exist"},
        {{"bot", "add", "41", "Odd", "0", "shout"}, "none, echo or reply, not shout"},
        {{"bot", "add", "41", "Mute", "0", "reply"}, "reply needs a reply text"},
        {{"bot", "remove", "41"}, "user 41 does not exist"},
        {{"bot", "say", "41", "40", "hi"}, "user 41 does not exist"},
        {{"bot", "say", "40", "40", "hi"}, "user 40 is a bot, not a client"},
        {{"bot", "join", "40", "9"}, "channel 9 does not exist"},
        {{"bulk", "bots", "0", "100", "B"}, "count must lie between 1 and"},
        {{"bulk", "bots", "3", "39", "B"}, "user 40 already exists"},
        {{"bulk", "channels", "3", "1", "1", "C"}, "between 2 and"},
        {{"bulk", "channels", "3", "2", "1", "C"}, "channel 2 already exists"},
        {{"bulk", "channels", "2", "10", "9", "C"}, "parent channel 9 does not exist"},
        {{"account", "add", "", "pw"}, "an account needs a user name"},
        {{"account", "add", "ana"}, "usage: account add <user name> <password>"},
        {{"client", "drop", "40"}, "user 40 is a bot, not a client"},
        {{"client", "raw", "77", "x"}, "user 77 does not exist"},
        {{"client", "error", "77", "x", "y"}, "not a number: y"},
        {{"switch", "refuse-logins", "yes"}, "expected 0 or 1, not yes"},
        {{"switch", "require-encryption", "1", "why"}, "usage: switch require-encryption <0|1>"},
        {{"query", "client", "40"}, "user 40 is a bot, not a client"},
        {{"query", "requests", "-1"}, "must not be negative"},
        {{"query", "nothing"}, "unknown command query nothing"},
        {{"quit", "now"}, "usage: quit"},
    };
    for (const Refusal& c : cases) {
        const Fields reply = Run(c.command);
        ASSERT_EQ(reply.size(), 2u) << c.reasonPart;
        EXPECT_EQ(reply[0], "ERR") << c.reasonPart;
        EXPECT_NE(reply[1].find(c.reasonPart), std::string::npos) << reply[1];
    }
    EXPECT_EQ(Run({"query", "channels"}), channelsBefore);
    EXPECT_EQ(Run({"query", "users"}), usersBefore);
    EXPECT_FALSE(gSwitches.quitRequested);
}

TEST_F(ControlTable, ListsChannelsParentsFirstWhateverTheOrderTheyWereMade) {
    const Fields commands[] = {
        {"channel", "add", "9", "1", "Nove"},        {"channel", "add", "4", "9", "Quatro", "pw"},
        {"channel", "add", "2", "1", "Dois"},        {"channel", "add", "7", "4", "Sete"},
        {"channel", "add", "3", "9", "Tr\xC3\xAAs"},
    };
    for (const Fields& command : commands) ASSERT_EQ(Run(command), Fields{"OK"});
    EXPECT_EQ(Run({"query", "channels"}),
              (Fields{"OK", "1",    "0", "",     "",  "2",           "1", "Dois", "",  "9",
                      "1",  "Nove", "",  "3",    "9", "Tr\xC3\xAAs", "",  "4",    "9", "Quatro",
                      "pw", "7",    "4", "Sete", ""}));

    // Moving 9 under 2 carries its subtree along.
    ASSERT_EQ(Run({"channel", "move", "9", "2"}), Fields{"OK"});
    ASSERT_EQ(Run({"channel", "rename", "3", "Three"}), Fields{"OK"});
    ASSERT_EQ(Run({"channel", "password", "4"}), Fields{"OK"});
    EXPECT_EQ(
        Run({"query", "channels"}),
        (Fields{"OK", "1", "0",     "", "",  "2", "1",      "Dois", "",  "9", "2",    "Nove", "",
                "3",  "9", "Three", "", "4", "9", "Quatro", "",     "7", "4", "Sete", ""}));

    // Removing 9 takes everything below it.
    ASSERT_EQ(Run({"channel", "remove", "9"}), Fields{"OK"});
    EXPECT_EQ(Run({"query", "channels"}), (Fields{"OK", "1", "0", "", "", "2", "1", "Dois", ""}));
    ASSERT_EQ(Run({"channel", "add", "4", "2", "Back"}), Fields{"OK"});
}

TEST_F(ControlTable, BotsAndBulkMakeUsersThatQueriesList) {
    ASSERT_EQ(Run({"channel", "add", "5", "1", "Sala"}), Fields{"OK"});
    ASSERT_EQ(Run({"bot", "add", "30", "Eco", "5", "echo"}), Fields{"OK"});
    ASSERT_EQ(Run({"bot", "add", "20", "Quiet"}), Fields{"OK"});
    EXPECT_EQ(Run({"bulk", "bots", "2", "31", "B", "5"}), (Fields{"OK", "2"}));
    EXPECT_EQ(Run({"bulk", "channels", "2", "10", "5", "C"}), (Fields{"OK", "2"}));
    ASSERT_EQ(Run({"bot", "join", "20", "10"}), Fields{"OK"});
    ASSERT_EQ(Run({"bot", "join", "30", "0"}), Fields{"OK"});
    EXPECT_EQ(Run({"query", "users"}),
              (Fields{"OK", "20",  "Quiet", "",  "10",  "bot", "30",  "Eco", "",  "0",  "bot",
                      "31", "B31", "",      "5", "bot", "32",  "B32", "",    "5", "bot"}));
    EXPECT_EQ(Run({"query", "channels"}), (Fields{"OK", "1", "0", "", "", "5", "1", "Sala", "",
                                                  "10", "5", "C10", "", "11", "5", "C11", ""}));
    ASSERT_EQ(Run({"bot", "remove", "31"}), Fields{"OK"});
    EXPECT_EQ(Run({"query", "users"}).size(), 1u + 3 * 5);
}

TEST_F(ControlTable, AddingAnAccountAgainGivesItTheNewPassword) {
    for (const char* password : {"um", "dois"})
        ASSERT_EQ(Run({"account", "add", "ana", password}), Fields{"OK"});
    ASSERT_EQ(Run({"account", "add", "bia", ""}), Fields{"OK"});
    EXPECT_EQ(Run({"query", "accounts"}), (Fields{"OK", "ana", "dois", "bia", ""}));
}

TEST_F(ControlTable, SwitchesAndQuitSetTheirFlags) {
    EXPECT_EQ(Run({"query", "switches"}), (Fields{"OK", "0", "0", "0"}));
    ASSERT_EQ(Run({"switch", "refuse-logins", "1", "Fechado"}), Fields{"OK"});
    ASSERT_EQ(Run({"switch", "refuse-connections", "1"}), Fields{"OK"});
    ASSERT_EQ(Run({"switch", "require-encryption", "1"}), Fields{"OK"});
    EXPECT_EQ(Run({"query", "switches"}), (Fields{"OK", "1", "1", "1"}));
    EXPECT_EQ(gSwitches.refuseLoginsReason, "Fechado");
    ASSERT_EQ(Run({"switch", "refuse-connections", "0"}), Fields{"OK"});
    EXPECT_EQ(Run({"query", "switches"}), (Fields{"OK", "1", "0", "1"}));
    EXPECT_EQ(Run({"quit"}), Fields{"OK"});
    EXPECT_TRUE(gSwitches.quitRequested);
}

}  // namespace
