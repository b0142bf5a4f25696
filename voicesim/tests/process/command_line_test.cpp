// voicesim's command line: each bad one ends it with one line naming the
// fault, a port it cannot take is named with the system's reason, and
// --help prints the usage on stdout.
#include <unistd.h>

#include "sim_fixture.h"
#include "sim_net.h"

namespace {

struct CommandLineCase {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    std::string stderrText;  // the whole of it
    const char* stdoutPart = "";
};

TEST(CommandLineTest, BadCommandLinesAndTakenPortsEndItWithOneLineSayingWhy) {
    // Held here so voicesim finds them taken; the default port is taken
    // whether this test or some other program holds it.
    int heldPort = 0;
    int defaultPort = 0;
    const int held = ListenOnLoopback(0, heldPort);
    const int heldDefault = ListenOnLoopback(10333, defaultPort);
    ASSERT_GE(held, 0);
    const std::string taken = std::to_string(heldPort);
    const std::string inUse = ": Address already in use\n";
    const CommandLineCase cases[] = {
        {"unknown option", {"--bogus"}, 2, "voicesim: unknown option --bogus\n"},
        {"unknown option with a value", {"--bogus", "3"}, 2, "voicesim: unknown option --bogus\n"},
        {"missing value", {"--port", "0", "--log"}, 2, "voicesim: --log needs a value\n"},
        {"port out of range",
         {"--control-port", "65536"},
         2,
         "voicesim: bad value for --control-port: 65536\n"},
        {"client port taken",
         {"--port", taken},
         1,
         "voicesim: cannot listen on 127.0.0.1:" + taken + inUse},
        {"default client port taken", {}, 1, "voicesim: cannot listen on 127.0.0.1:10333" + inUse},
        {"help", {"--port", "0", "--help"}, 0, "", "  --max-output BYTES"},
        {"short help", {"-h"}, 0, "", "--port N               TCP port for voice clients"},
    };
    for (const CommandLineCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDirectory run;
        std::vector<std::string> argv = {VOICESIM_PATH};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const FinishedRun result = RunToEnd(argv, run.path);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.err, c.stderrText);
        EXPECT_NE(result.out.find(c.stdoutPart), std::string::npos);
    }
    close(held);
    if (heldDefault >= 0) close(heldDefault);
}

}  // namespace
