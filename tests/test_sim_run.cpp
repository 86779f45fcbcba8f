// avrig-sim as a shell runs it: a bad target stops it before the tool runs; a good one
// runs the tool.
#include <gtest/gtest.h>

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
    // Nor does a link planted at the log's name take the log.
    const std::string logLink = dir + "/sim.log";
    ASSERT_EQ(symlink("sub/in.bin", logLink.c_str()), 0);
    simrun::Options options;
    options.env = {{"AVRIG_SIM_LOG", logLink}};
    const simrun::Result result = simrun::Run({"-a", "2"}, options);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "avrig-sim: " + logLink + ": cannot open the log: Too many levels of symbolic links\n");
    EXPECT_EQ(support::ReadFile(dir + "/sub/in.bin"), "abcd");
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
