// avrig-sim as a shell runs it: a bad target stops it before the tool runs; a good one
// runs the tool.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/sim_runner.h"

namespace {

TEST(SimRun, BadTargetPrintsOneLineExitsTwoAndRunsNothing) {
    const support::TempDir temp;
    const std::string& dir = temp.Path();
    const std::string path = dir + "/bad.target";
    const struct {
        const char* target;  // empty: no file at all
        std::string error;
    } cases[] = {
        {"nodes /dev/zorvip\nfrobnicate 1\n", path + ":2: unknown directive \"frobnicate\""},
        {"word 0x0 1\nload 0x1000 absent.bin\n",
         path + ":2: load: cannot read \"absent.bin\": No such file or directory"},
        {"", path + ":0: cannot read"},
    };
    for (const auto& c : cases) {
        if (*c.target != '\0') {
            support::WriteFile(path, c.target);
        }
        simrun::Options options;
        options.useTargetPath = true;
        options.targetPath = path;
        const simrun::Result result = simrun::Run({"-a", "2"}, options);
        EXPECT_EQ(result.status, 2) << c.target;
        EXPECT_EQ(result.err, "avrig-sim: " + c.error + "\n") << c.target;
        EXPECT_EQ(result.out, "") << c.target;
        EXPECT_EQ(result.log, "") << c.target;
        std::remove(path.c_str());
    }
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
