// Target files: what is refused and with which message, number forms, `load`, and the
// default target shipped beside the sources against the one built in.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <sstream>

#include "device/seam.h"
#include "device/vip.h"
#include "sim/state.h"
#include "tests/support.h"
#include "tests/test_sim_support.h"

namespace {

using simtest::Load;
using simtest::LoadError;
using simtest::Peek;

constexpr const char* kCapture = "capture 0x01000000 0x01168000 0x78000 0x78000 3\n";

struct BadTarget {
    const char* text;
    const char* error;
};

TEST(SimTargetFile, RefusesWithFileLineAndReason) {
    const BadTarget cases[] = {
        {"bogus 1", "t.target:1: unknown directive \"bogus\""},
        {"# comment\n\n  word 0x10", "t.target:3: word: missing VALUE"},
        {"word 0x10 zz", "t.target:1: word: VALUE \"zz\" is not a number"},
        {"word 0x10 1\x01", "t.target:1: word: VALUE \"1\\x01\" is not a number"},
        {"word 0x10 1 2", "t.target:1: word: unexpected field \"2\""},
        {"word 0x12 1", "t.target:1: word: ADDRESS 0x00000012 is not a multiple of 4"},
        {"word 0x100000000 1", "t.target:1: word: ADDRESS \"0x100000000\" is out of range"},
        {"word -4 1", "t.target:1: word: ADDRESS \"-4\" is not a number"},
        {"zoom 128", "t.target:1: zoom: N \"128\" is out of range"},
        {"zoom 0x100", "t.target:1: zoom: N \"0x100\" is out of range"},
        {"capture -1 2 3 4 5", "t.target:1: capture: ADDR_Y \"-1\" is not a number"},
        {"capture 1 2 3 4 2147483648", "t.target:1: capture: COUNT \"2147483648\" is out of range"},
        {"border 1 2 3", "t.target:1: border: missing RIGHT"},
        {"panel 1 2 3 4 5 6 7", "t.target:1: panel: missing P5"},
        {"nodes /dev/zorvip /dev/null", "t.target:1: nodes: unknown device node \"/dev/null\""},
        {"pattern YUV_422C10 720 480 progressive", "t.target:1: pattern: needs a capture line before it"},
        {"refuse 12", "t.target:1: refuse: CODE \"12\" is not a hexadecimal number with 0x"},
        {"refuse", "t.target:1: refuse: missing CODE"},
        {"refuse 0xc0046b01 EWHAT", "t.target:1: refuse: ERROR \"EWHAT\" is not an error name this file knows"},
        {"file /dev/mem", "t.target:1: file: \"/dev/mem\" is a device node"},
        {"mapword 0x1002 0x0", "t.target:1: mapword: ADDRESS is not a multiple of 4"},
        {"maprefuse EWHAT", "t.target:1: maprefuse: ERROR \"EWHAT\" is not an error name this file knows"},
        {"load 0x0 f.bin 0", "t.target:1: load: missing LENGTH"},
        {"jpeg 3 10", "t.target:1: jpeg: WIDTH 3 must be even and in 2..4096"},
        {"jpeg 4098 10", "t.target:1: jpeg: WIDTH 4098 must be even and in 2..4096"},
        {"jpeg 2 0", "t.target:1: jpeg: HEIGHT 0 is out of range (1..2047)"},
        {"jpeg 2 2048", "t.target:1: jpeg: HEIGHT 2048 is out of range (1..2047)"},
    };
    for (const BadTarget& c : cases) {
        EXPECT_EQ(LoadError(c.text), c.error) << c.text;
    }
}

TEST(SimTargetFile, RefusesPatternsTheRegistersOrBuffersCannotHold) {
    const BadTarget cases[] = {
        {"pattern YUV_420 720 480 progressive",
         "t.target:2: pattern: LAYOUT \"YUV_420\" is not YUV_444C10, YUV_444C8, YUV_422C10 or YUV_422C8"},
        {"pattern YUV_422C10 720 480 sideways",
         "t.target:2: pattern: SCAN \"sideways\" is not progressive or interlaced"},
        {"pattern YUV_422C10 720 480", "t.target:2: pattern: missing SCAN"},
        {"pattern YUV_422C10 16 4 progressive loose Y 1 0", "t.target:2: pattern: FAULT \"loose\" is not stuck or bridge"},
        {"pattern YUV_422C10 16 4 progressive stuck U 1 0", "t.target:2: pattern: COMPONENT \"U\" is not Y, Cb or Cr"},
        {"pattern YUV_422C10 16 4 progressive stuck Y 10 0", "t.target:2: pattern: the Y samples have bits 0..9"},
        {"pattern YUV_422C8 16 4 progressive bridge Cr 7 8",
         "t.target:2: pattern: the Cr samples have bits 0..7, and a bridge joins two of them"},
        {"pattern YUV_422C10 16 4 progressive bridge Cb 3 3",
         "t.target:2: pattern: the Cb samples have bits 0..9, and a bridge joins two of them"},
        {"pattern YUV_422C10 16 4 progressive stuck Y 1 2", "t.target:2: pattern: a stuck bit's VALUE is 0 or 1"},
        {"pattern YUV_422C10 16 4 progressive stuck Y 1 0 x", "t.target:2: pattern: unexpected field \"x\""},
        {"pattern YUV_422C10 0 480 progressive", "t.target:2: pattern: WIDTH 0 is out of range (1..4094)"},
        {"pattern YUV_422C10 4095 4 progressive", "t.target:2: pattern: WIDTH 4095 is out of range (1..4094)"},
        {"pattern YUV_422C10 16 0 progressive", "t.target:2: pattern: HEIGHT 0 is out of range (1..4095)"},
        {"pattern YUV_422C10 16 4096 progressive", "t.target:2: pattern: HEIGHT 4096 is out of range (1..4095)"},
        // 720 pixels need 1024-byte lines: 481 of them exceed 0x78000.
        {"pattern YUV_422C10 720 481 progressive",
         "t.target:2: pattern: SIZE_Y 0x78000 cannot hold a frame of 0x78400 bytes"},
        {"pattern YUV_444C10 720 480 progressive",
         "t.target:2: pattern: SIZE_UV 0x78000 cannot hold a frame of 0xf0000 bytes"},
    };
    for (const BadTarget& c : cases) {
        EXPECT_EQ(LoadError(std::string(kCapture) + c.text), c.error) << c.text;
    }
    EXPECT_EQ(LoadError("capture 0x01000002 0x01168000 0x78000 0x78000 3\n"
                        "pattern YUV_422C10 720 480 progressive"),
              "t.target:2: pattern: the capture line's addresses and sizes must be multiples of 4");
    // The UV buffers start inside the third Y buffer.
    EXPECT_EQ(LoadError("capture 0x01000000 0x01100000 0x78000 0x78000 3\n"
                        "pattern YUV_422C10 720 480 progressive"),
              "t.target:2: pattern: the frame buffers of a group overlap (ADDR_UV, SIZE_Y and SIZE_UV must keep "
              "them apart)");
    // Interlaced groups hold six Y buffers: a layout made for three is too tight.
    EXPECT_EQ(LoadError(std::string(kCapture) + "pattern YUV_422C10 720 480 interlaced"),
              "t.target:2: pattern: the frame buffers of a group overlap (ADDR_UV, SIZE_Y and SIZE_UV must keep "
              "them apart)");
}

TEST(SimTargetFile, FailedLoadLeavesThePreviousTarget) {
    ASSERT_TRUE(Load("word 0x100 7"));
    std::string error;
    EXPECT_FALSE(sim::LoadTargetText("t.target", "", "word 0x100 8\nbogus", &error));
    EXPECT_EQ(Peek(0x100), 7u);
}

TEST(SimTargetFile, AcceptsCommentsBlanksTabsAndLineEnds) {
    ASSERT_TRUE(Load("# header\n\n\tword\t0x100  0x2a   # trailing\r\nword 0x104 42\r\n   \n"));
    EXPECT_EQ(Peek(0x100), 0x2au);
    EXPECT_EQ(Peek(0x104), 42u);
}

TEST(SimTargetFile, UnreadableTargetNamesLineZero) {
    std::string error;
    EXPECT_FALSE(sim::LoadTargetFile("/nonexistent/x.target", &error));
    EXPECT_EQ(error, "/nonexistent/x.target:0: cannot read");
}

// A file of lines that load the same file again and again stops at what physical memory
// holds, before the line past it is read.
TEST(SimTargetFile, LoadLinesPlaceAtMostThePhysicalMemory) {
    const support::TempDir temp;
    const std::string target = temp.Path() + "/t.target";
    const std::string file = temp.Path() + "/m.bin";
    ASSERT_TRUE(support::WriteFile(file, ""));
    ASSERT_EQ(truncate(file.c_str(), 64 << 20), 0);  // sparse: 64 MiB to read, none stored on disk
    std::string lines;
    for (int i = 0; i < 9; ++i) lines += "load 0x0 m.bin\n";
    ASSERT_TRUE(support::WriteFile(target, lines));
    std::string error;
    EXPECT_FALSE(sim::LoadTargetFile(target, &error));
    EXPECT_EQ(error, target + ":9: load: the load lines place more than 512 MiB in all");
    // A part of a file over 64 MiB, and names of more parts than all lines may open.
    ASSERT_EQ(truncate(file.c_str(), (64 << 20) + 1), 0);
    std::string deep;
    for (int i = 0; i < 1 << 18; ++i) deep += "d/";
    const std::pair<std::string, std::string> cases[] = {
        {"load 0x0 m.bin 0 16\n", ":1: load: \"m.bin\" is larger than 64 MiB"},
        {"word 0x0 1\nload 0x0 " + deep + "f\n", ":2: load: the load lines open more than 262144 files and folders in all"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(support::WriteFile(target, c.first));
        EXPECT_FALSE(sim::LoadTargetFile(target, &error));
        EXPECT_EQ(error, target + c.second);
    }
}

// Every register read looks its code up among the refused ones; a recorded board may
// refuse many codes, and the capture must not slow down with their number. CPU time of
// the same reads against 1 code and against 100,000, each the best of three rounds.
TEST(SimTargetFile, RefusedCodeLookupDoesNotGrowWithTheirNumber) {
    auto readTime = [](uint32_t codes) {
        std::string text = "refuse";
        for (uint32_t i = 1; i <= codes; ++i) text += " " + support::Hex(i);
        EXPECT_TRUE(Load(text));
        std::clock_t best = CLOCKS_PER_SEC * 100;
        for (int round = 0; round < 3; ++round) {
            const std::clock_t start = std::clock();
            for (uint32_t k = 0; k < 20000; ++k) Peek(4 * k);
            best = std::min(best, std::clock() - start);
        }
        MmioClose();
        return best;
    };
    const std::clock_t few = readTime(1);
    EXPECT_LT(readTime(100000), 10 * few + CLOCKS_PER_SEC / 20);

    // Found wherever it is listed; a code listed twice fails as its first line says.
    ASSERT_TRUE(Load("refuse 0x5 0xc0086b00 0x1 EIO\nrefuse 0x3 0xc0086b00 EPERM\n"));
    const sim::Target& target = sim::GetState().target;
    EXPECT_EQ(sim::RefusalOf(target, 0xc0086b00), EIO);
    EXPECT_EQ(sim::RefusalOf(target, 0x3), EPERM);
    EXPECT_EQ(sim::RefusalOf(target, 0x4), 0);
}

class SimLoad : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = dir_ + "/" + name;
        EXPECT_TRUE(support::WriteFile(path, bytes));
        return path;
    }
    const support::TempDir temp_;
    const std::string dir_ = temp_.Path();
};

