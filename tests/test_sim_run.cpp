// avrig-sim as a shell runs it: a bad target stops it before the tool runs; a good one
// runs the tool.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "tests/sim_runner.h"

namespace {

TEST(SimRun, BadTargetPrintsOneLineExitsTwoAndRunsNothing) {
    const support::TempDir temp;
    const std::string& dir = temp.Path();
    const std::string path = dir + "/bad.target";
    // What a record from someone else's board might hold beside its target.
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0700), 0);
    ASSERT_TRUE(support::WriteFile(dir + "/sub/in.bin", "abcd"));
    ASSERT_EQ(symlink("sub/in.bin", (dir + "/link.bin").c_str()), 0);
    ASSERT_EQ(symlink("sub", (dir + "/linkdir").c_str()), 0);
    ASSERT_EQ(link((dir + "/sub/in.bin").c_str(), (dir + "/hard.bin").c_str()), 0);  // to any file of the user's
    const struct {
        const char* target;  // empty: no file at all
        std::string error;
        std::string targetPath;  // empty: `path`
    } cases[] = {
        {"nodes /dev/zorvip\nfrobnicate 1\n", path + ":2: unknown directive \"frobnicate\"", ""},
        {"word 0x0 1\nload 0x1000 absent.bin\n",
         path + ":2: load: cannot read \"absent.bin\": No such file or directory", ""},
        {"", path + ":0: cannot read", ""},
        {"load 0x1000 /etc/hostname\n",
         path + ":1: load: \"/etc/hostname\" is absolute; FILE is relative to the target file's folder", ""},
        {"load 0x1000 sub/../../x.bin\n",
         path + ":1: load: \"sub/../../x.bin\" leaves the target file's folder (a .. component)", ""},
        {"load 0x1000 fifo\n", path + ":1: load: \"fifo\" is not a regular file", ""},
        {"load 0x1000 sub\n", path + ":1: load: \"sub\" is not a regular file", ""},
        {"load 0x1000 link.bin\n", path + ":1: load: \"link.bin\" is or passes through a symbolic link, which is not followed", ""},
        {"load 0x1000 linkdir/in.bin\n",
         path + ":1: load: \"linkdir/in.bin\" is or passes through a symbolic link, which is not followed", ""},
        {"load 0x1000 hard.bin\n", path + ":1: load: \"hard.bin\" has other names (hard links)", ""},
        {"", "/dev/zero:0: not a regular file", "/dev/zero"},
        {"", fifo + ":0: not a regular file", fifo},
    };
    for (const auto& c : cases) {
        if (*c.target != '\0') {
            support::WriteFile(path, c.target);
        }
        simrun::Options options;
        options.useTargetPath = true;
        options.targetPath = c.targetPath.empty() ? path : c.targetPath;
        const simrun::Result result = simrun::Run({"-a", "2"}, options);
        EXPECT_EQ(result.status, 2) << c.target;
        EXPECT_EQ(result.err, "avrig-sim: " + c.error + "\n") << c.target;
        EXPECT_EQ(result.out, "") << c.target;
        EXPECT_EQ(result.log, "") << c.target;
        std::remove(path.c_str());
    }
}

// Tests and replays run the simulator as root in shared folders: the log is taken only
// where the trace would be, and a log that is not whole fails the run.
TEST(SimRun, TheLogIsOpenedAndWrittenAsTheTraceIs) {
    const support::TempDir temp;
    const std::string dir = temp.Path();
    ASSERT_TRUE(support::WriteFile(dir + "/own", "abcd") && support::WriteFile(dir + "/nobodys", "abcd") &&
                support::WriteFile(dir + "/shared", "abcd") && chmod((dir + "/shared").c_str(), 0664) == 0);
    const bool root = geteuid() == 0 && chown((dir + "/nobodys").c_str(), 65534, 65534) == 0;
    ASSERT_EQ(symlink("own", (dir + "/link").c_str()) | link((dir + "/own").c_str(), (dir + "/hard").c_str()) |
                  mkfifo((dir + "/fifo").c_str(), 0666),
              0);
    // A reader, so that a log opened as it was before waits for nobody and shows in the test.
    const int reader = open((dir + "/fifo").c_str(), O_RDONLY | O_NONBLOCK);
    const struct {
        const char* name;
        const char* reason;
        uint64_t fileSizeLimit;  // opened, not written whole
    } cases[] = {
        {"link", "it is a link", 0},
        {"hard", "it has other names (hard links)", 0},
        {"fifo", "it is a FIFO", 0},
        {"nobodys", "it belongs to another user", 0},
        {"shared", "bad permissions: group or others may write it", 0},
        {"/dev/full", "it is a device other than a terminal or /dev/null", 0},
        {"grown", "File too large", 64},  // the log is 81 bytes
    };
    for (const auto& c : cases) {
        if (std::string(c.name) == "nobodys" && !root) {
            std::printf("skipped %s: only root can give it to another user\n", c.name);
            continue;
        }
        const bool opens = c.fileSizeLimit != 0;
        const std::string path = c.name[0] == '/' || opens ? c.name : dir + "/" + c.name;
        simrun::Options options;
        options.workDir = dir;
        options.env = {{"AVRIG_SIM_LOG", path}};
        options.fileSizeLimit = c.fileSizeLimit;
        const simrun::Result result = simrun::Run({"-a", "2"}, options);
        EXPECT_EQ(result.status, opens ? 1 : 2) << c.name;
        EXPECT_EQ(result.err, opens ? "avrig-sim: the log " + path + " is incomplete: " + c.reason + "\n"
                                    : "avrig-sim: " + path + ": cannot open the log: " + c.reason + "\n");
    }
    EXPECT_EQ(support::ReadFile(dir + "/own") + support::ReadFile(dir + "/nobodys") + support::ReadFile(dir + "/shared"),
              "abcdabcdabcd");
    char buffer[16];
    EXPECT_LE(read(reader, buffer, sizeof buffer), 0);  // no line reached the FIFO
    close(reader);
}

TEST(SimRun, DefaultTargetRunsTheTool) {
    const simrun::Result result = simrun::Run({"-a", "2"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.log,
              "open /dev/zorvip\n"
              "ioctl /dev/zorvip 0xc0046b01 value 0x00000002\n"
              "close /dev/zorvip\n");
}

}  // namespace
