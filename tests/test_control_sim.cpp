// The control tool end to end against the simulated target: the log of requests, the
// lines printed, the exit status.
#include <gtest/gtest.h>

#include "tests/sim_runner.h"

namespace {

using support::Lines;

const char* kVipOnly = "nodes /dev/zorvip\n";

TEST(ControlSim, RequestsReachTheDriverInCommandLineOrderThenTheDeferredOnes) {
    simrun::Options options;
    options.target = std::string(kVipOnly) + "border 1 -2 3 -4\n";
    const simrun::Result run = simrun::Run({"-s", "3", "-a", "2", "-jpeg6", "0"}, options);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "top=1 down=-2 left=3 right=-4\n");
    EXPECT_EQ(Lines(run.log), (std::vector<std::string>{
                                  "open /dev/zorvip",
                                  "ioctl /dev/zorvip 0xc0046b01 value 0x00000002",
                                  "ioctl /dev/zorvip 0xc0046b00 value 0x00000103",
                                  "ioctl /dev/zorvip 0xc0106b56 record 00000000000000000000000000000000",
                                  "close /dev/zorvip",
                              }));
}

TEST(ControlSim, RecordsAndBareRequestsAreLoggedByTheirKind) {
    simrun::Options options;
    options.target = kVipOnly;
    const simrun::Result run = simrun::Run({"output_window", "10", "20", "30", "40", "x", "coeff", "x", "-jpeg4", "9"}, options);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "output_window==>\noutput_window<==\n");
    EXPECT_EQ(Lines(run.log), (std::vector<std::string>{
                                  "open /dev/zorvip",
                                  "ioctl /dev/zorvip 0xc0186b0b record 0a0000001e000000140000002800000000000000"
                                  "00000000",
                                  "ioctl /dev/zorvip 0x20006b68 none",
                                  "ioctl /dev/zorvip 0xc0016b54 record 09",
                                  "close /dev/zorvip",
                              }));
}

TEST(ControlSim, QueriesPrintTheDriversAnswersOnStandardError) {
    struct Case {
        std::string target;
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {"zoom -1\n", {"-jpeg2", "0"}, "cZoomRatio=-1\n"},
        {"", {"-jpeg2", "0"}, "cZoomRatio=0\n"},  // the driver leaves the answer alone
        {"panel 1920 1080 0x1 0x2 0x3 0x4 0x5 0xffffffff\n",
         {"-jpeg7", "0"},
         "uiPanelMaxHres=1920 uiPanelMaxVres=1080 uiBaseAddrPage[]=0x1, 0x2, 0x3 0x4 0x5 0xffffffff\n"},
        {"", {"-jpeg6", "0"}, "top=0 down=0 left=0 right=0\n"},
    };
    for (const Case& c : cases) {
        simrun::Options options;
        options.target = std::string(kVipOnly) + c.target;
        const simrun::Result run = simrun::Run(c.args, options);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, c.err) << c.target;
    }
}

TEST(ControlSim, HelpWordPrintsTheUsageAndTheWalkGoesOn) {
    const std::string usage =
        "Usage:\n"
        "./avrig [-s %d -a %d -v%d %d]\n"
        "[-s]: chamge source, range 0~7.[-a]: chamge wide, range 0~7. there are 16x9, 4x3, zoom1, zoom2, "
        "panorama, auto, game mode, native.Example:\n"
        "./avrig -s 5\n"
        "./avrig -a 2\n"
        "./avrig -s 5 -a 2\n";
    simrun::Options options;
    options.target = kVipOnly;
    for (const char* help : {"-h", "-help", "-h600"}) {
        const simrun::Result run = simrun::Run({help}, options);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, usage) << help;
    }
    const simrun::Result run = simrun::Run({"-h", "600", "x", "-a", "1"}, options);  // the walk starts at 600
    EXPECT_EQ(run.out, usage);
    EXPECT_EQ(Lines(run.log), (std::vector<std::string>{"open /dev/zorvip",
                                                        "ioctl /dev/zorvip 0xc0046b01 value 0x00000001",
                                                        "close /dev/zorvip"}));
}

TEST(ControlSim, LoneKeywordsPrintTheirHelp) {
    simrun::Options options;
    options.target = kVipOnly;
    EXPECT_EQ(simrun::Run({"data_format"}, options).out,
              "range 9~12. there are YUV_444C10, YUV_444C8, YUV_422C10, YUV_422C8\n");
    EXPECT_EQ(simrun::Run({"screen_wall"}, options).out, "select screen size and screen number\n");
    EXPECT_EQ(simrun::Run({"capture_pos", "1", "2", "3"}, options).out, "capture_pos==>\ncapture_pos<==\n");
}

TEST(ControlSim, WithoutTheVipDriverNothingElseHappens) {
    simrun::Options options;
    options.target = "nodes /dev/zormmio\n";
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"-h"}, {"-a", "1"}}) {
        const simrun::Result run = simrun::Run(args, options);
        EXPECT_EQ(run.status, 255);
        EXPECT_EQ(run.out, "open vip driver error!!\n");
        EXPECT_EQ(Lines(run.log), std::vector<std::string>{"open /dev/zorvip missing"});
    }
}

TEST(ControlSim, ARefusedRequestIsReportedAndTheRunGoesOn) {
    simrun::Options options;
    options.target = std::string(kVipOnly) + "refuse 0xc0046b01\n";
    const simrun::Result run = simrun::Run({"-a", "1", "-s", "2", "9", "x"}, options);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "avrig: request 0xc0046b01 (VIP_SET_ASPECT) failed: Invalid argument\n");
    EXPECT_EQ(Lines(run.log), (std::vector<std::string>{"open /dev/zorvip",
                                                        "ioctl /dev/zorvip 0xc0046b01 value 0x00000001",
                                                        "ioctl /dev/zorvip 0x20006b64 none",
                                                        "ioctl /dev/zorvip 0xc0046b00 value 0x00000102",
                                                        "close /dev/zorvip"}));
}

TEST(ControlSim, AKeywordShortOfValuesIsReportedAndSendsNothing) {
    simrun::Options options;
    options.target = kVipOnly;
    const simrun::Result run = simrun::Run({"-a", "1", "output_window", "1", "2"}, options);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "avrig: output_window needs 4 values; nothing sent for it\n");
    EXPECT_EQ(Lines(run.log), (std::vector<std::string>{"open /dev/zorvip",
                                                        "ioctl /dev/zorvip 0xc0046b01 value 0x00000001",
                                                        "close /dev/zorvip"}));
}

}  // namespace
