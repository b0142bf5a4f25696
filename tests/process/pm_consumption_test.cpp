// A game that consumes data/pm_in.txt by its place in the file, while a
// burst of private messages is being appended, gets every message once and
// in order: natively with the game-side library in a thread of this
// process, under Wine with the same library in wintool.exe beside
// voicebridge.exe. Each consumer prints what it gets, one line an entry.
#include <algorithm>
#include <atomic>
#include <fstream>
#include <thread>

#include "session_fixture.h"

namespace {

using namespace std::chrono_literals;

class PmConsumptionTest : public SessionTest {
protected:
    ChildProcess tool;
    std::thread reader;
    std::atomic<bool> reading{true};

    void TearDown() override {
        reading = false;
        if (reader.joinable()) reader.join();
        StopProcess(tool);
        SessionTest::TearDown();
    }

    std::string Printed() const {
        return dir.File(GetParam() == BridgeBuild::Native ? "consumed.txt" : "wine-output.txt");
    }

    // The native reader reads again at once, so that many of its reads fall
    // among the bridge's appends.
    void StartConsumer(int count) {
        if (GetParam() == BridgeBuild::Windows) {
            const std::string wintool = WintoolExecutable();
            ASSERT_FALSE(wintool.empty()) << "wintool.exe not built";
            tool = StartWine({wintool, "pms", "data", std::to_string(count), "120000"}, dir.path);
            return;
        }
        reader = std::thread([this] {
            std::ofstream out(Printed(), std::ios::binary);
            for (LineReader place; reading; out.flush())
                for (const std::string& entry : ReadNewMessages(dir.File("data"), place))
                    out << entry << '\n';
        });
    }

    std::vector<std::string> Consumed() const {
        const std::string printed = ReadTestFile(Printed());
        std::vector<std::string> lines;
        for (size_t start = 0, end; (end = printed.find('\n', start)) != std::string::npos;
             start = end + 1)
            lines.push_back(printed.substr(start, end - start));
        return lines;
    }
};

TEST_P(PmConsumptionTest, EveryMessageOfABurstIsConsumedOnceInOrder) {
    Control({"bot", "add", "700", "Bea"});
    StartLoggedIn();
    const int count = 2000;
    std::vector<std::string> expected;
    for (int i = 0; i < count; ++i) expected.push_back("700|Bea|m" + std::to_string(i));
    StartConsumer(count);
    SimControlLink link;
    ASSERT_TRUE(SimControlOpen(link, sim.controlPort));
    auto say = [&](int i) {
        SimControlCommand(link,
                          {"bot", "say", "700", std::to_string(myUserId), "m" + std::to_string(i)});
    };
    // The first alone, so that the burst begins with the consumer reading.
    say(0);
    ASSERT_TRUE(WaitUntil([&] { return !Consumed().empty(); }, 60s)) << Data("pm_in.txt");
    std::thread burst([&] {
        for (int i = 1; i < count; ++i) say(i);
    });
    WaitFor([&] { return Consumed().size() > 1; }, 60s);
    const bool readWhileAppended = Data("pm_in.txt").find(expected.back()) == std::string::npos;
    // A consumer that lost some still gets the last one.
    WaitFor([&] { return Consumed().back() == expected.back(); }, 120s);
    burst.join();
    SimControlClose(link);
    EXPECT_TRUE(readWhileAppended) << "the bridge had appended the burst before the consumer "
                                      "read from it; the test proves nothing";
    const std::vector<std::string> got = Consumed();
    EXPECT_TRUE(got == expected)
        << got.size() << " consumed; the first wrong one is number "
        << std::mismatch(got.begin(), got.end(), expected.begin(), expected.end()).first -
               got.begin();
    int exitCode = 0;
    if (GetParam() == BridgeBuild::Windows) {
        EXPECT_TRUE(WaitForExit(tool, 10s, exitCode) && exitCode == 0) << DescribeExit(exitCode);
    }
}

INSTANTIATE_FOR_BOTH_BUILDS(PmConsumptionTest);

}  // namespace
