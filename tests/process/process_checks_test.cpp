// The checks that the fixtures end their programs with: a program that
// died during a test (a crash, a sanitizer report) must fail the test, and
// one that behaved must not. Driven with small shell programs whose end is
// known.
#include "process_checks.h"

#include <gtest/gtest.h>

namespace {

struct EndingCase {
    const char* name;
    const char* script;
    bool endsByItself;  // the check runs once it has, else once it wrote "ready"
    bool passes;
    const char* reason;  // in the failure message
};

ChildProcess StartScript(const TempDirectory& dir, const char* script) {
    return StartProcess({"/bin/sh", "-c", script}, dir.path, {}, dir.File("output.txt"));
}

// Lets the check find the script where the case means it to be.
void WaitForScript(const TempDirectory& dir, const ChildProcess& process, bool endsByItself) {
    if (endsByItself)
        ASSERT_TRUE(WaitUntil([&] { return HasEnded(process); }));
    else
        ASSERT_TRUE(WaitUntil([&] { return TestFileExists(dir.File("ready")); }));
}

TEST(ProcessChecks, KilledWhileRunningFailsForAProgramThatEndedByItself) {
    const EndingCase cases[] = {
        {"still running", "echo ready > ready; exec sleep 600", false, true, ""},
        {"aborted, as the sanitizers end a program", "echo report; kill -ABRT $$", true, false,
         "signal 6"},
        {"sanitizer exit code", "echo report; exit 86", true, false, "exit code 86"},
        {"exited cleanly all the same", "echo report; exit 0", true, false, "exit code 0"},
    };
    for (const EndingCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDirectory dir;
        ChildProcess process = StartScript(dir, c.script);
        WaitForScript(dir, process, c.endsByItself);
        const ::testing::AssertionResult result =
            KilledWhileRunning(process, dir.File("output.txt"));
        EXPECT_EQ(static_cast<bool>(result), c.passes) << result.message();
        EXPECT_NE(std::string(result.message()).find(c.reason), std::string::npos)
            << result.message();
        if (!c.passes) {
            EXPECT_NE(std::string(result.message()).find("report"), std::string::npos);
        }
        EXPECT_EQ(process.pid, -1);
    }
}

TEST(ProcessChecks, EndsCleanlyPassesOnlyForExitCodeZero) {
    const EndingCase cases[] = {
        {"handles SIGTERM and exits 0",
         "trap 'kill $!; exit 0' TERM; sleep 600 & echo ready > ready; wait", false, true, ""},
        {"killed by SIGTERM, no clean exit", "echo ready > ready; exec sleep 600", false, false,
         "signal 15"},
        {"aborted before", "kill -ABRT $$", true, false, "signal 6"},
        {"leak report at exit", "echo report; exit 86", true, false, "exit code 86"},
        {"ended cleanly before", "exit 0", true, true, ""},
    };
    for (const EndingCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDirectory dir;
        ChildProcess process = StartScript(dir, c.script);
        WaitForScript(dir, process, c.endsByItself);
        const ::testing::AssertionResult result = EndsCleanly(process, dir.File("output.txt"));
        EXPECT_EQ(static_cast<bool>(result), c.passes) << result.message();
        EXPECT_NE(std::string(result.message()).find(c.reason), std::string::npos)
            << result.message();
        EXPECT_EQ(process.pid, -1);
    }
}

}  // namespace
