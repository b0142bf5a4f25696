// A busy server: a steady stream of events never keeps the game's command
// waiting, and a big burst is published whole and true.
#include <atomic>
#include <thread>

#include "session_fixture.h"

namespace {

using namespace std::chrono_literals;

class LoadTest : public SessionTest {};

TEST_P(LoadTest, ACommandIsTakenWhileMessagesStreamInAndNoneIsLost) {
    Control({"bot", "add", "700", "Bea"});
    StartLoggedIn();
    const int count = 100;  // one every 40 ms: four seconds of stream
    std::atomic<bool> streaming{true};
    std::thread stream([&] {
        SimControlLink link;
        SimControlOpen(link, sim.controlPort);
        for (int i = 0; i < count; ++i) {
            SimControlCommand(
                link, {"bot", "say", "700", std::to_string(myUserId), "m" + std::to_string(i)});
            std::this_thread::sleep_for(40ms);
        }
        SimControlClose(link);
        streaming = false;
    });
    std::this_thread::sleep_for(700ms);
    WriteTestFile(DataPath("cmd.txt"), "ptt_on");
    EXPECT_TRUE(WaitUntil([&] { return StateEntry("ptt") == "1"; }, 2s));
    EXPECT_TRUE(streaming) << "the stream ended first; the test proves nothing";
    stream.join();
    std::string all;
    for (int i = 0; i < count; ++i) all += "700|Bea|m" + std::to_string(i) + "\n";
    EXPECT_TRUE(DataBecomes("pm_in.txt", all));
}

TEST_P(LoadTest, ABurstOfFourThousandUsersIsPublishedAsTheServerHasThem) {
    StartLoggedIn();
    Control({"bulk", "bots", "4000", "1000", "bot"});
    Control({"bulk", "channels", "1000", "1000", "1", "sala"});
    std::string users = std::to_string(myUserId) + "|Ana\n";
    for (int id = 1000; id < 5000; ++id)
        users += std::to_string(id) + "|bot" + std::to_string(id) + "\n";
    std::string channels = "1||0|0\n";
    for (int id = 1000; id < 2000; ++id)
        channels += std::to_string(id) + "|sala" + std::to_string(id) + "|0|1\n";
    EXPECT_TRUE(DataBecomes("users.txt", users, 60s));
    EXPECT_TRUE(DataBecomes("channels.txt", channels, 60s));
}

INSTANTIATE_FOR_BOTH_BUILDS(LoadTest);

}  // namespace
