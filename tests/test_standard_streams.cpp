// The standard descriptors end to end: a run started with one of them closed gives every
// file what an ordinary run gives it, and a standard output that cannot be written fails.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tests/sim_runner.h"

namespace {

const std::string kRefused = "refuse 0xc0046b01 EINVAL\n";

// Each road prints on standard output; with kRefused, on standard error too.
const struct Road {
    const char* name;
    std::string target;
    std::vector<std::string> args;
} kRoads[] = {
    {"requests", "nodes /dev/zorvip\n", {"-h", "-a", "2"}},
    {"capture", "nodes /dev/zorvip /dev/zormmio\ncapture 0x01000000 0x01100000 0x8000 0x8000 2\n"
                "pattern YUV_422C8 8 2 progressive\n", {"-a", "2", "memget", "c.bmp"}},
};

// The run with a trace and a record: every file it wrote, by folder and name.
std::map<std::string, std::string> RunFiles(const Road& road, simrun::Options options, simrun::Result* run) {
    const support::TempDir scratch;
    options.target = road.target + kRefused;
    options.env = {{"AVRIG_TRACE", scratch.Path() + "/trace"}, {"AVRIG_RECORD", scratch.Path() + "/rec"}};
    *run = simrun::Run(road.args, options);
    std::map<std::string, std::string> files{{"log", run->log}};
    const std::pair<const char*, std::string> folders[] = {
        {"work/", run->workDir}, {"", scratch.Path()}, {"rec/", scratch.Path() + "/rec"}};
    for (const auto& folder : folders) {
        for (const std::string& name : support::FolderNames(folder.second)) {
            files[folder.first + name] = support::ReadFile(folder.second + "/" + name);
        }
    }
    return files;
}

TEST(StandardDescriptors, AClosedOneTakesNoFileAndChangesNothing) {
    for (const Road& road : kRoads) {
        simrun::Result plain;
        const auto expected = RunFiles(road, {}, &plain);
        for (const int fd : {0, 1, 2}) {
            simrun::Options options;
            options.closed = {fd};
            simrun::Result run;
            EXPECT_EQ(RunFiles(road, options, &run), expected) << road.name << " fd " << fd;
            EXPECT_EQ(std::make_tuple(run.status, run.out, run.err),
                      std::make_tuple(plain.status, fd == 1 ? "" : plain.out, fd == 2 ? "" : plain.err))
                << road.name << " fd " << fd;
        }
    }
}

TEST(StandardOutput, ThatCannotBeWrittenFailsWithOneLine) {
    for (const Road& road : kRoads) {
        simrun::Options options;
        options.target = road.target;
        const simrun::Result plain = simrun::Run(road.args, options);
        options.stdoutPath = "/dev/full";
        const simrun::Result full = simrun::Run(road.args, options);
        EXPECT_EQ(full.status, 1) << road.name;
        EXPECT_EQ(full.err, plain.err + "avrig: standard output could not be written: No space left on device\n")
            << road.name;
    }
}

}  // namespace
