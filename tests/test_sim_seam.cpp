// The seam as the simulated target answers it: nodes, the VIP request table and its
// answers, refusals, the register-access counts and trace, the shell, and the exact log
// lines of each.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "device/seam.h"
#include "device/vip.h"
#include "tests/support.h"
#include "tests/test_sim_support.h"

namespace {

using simtest::Load;
using simtest::Peek;
using simtest::Poke;
using support::Lines;

constexpr int kReadWrite = 2;

TEST(SimSeam, OpensListedNodesOnlyAndLogsEveryAttempt) {
    std::string log;
    ASSERT_TRUE(Load("nodes /dev/zorvip /dev/zormmio-dbg\n", &log));
    const int vip = SeamOpen(kVipDevice, kReadWrite);
    EXPECT_GE(vip, 0);
    errno = 0;
    EXPECT_EQ(SeamOpen(kMmioDevice, kReadWrite), -1);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(SeamOpen("/etc/passwd", kReadWrite), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(MmioOpen(), fd);
    EXPECT_NE(fd, vip);
    EXPECT_EQ(SeamClose(vip), 0);
    errno = 0;
    EXPECT_EQ(SeamClose(vip), -1);  // already closed: nothing logged
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(MmioClose(), 0);
    EXPECT_EQ(log,
              "open /dev/zorvip\n"
              "open /dev/zormmio missing\n"
              "open /etc/passwd missing\n"
              "open /dev/zormmio-dbg\n"
              "close /dev/zorvip\n"
              "close /dev/zormmio-dbg reads=0 writes=0\n");

    ASSERT_TRUE(Load("nodes\n", &log));
    log.clear();
    EXPECT_EQ(SeamOpen(kVipDevice, kReadWrite), -1);
    EXPECT_EQ(log, "open /dev/zorvip missing\n");
}

TEST(SimSeam, CountsRegisterRequestsPerOpeningAndTracesThem) {
    std::string log;
    ASSERT_TRUE(Load("word 0xbe1c4030 0x11223344\n", &log));
    sim::SetTraceMmio(true);
    ASSERT_GE(MmioOpen(), 0);
    uint8_t byte = 0x5a;
    EXPECT_EQ(RegWriteByte(0xbe1c4031, &byte), 1);  // one read, one write
    EXPECT_EQ(Peek(0xbe1c4033), 0x11225a44u);
    uint32_t value = 7;
    EXPECT_EQ(RegWriteWord(0xa0000010, &value), 1);
    errno = 0;
    EXPECT_EQ(SeamIoctl(fd, VIP_SET_SOURCE, reinterpret_cast<uintptr_t>(&value)), -1);  // not its request
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(MmioClose(), 0);
    sim::SetTraceMmio(false);
    ASSERT_GE(MmioOpen(), 0);
    EXPECT_EQ(Peek(0x80000010), 7u);
    EXPECT_EQ(MmioClose(), 0);
    EXPECT_EQ(log,
              "open /dev/zormmio-dbg missing\n"
              "open /dev/zormmio\n"
              "mmio read 0xbe1c4030 -> 0x11223344\n"
              "mmio write 0xbe1c4030 <- 0x11225a44\n"
              "mmio read 0xbe1c4033 -> 0x11225a44\n"
              "mmio write 0xa0000010 <- 0x00000007\n"
              "ioctl /dev/zormmio 0xc0046b00 unknown\n"
              "close /dev/zormmio reads=2 writes=2\n"
              "open /dev/zormmio-dbg missing\n"
              "open /dev/zormmio\n"
              "close /dev/zormmio reads=1 writes=0\n");
}

TEST(SimSeam, LogsEachKindOfVipRequest) {
    std::string log;
    ASSERT_TRUE(Load("", &log));
    const int vip = SeamOpen(kVipDevice, kReadWrite);
    log.clear();
    ScreenWall wall{3, 0xab};
    const struct {
        uint32_t code;
        uintptr_t arg;
        int result;
        const char* line;
    } cases[] = {
        {VIP_SET_ASPECT, 2, 0, "ioctl /dev/zorvip 0xc0046b01 value 0x00000002"},
        {VIP_SET_MISC, 0xfffffff2u, 0, "ioctl /dev/zorvip 0xc0046b0a value 0xfffffff2"},
        {VIP_DATA_FORMAT, 0x1ff, 0, "ioctl /dev/zorvip 0xc0016b0c value 0x000001ff"},
        {VIP_INFO, 0, 0, "ioctl /dev/zorvip 0x20006b69 none"},
        {VIP_KEY_32, 0, 0, "ioctl /dev/zorvip 0x20006b71 none"},
        {VIP_SCREEN_WALL, reinterpret_cast<uintptr_t>(&wall), 0, "ioctl /dev/zorvip 0xc0026b0d record 03ab"},
        {0xc0046b51, 5, -1, "ioctl /dev/zorvip 0xc0046b51 unknown"},
        {MMIO_REG_READ, 0, -1, "ioctl /dev/zorvip 0xc0086b00 unknown"},
        {VIP_CAPTURE_POS, 0, -1, "ioctl /dev/zorvip 0xc0106b6f record fault"},
    };
    std::string expected;
    for (const auto& c : cases) {
        errno = 0;
        EXPECT_EQ(SeamIoctl(vip, c.code, c.arg), c.result) << c.line;
        if (c.result == 0) {
            EXPECT_EQ(errno, 0) << c.line;
        } else {
            EXPECT_NE(errno, 0) << c.line;
        }
        expected += std::string(c.line) + "\n";
    }
    EXPECT_EQ(log, expected);
    // Without a `capture` line the driver leaves the record as the program filled it.
    CaptureInfo capture{1, 2, 3, 4, 5, 1, {0, 0, 0}};
    ASSERT_EQ(SeamIoctl(vip, VIP_CAPTURE_INFO, reinterpret_cast<uintptr_t>(&capture)), 0);
    EXPECT_EQ(capture.uiAddrY, 1u);
    EXPECT_EQ(capture.iFrameCount, 5);
    log.clear();
    EXPECT_EQ(SeamIoctl(12345, VIP_INFO, 0), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(log, "");
}

TEST(SimSeam, AnswersQueriesAfterLoggingTheRecordAsSent) {
    std::string log;
    ASSERT_TRUE(Load("capture 0x01000000 0xa1168000 0x78000 0x78004 -1\n"
                     "zoom 0xff\n"
                     "border -1 0x7fffffff 0xffffffff 4\n"
                     "panel 1920 1080 1 2 3 4 5 0xffffffff\n",
                     &log));
    const int vip = SeamOpen(kVipDevice, kReadWrite);
    log.clear();

    CaptureInfo capture{};
    capture.uiAddrY = 0x11;
    capture.ucMemget = 1;
    capture.aucReserved[0] = 0xee;
    ASSERT_EQ(SeamIoctl(vip, VIP_CAPTURE_INFO, reinterpret_cast<uintptr_t>(&capture)), 0);
    EXPECT_EQ(capture.uiAddrY, 0x01000000u);
    EXPECT_EQ(capture.uiAddrUV, 0xa1168000u);
    EXPECT_EQ(capture.uiSizeY, 0x78000u);
    EXPECT_EQ(capture.uiSizeUV, 0x78004u);
    EXPECT_EQ(capture.iFrameCount, -1);
    EXPECT_EQ(capture.ucMemget, 1);  // only the five words are answers
    EXPECT_EQ(capture.aucReserved[0], 0xee);

    uint8_t zoom[4] = {0, 9, 9, 9};
    ASSERT_EQ(SeamIoctl(vip, VIP_GET_ZOOM, reinterpret_cast<uintptr_t>(zoom)), 0);
    EXPECT_EQ(static_cast<int8_t>(zoom[0]), -1);
    EXPECT_EQ(zoom[1], 9);

    BorderInfo border{};
    ASSERT_EQ(SeamIoctl(vip, VIP_GET_BORDER, reinterpret_cast<uintptr_t>(&border)), 0);
    EXPECT_EQ(border.iTop, -1);
    EXPECT_EQ(border.iDown, 0x7fffffff);
    EXPECT_EQ(border.iLeft, -1);
    EXPECT_EQ(border.iRight, 4);

    PanelInfo panel;
    std::memset(&panel, 0xaa, sizeof panel);
    ASSERT_EQ(SeamIoctl(vip, VIP_GET_PANEL, reinterpret_cast<uintptr_t>(&panel)), 0);
    EXPECT_EQ(panel.uiPanelMaxHres, 1920u);
    EXPECT_EQ(panel.uiPanelMaxVres, 1080u);
    EXPECT_EQ(panel.auiReserved1[0], 0xaaaaaaaau);
    EXPECT_EQ(panel.auiReserved1[7], 0xaaaaaaaau);
    EXPECT_EQ(panel.uiBaseAddrPage[0], 1u);
    EXPECT_EQ(panel.uiBaseAddrPage[5], 0xffffffffu);
    EXPECT_EQ(panel.auiReserved2[0], 0xaaaaaaaau);

    const std::vector<std::string> lines = Lines(log);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "ioctl /dev/zorvip 0xc0186b6c record 11000000" + std::string(32, '0') + "01ee0000");
    EXPECT_EQ(lines[1], "ioctl /dev/zorvip 0xc0046b52 record 00090909");
    EXPECT_EQ(lines[2], "ioctl /dev/zorvip 0xc0106b56 record 00000000000000000000000000000000");
    EXPECT_EQ(lines[3], "ioctl /dev/zorvip 0xc0486b50 record " + std::string(144, 'a'));
}

TEST(SimSeam, RefusedRequestsAreLoggedThenFailWithoutAnAnswer) {
    std::string log;
    ASSERT_TRUE(Load("capture 1 2 3 4 5\nrefuse 0xc0046b01 0xc0186b6c\nrefuse 0xC0086B00\nword 0x40 0x99\n", &log));
    const int vip = SeamOpen(kVipDevice, kReadWrite);
    log.clear();
    errno = 0;
    EXPECT_EQ(SeamIoctl(vip, VIP_SET_ASPECT, 3), -1);
    EXPECT_EQ(errno, EINVAL);
    CaptureInfo capture{};
    EXPECT_EQ(SeamIoctl(vip, VIP_CAPTURE_INFO, reinterpret_cast<uintptr_t>(&capture)), -1);
    EXPECT_EQ(capture.uiAddrY, 0u);
    EXPECT_EQ(SeamIoctl(vip, VIP_SET_SOURCE, 3), 0);
    // The register-access driver refuses reads too: the record keeps what was sent.
    sim::SetTraceMmio(true);
    ASSERT_GE(MmioOpen(), 0);
    MmioRegRequest request{0x40, 0x1234};
    EXPECT_EQ(SeamIoctl(fd, MMIO_REG_READ, reinterpret_cast<uintptr_t>(&request)), -1);
    EXPECT_EQ(request.uiValue, 0x1234u);
    EXPECT_EQ(MmioClose(), 0);
    EXPECT_EQ(log,
              "ioctl /dev/zorvip 0xc0046b01 value 0x00000003\n"
              "ioctl /dev/zorvip 0xc0186b6c record 000000000000000000000000000000000000000000000000\n"
              "ioctl /dev/zorvip 0xc0046b00 value 0x00000003\n"
              "open /dev/zormmio-dbg missing\n"
              "open /dev/zormmio\n"
              "mmio read 0x00000040 refused\n"
              "close /dev/zormmio reads=1 writes=0\n");
}

TEST(SimSeam, ShellCommandsAreLoggedNotRun) {
    std::string log;
    ASSERT_TRUE(Load("", &log));
    EXPECT_EQ(SeamSystem("byte 0xbe170122 1\n"), 0);
    EXPECT_EQ(SeamSystem("touch /nonexistent/avrig-sim-must-not-run"), 0);
    EXPECT_EQ(log, "shell byte 0xbe170122 1\nshell touch /nonexistent/avrig-sim-must-not-run\n");
}

// SimMain runs again and again in one process (as a fuzzer drives it), each run from a
// clean target, appending to the log.
TEST(SimMain, RunsRepeatedlyFromACleanStart) {
    const support::TempDir dir;
    const std::string target = dir.Path() + "/t.target";
    const std::string logPath = dir.Path() + "/sim.log";
    ASSERT_TRUE(support::WriteFile(target, "nodes\n"));
    setenv("AVRIG_SIM_TARGET", target.c_str(), 1);
    setenv("AVRIG_SIM_LOG", logPath.c_str(), 1);
    char name[] = "avrig-sim";
    char* argv[] = {name, nullptr};
    testing::internal::CaptureStdout();
    EXPECT_NE(SimMain(1, argv), 0);  // no VIP node: the tool cannot start
    EXPECT_NE(SimMain(1, argv), 0);
    testing::internal::GetCapturedStdout();
    unsetenv("AVRIG_SIM_TARGET");
    unsetenv("AVRIG_SIM_LOG");
    EXPECT_EQ(support::ReadFile(logPath), "open /dev/zorvip missing\nopen /dev/zorvip missing\n");
}

}  // namespace
