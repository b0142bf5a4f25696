// A burst of directory events through the bridge's own handlers, two ways:
// as the bridge publishes (each changed file once, at the end of the drain)
// and, for comparison only, with users.txt or channels.txt rewritten whole
// after every event, as the bridge once did.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bridge.h"
#include "core/event_dispatch.h"
#include "library_double.h"
#include "session/directories.h"
#include "temp_directory.h"

namespace {

std::u16string Ascii16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// N bots logging in and N/4 channels appearing, named as voicesim's bulk
// commands name them.
std::vector<TTMessage> BurstEvents(int users) {
    std::vector<TTMessage> events;
    for (int i = 0; i < users; ++i) {
        const int id = 1000 + i;
        events.push_back(MakeUserEvent(CLIENTEVENT_CMD_USER_LOGGEDIN, id, 0,
                                       Ascii16("bot" + std::to_string(id))));
    }
    for (int i = 0; i < users / 4; ++i) {
        const int id = 1000 + i;
        events.push_back(MakeChannelEvent(CLIENTEVENT_CMD_CHANNEL_NEW, id, 1,
                                          Ascii16("chan" + std::to_string(id))));
    }
    return events;
}

// What the bridge holds right after its login: itself and the root channel.
void ResetDirectories() {
    gUserDirectory = UserDirectory();
    gChannelDirectory = ChannelDirectory();
    UpsertUser(DirectoryUser{1, 0, "Jogador"});
    UpsertChannel(DirectoryChannel{1, 0, ""});
}

void BM_DirectoryBurst(benchmark::State& state, bool publishPerEvent) {
    const std::vector<TTMessage> events = BurstEvents(static_cast<int>(state.range(0)));
    TempDirectory directory;
    std::filesystem::create_directory(directory.File("data"));
    CurrentDirectory inside(directory.path);
    for (auto _ : state) {
        state.PauseTiming();
        ResetDirectories();
        state.ResumeTiming();
        for (const TTMessage& event : events) {
            HandleClientEvent(VoiceEventOf(event));
            if (publishPerEvent) PublishChangedDirectories();
        }
        PublishChangedDirectories();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * events.size()));
}

// N = 250, 1,000 and 4,000, as in the burst benchmark.
BENCHMARK_CAPTURE(BM_DirectoryBurst, publish_per_event, true)
    ->Arg(250)
    ->Arg(1000)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DirectoryBurst, publish_once_per_drain, false)
    ->Arg(250)
    ->Arg(1000)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