TEST_F(SimLoad, PlacesBytesLittleEndianAndZeroFillsTheLastWord) {
    Write("six.bin", std::string("\x01\x02\x03\x04\x05\x06", 6));
    ASSERT_EQ(mkdir((dir_ + "/sub").c_str(), 0700), 0);
    Write("sub/four.bin", "abcd");
    // Relative to the target file's folder, not to where the program runs.
    const std::string target =
        Write("board.target", "word 0x2004 0xffffffff\nload 0xa0002000 six.bin\nload 0x3000 ./sub//four.bin\n");
    std::string error;
    ASSERT_TRUE(sim::LoadTargetFile(target, &error)) << error;
    fd = -1;
    EXPECT_EQ(Peek(0x80002000), 0x04030201u);
    EXPECT_EQ(Peek(0x00002004), 0x00000605u);  // the load replaced the earlier word whole
    EXPECT_EQ(Peek(0x00002008), 0u);
    EXPECT_EQ(Peek(0x3000), 0x64636261u);
}

TEST_F(SimLoad, RefusesUnalignedAddressesAndMissingNames) {
    EXPECT_EQ(LoadError("load 0x1002 x.bin", dir_), "t.target:1: load: ADDRESS 0x00001002 is not a multiple of 4");
    EXPECT_EQ(LoadError("load 0x1000", dir_), "t.target:1: load: missing FILE");
}

