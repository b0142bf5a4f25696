// A game run from a folder whose file system keeps coarse times (HFS+ one
// second, FAT two): the commands of a fresh start are kept, an earlier
// run's are discarded, and a command written in two pieces runs whole.
//
// The folder is a file system of its own: an image file made by mkfs in
// the test's folder and loop-mounted on data/ (mount -o loop finds a free
// loop device and frees it again at the unmount), unmounted in TearDown.
// ext4 made with 128-byte inodes has no room for sub-second times. Where
// that cannot be done (not root, no mkfs, no such file system in this
// kernel, no loop device) the test skips and says why.
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "session_fixture.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class FileTimesTest : public SessionTest {
protected:
    std::string mounted;

    void TearDown() override {
        // The bridge's working files are on the mount: it ends first. The
        // system may still hold the folder for a moment after it.
        SessionTest::TearDown();
        if (mounted.empty()) return;
        const bool unmounted = WaitUntil([&] { return umount2(mounted.c_str(), 0) == 0; }, 10s);
        if (!unmounted) umount2(mounted.c_str(), MNT_DETACH);
        EXPECT_TRUE(unmounted) << "had to detach " << mounted;
    }

    // Mounts a new `type` file system made by `mkfs` on data/; else says
    // why it cannot.
    std::string MountOnData(const std::string& type, std::vector<std::string> mkfs) {
        if (geteuid() != 0) return "mounting an image needs root";
        const auto known = [&] {
            return ReadTestFile("/proc/filesystems").find("\t" + type + "\n") != std::string::npos;
        };
        if (!known()) RunToEnd({"modprobe", type}, dir.path);
        if (!known()) return "this kernel has no " + type + " (nor a module for it)";
        const std::string image = dir.File(type + ".img");
        std::ofstream(image).close();
        fs::resize_file(image, 16 << 20);
        mkfs.push_back(image);
        const FinishedRun made = RunToEnd(mkfs, dir.path);
        if (made.exitCode == 127) return mkfs[0] + " is not installed (scripts/setup)";
        if (made.exitCode != 0) return mkfs[0] + " failed: " + made.err;
        fs::create_directory(DataPath(""));
        const FinishedRun mount = RunToEnd({"mount", "-o", "loop", image, DataPath("")}, dir.path);
        if (mount.exitCode != 0) return "cannot loop-mount (no loop device?): " + mount.err;
        mounted = DataPath("");
        return "";
    }

    void ExpectCommandsTakenByTheFolderClock() {
        Control({"bot", "add", "990", "Sink"});
        // Whether a coarse time puts a fresh command before the start
        // depends on where in its second the start falls: several starts.
        const struct {
            const char* name;
            std::chrono::hours left;  // when an earlier run left it; 0: none
        } starts[] = {
            {"written right after the start", 0h},
            {"written right after the start", 0h},
            {"written right after the start", 0h},
            {"written right after the start", 0h},
            {"left an hour before the start", -1h},
            {"left an hour ahead: the clock was set back since", 1h},
        };
        for (const auto& s : starts) {
            SCOPED_TRACE(s.name);
            StopProcess(bridge);
            // What is read from here on is this run's.
            for (const char* name : {"state.txt", "events.txt"}) fs::remove(DataPath(name));
            if (s.left != 0h) {
                WriteTestFile(DataPath("cmd.txt"), "ptt_on");
                fs::last_write_time(DataPath("cmd.txt"), fs::file_time_type::clock::now() + s.left);
            }
            Start({"127.0.0.1", Port(), "10333", "0", "Ana"});
            if (s.left == 0h) {
                ASSERT_TRUE(WriteCommand(dir.File("data"), "ptt_on"));
            }
            ASSERT_TRUE(WaitUntil([&] { return StateEntry("status") == "authorized"; }))
                << Data("state.txt") << BridgeOutput();
            // One outcome per command taken: discarded means it never ran.
            if (s.left == 0h) {
                EXPECT_TRUE(WaitUntil([&] { return StateEntry("ptt") == "1"; }))
                    << Data("corvanex_debug.txt");
            } else {
                EXPECT_TRUE(WaitUntil([&] {
                    return Data("events.txt").find("|discarded|") != std::string::npos;
                })) << Data("events.txt");
            }
        }
        myUserId = std::stoi(StateEntry("myuserid"));
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(WaitUntil([&] { return CommandFileFree(dir.File("data")); }));
            ASSERT_TRUE(WriteCommandInTwoPieces(dir.File("data"), "pm 990|parte ",
                                                std::to_string(i) + " inteira", 20ms));
        }
        ASSERT_TRUE(WaitUntil([&] { return CountRequests(myUserId, "MESSAGE") == 3; }));
        std::string sent;
        for (const std::string& line : RequestsFrom(myUserId)) sent += line + "\n";
        for (int i = 0; i < 3; ++i)
            EXPECT_NE(sent.find("\tparte " + std::to_string(i) + " inteira\t"), std::string::npos)
                << sent;
    }
};

TEST_P(FileTimesTest, WholeSecondTimes) {
    const std::string cannot = MountOnData("ext4", {"mkfs.ext4", "-q", "-F", "-I", "128"});
    if (!cannot.empty()) GTEST_SKIP() << cannot;
    ExpectCommandsTakenByTheFolderClock();
}

TEST_P(FileTimesTest, TwoSecondTimes) {
    const std::string cannot = MountOnData("vfat", {"mkfs.vfat"});
    if (!cannot.empty()) GTEST_SKIP() << cannot;
    ExpectCommandsTakenByTheFolderClock();
}

// Natively only: under Wine the file times are the same Linux file
// system's, and the Windows side of the seam meets the same judgement in
// the unit tests and the Wine start-up tests.
INSTANTIATE_TEST_SUITE_P(, FileTimesTest, ::testing::Values(BridgeBuild::Native),
                         [](const auto& build) { return BridgeBuildName(build.param); });

}  // namespace
