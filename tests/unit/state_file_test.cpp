// The state file's seven entries.
#include "files/state_file.h"

#include <gtest/gtest.h>

#include "bridge.h"

namespace {

class StateFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        gBridgeState = BridgeState();
        gBridgeConfig = BridgeConfig();
    }
    void TearDown() override { SetUp(); }
};

TEST_F(StateFileTest, FreshStateAfterStartup) {
    EXPECT_EQ(BuildStateText(),
              "status|starting\nptt|0\nmyuserid|0\nmychannelid|0\nmychannelname|\n"
              "nickname|Jogador\nerror|\n");
}

TEST_F(StateFileTest, ValuesAreWrittenUnescapedEachOnItsOneLine) {
    gBridgeState.pushToTalk = true;
    gBridgeState.myUserId = -3;
    gBridgeState.myChannelId = 2147483647;
    gBridgeState.myChannelName = "Sala|A\nnickname|Mallory";
    gBridgeState.lastError = "Kicked\r\nstatus|authorized\r";
    gBridgeState.status = "authorized";
    gBridgeConfig.nickname = "Eva\r";
    EXPECT_EQ(BuildStateText(),
              "status|authorized\nptt|1\nmyuserid|-3\nmychannelid|2147483647\n"
              "mychannelname|Sala|A nickname|Mallory\nnickname|Eva \n"
              "error|Kicked  status|authorized \n");
}

}  // namespace
