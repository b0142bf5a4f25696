// Checks that a program under test did not die behind the test's back.
// Tests mostly look at files and sockets; a bridge or voicesim that
// crashed, or that the sanitizers stopped with a report, must fail the
// test all the same.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "process.h"
#include "temp_directory.h"

// For a program that runs until it is killed (the bridge, as a game ends
// it): kills it and fails when it had ended by itself. A process not
// running any more because the test reaped it is fine.
inline ::testing::AssertionResult KilledWhileRunning(ChildProcess& process,
                                                     const std::string& outputFile) {
    int code = 0;
    if (KillRunning(process, code)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "ended during the test with " << DescribeExit(code) << "; its output:\n"
           << ReadTestFile(outputFile);
}

// For a program that ends cleanly on SIGTERM (voicesim): ends it so and
// fails on any other exit than 0, which is also how a leak found at exit
// shows under the sanitizers.
inline ::testing::AssertionResult EndsCleanly(ChildProcess& process,
                                              const std::string& outputFile) {
    if (process.pid <= 0) return ::testing::AssertionSuccess();
    int code = 0;
    if (!TerminateAndWait(process, std::chrono::seconds(20), code))
        return ::testing::AssertionFailure() << "did not end on SIGTERM; its output:\n"
                                             << ReadTestFile(outputFile);
    if (code == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "ended with " << DescribeExit(code) << "; its output:\n"
                                         << ReadTestFile(outputFile);
}