TEST(SimDefaultTarget, ShippedFileIsTheBuiltInTarget) {
    const std::string text = support::ReadFile(AVRIG_DEFAULT_TARGET_FILE);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text, sim::DefaultTargetText());

    // Same answers, registers and frames either way.
    auto observe = [](bool fromFile) {
        sim::Reset();
        fd = -1;
        std::string error;
        EXPECT_TRUE(fromFile ? sim::LoadTargetFile(AVRIG_DEFAULT_TARGET_FILE, &error)
                             : sim::LoadDefaultTarget(&error))
            << error;
        std::string log;
        sim::LogToMemory(&log);
        const int vip = SeamOpen(kVipDevice, 2);
        CaptureInfo capture{};
        SeamIoctl(vip, VIP_CAPTURE_INFO, reinterpret_cast<uintptr_t>(&capture));
        PanelInfo panel{};
        SeamIoctl(vip, VIP_GET_PANEL, reinterpret_cast<uintptr_t>(&panel));
        BorderInfo border{};
        SeamIoctl(vip, VIP_GET_BORDER, reinterpret_cast<uintptr_t>(&border));
        uint8_t zoom[4] = {};
        SeamIoctl(vip, VIP_GET_ZOOM, reinterpret_cast<uintptr_t>(zoom));
        SeamClose(vip);
        std::ostringstream seen;
        seen << capture.uiAddrY << ' ' << capture.uiAddrUV << ' ' << capture.uiSizeY << ' ' << capture.uiSizeUV
             << ' ' << capture.iFrameCount << ' ' << panel.uiPanelMaxHres << ' ' << panel.uiPanelMaxVres << ' '
             << panel.uiBaseAddrPage[5] << ' ' << border.iTop << ' ' << border.iRight << ' ' << int{zoom[0]};
        uint64_t sum = 0;
        for (uint32_t address = 0xbe1c4000; address < 0xbe1d0000; address += 4) {
            sum = sum * 31 + Peek(address);
        }
        for (uint32_t address = 0xa1000000; address < 0xa1000000 + 9 * 0x78000; address += 4) {
            sum = sum * 31 + Peek(address);
        }
        MmioClose();
        seen << ' ' << sum << '\n' << log;
        return seen.str();
    };
    const std::string builtIn = observe(false);
    EXPECT_EQ(observe(true), builtIn);
    EXPECT_NE(builtIn.find("open /dev/zormmio-dbg missing\nopen /dev/zormmio\n"), std::string::npos);
}

}  // namespace
