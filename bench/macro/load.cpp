// A load thread drives voicesim's control port at a steady rate while the
// game's side measures as when idle.
#include "load.h"

#include <atomic>
#include <thread>

#include "game_files.h"
#include "voicesim_control.h"

namespace {

using Clock = std::chrono::steady_clock;

struct LoadPlan {
    std::vector<std::vector<std::string>> setup;
    // The control command of step i; one step every `period`.
    std::function<std::vector<std::string>(int)> step;
    std::chrono::milliseconds period;
};

LoadPlan PlanFor(SteadyLoad load, int firstId, const std::string& me) {
    const std::string bot = std::to_string(firstId);
    if (load == SteadyLoad::Messages)
        return {{{"bot", "add", bot, "Fala"}},
                [=](int i) {
                    return std::vector<std::string>{"bot", "say", bot, me, "m" + std::to_string(i)};
                },
                std::chrono::milliseconds(40)};
    const std::string a = std::to_string(firstId), b = std::to_string(firstId + 1);
    // Each move is a leave and a join: two events for every client.
    return {{{"channel", "add", a, "1", "A"},
             {"channel", "add", b, "1", "B"},
             {"bot", "add", bot, "Anda", a}},
            [=](int i) {
                return std::vector<std::string>{"bot", "join", bot, i % 2 == 0 ? b : a};
            },
            std::chrono::milliseconds(50)};
}

}  // namespace

bool RunUnderLoad(BenchSession& session, SteadyLoad load, int firstId,
                  const std::function<void()>& measure) {
    const std::string me =
        ParseStateText(ReadDataFile(session.DataDir(), kStateFileName))[kStateKeyMyUserId];
    const LoadPlan plan = PlanFor(load, firstId, me);
    SimControlLink link;
    if (!SimControlOpen(link, session.sim.controlPort)) return false;
    for (const auto& command : plan.setup) SimControlCommand(link, command);
    std::atomic<bool> running{true};
    std::thread driver([&] {
        auto next = Clock::now();
        for (int i = 0; running; ++i) {
            SimControlCommand(link, plan.step(i));
            next += plan.period;
            std::this_thread::sleep_until(next);
        }
    });
    measure();
    running = false;
    driver.join();
    SimControlClose(link);
    return true;
}
