// Which run a waiting file belongs to, by the data folder's clock.
#include "files/folder_clock.h"

#include <gtest/gtest.h>

namespace {

TEST(FolderClockTest, TellsAnEarlierRunsFileByTheFoldersNowAndTheProcessAge) {
    const int64_t second = 1'000'000;
    // The folder says "now" is P; this process began half a second before.
    const FolderClock clock{1'700'000'000 * second, second / 2};
    const int64_t start = clock.now - clock.processAge;
    const struct {
        const char* name;
        int64_t modified;
        bool earlier;
    } cases[] = {
        {"written as the process began", start, false},
        {"written just now", clock.now, false},
        {"written after the start, its time rounded down by two seconds", start - 2 * second + 1,
         false},
        {"written after the start, its time rounded up by two seconds", clock.now + 2 * second,
         false},
        {"written over two seconds before the start", start - 2 * second - 1, true},
        {"written an hour before", start - 3600 * second, true},
        {"stamped an hour ahead: the clock was set back since", clock.now + 3600 * second, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WrittenByAnEarlierRun(c.modified, clock), c.earlier) << c.name;
}

}  // namespace
