#include <gtest/gtest.h>

#include <cstring>

#include "device/frame_memory.h"
#include "device/mmio.h"
#include "device/watch.h"
#include "memget/frame_writers.h"
#include "tests/support.h"
#include "tests/fake_seam.h"

namespace {

class Mmio : public ::testing::Test {
protected:
    void SetUp() override { fake::Reset(); }
    void TearDown() override { fake::Reset(); }
    static fake::State& Seam() { return fake::Get(); }
};

TEST_F(Mmio, OpensTheDebugNodeFirstAndFallsBackToThePlainOne) {
    struct Case {
        std::set<std::string> nodes;
        std::vector<std::string> tried;
        bool opens;
    };
    const Case cases[] = {
        {{"/dev/zormmio-dbg", "/dev/zormmio"}, {"/dev/zormmio-dbg"}, true},
        {{"/dev/zormmio"}, {"/dev/zormmio-dbg", "/dev/zormmio"}, true},
        {{"/dev/zormmio-dbg"}, {"/dev/zormmio-dbg"}, true},
        {{}, {"/dev/zormmio-dbg", "/dev/zormmio"}, false},
    };
    for (const Case& c : cases) {
        fake::Reset();
        Seam().nodes = c.nodes;
        const int result = MmioOpen();
        EXPECT_EQ(Seam().opened, c.tried);
        EXPECT_EQ(result, fd);
        EXPECT_EQ(fd != -1, c.opens);
    }
}

TEST_F(Mmio, NothingHappensWhileTheDeviceIsClosed) {
    ASSERT_EQ(fd, -1);
    uint32_t word = 0xcafef00d;
    uint8_t byte = 0x77;
    EXPECT_EQ(RegReadWord(0xbe1c6000, &word), 0);
    EXPECT_EQ(word, 0xcafef00du);
    EXPECT_EQ(RegReadByte(0xbe1c6000, &byte), 0);
    EXPECT_EQ(byte, 0x77);
    // The value pointers are never read: a null pointer must not be touched.
    EXPECT_EQ(RegWriteWord(0xbe1c6000, nullptr), 0);
    EXPECT_EQ(RegWriteByte(0xbe1c6000, nullptr), 0);
    EXPECT_EQ(MmioClose(), -1);
    EXPECT_TRUE(Seam().ioctls.empty());
    EXPECT_TRUE(Seam().closed.empty());
}

TEST_F(Mmio, ReadByteTakesItsLaneFromTheAlignedWordAndStoresOneByte) {
    Seam().words[0xbe1c61b0] = 0x11223344;
    Seam().words[0xbe1c4030] = 0xa1b2c3d4;
    ASSERT_NE(MmioOpen(), -1);
    struct Case {
        uint32_t address;
        uint32_t aligned;
        uint8_t expected;
    };
    const Case cases[] = {
        {0xbe1c61b0, 0xbe1c61b0, 0x44}, {0xbe1c61b1, 0xbe1c61b0, 0x33},
        {0xbe1c61b2, 0xbe1c61b0, 0x22}, {0xbe1c61b3, 0xbe1c61b0, 0x11},
        {0xbe1c4033, 0xbe1c4030, 0xa1},
    };
    for (const Case& c : cases) {
        Seam().ioctls.clear();
        uint8_t guard[4] = {0xee, 0xee, 0xee, 0xee};
        EXPECT_EQ(RegReadByte(c.address, &guard[0]), 1);
        EXPECT_EQ(guard[0], c.expected);
        EXPECT_EQ(guard[1], 0xee);  // only one byte is stored
        EXPECT_EQ(guard[2], 0xee);
        EXPECT_EQ(guard[3], 0xee);
        ASSERT_EQ(Seam().ioctls.size(), 1u);
        EXPECT_EQ(Seam().ioctls[0].code, MMIO_REG_READ);
        EXPECT_EQ(Seam().ioctls[0].addr, c.aligned);
    }
}

TEST_F(Mmio, WordAccessPassesTheAddressUnchanged) {
    Seam().words[0xbe1c8040] = 0x01020304;
    ASSERT_NE(MmioOpen(), -1);
    uint32_t value = 0;
    EXPECT_EQ(RegReadWord(0xbe1c8042, &value), 1);
    EXPECT_EQ(Seam().ioctls.back().addr, 0xbe1c8042u);
    EXPECT_EQ(value, 0x01020304u);
    const uint32_t out = 0xdeadbeef;
    EXPECT_EQ(RegWriteWord(0xbe1c8044, &out), 1);
    EXPECT_EQ(Seam().ioctls.back().code, MMIO_REG_WRITE);
    EXPECT_EQ(Seam().ioctls.back().addr, 0xbe1c8044u);
    EXPECT_EQ(Seam().ioctls.back().value, 0xdeadbeefu);
}

TEST_F(Mmio, WriteByteReplacesOneLaneOfTheAlignedWord) {
    struct Case {
        uint32_t address;
        uint8_t byte;
        uint32_t before;
        uint32_t after;
    };
    const Case cases[] = {
        {0xbe1c4031, 0x5a, 0x11223344, 0x11225a44},
        {0xbe1c4030, 0xff, 0x11223344, 0x112233ff},
        {0xbe1c4033, 0x80, 0x11223344, 0x80223344},
    };
    for (const Case& c : cases) {
        fake::Reset();
        Seam().words[0xbe1c4030] = c.before;
        ASSERT_NE(MmioOpen(), -1);
        EXPECT_EQ(RegWriteByte(c.address, &c.byte), 1);
        ASSERT_EQ(Seam().ioctls.size(), 2u);
        EXPECT_EQ(Seam().ioctls[0].code, MMIO_REG_READ);
        EXPECT_EQ(Seam().ioctls[0].addr, 0xbe1c4030u);
        EXPECT_EQ(Seam().ioctls[1].code, MMIO_REG_WRITE);
        EXPECT_EQ(Seam().ioctls[1].addr, 0xbe1c4030u);
        EXPECT_EQ(Seam().ioctls[1].value, c.after);
        EXPECT_EQ(Seam().words[0xbe1c4030], c.after);
    }
}

TEST_F(Mmio, ARefusedReadStillReportsDoneAndDeliversZero) {
    Seam().words[0xbe1c6000] = 0xffffffff;
    Seam().refuseReads = true;
    ASSERT_NE(MmioOpen(), -1);
    uint32_t word = 0x12345678;
    uint8_t byte = 0x12;
    EXPECT_EQ(RegReadWord(0xbe1c6000, &word), 1);
    EXPECT_EQ(word, 0u);
    EXPECT_EQ(RegReadByte(0xbe1c6001, &byte), 1);
    EXPECT_EQ(byte, 0);
}

TEST_F(Mmio, WriteByteLeavesTheWordAloneWhenItsReadIsRefused) {
    Seam().words[0xbe1c4030] = 0x11223344;
    Seam().refuseReads = true;
    ASSERT_NE(MmioOpen(), -1);
    const uint8_t byte = 0x5a;
    EXPECT_EQ(RegWriteByte(0xbe1c4031, &byte), 1);
    ASSERT_EQ(Seam().ioctls.size(), 1u);  // the read only: no write of unread lanes
    EXPECT_EQ(Seam().words[0xbe1c4030], 0x11223344u);
}

TEST_F(Mmio, CloseReleasesTheDescriptorOnce) {
    ASSERT_NE(MmioOpen(), -1);
    const int opened = fd;
    EXPECT_EQ(MmioClose(), 0);
    EXPECT_EQ(fd, -1);
    EXPECT_EQ(MmioClose(), -1);  // a second close calls nothing
    EXPECT_EQ(Seam().closed, std::vector<int>{opened});
    uint32_t word = 7;
    EXPECT_EQ(RegReadWord(0, &word), 0);
}

TEST_F(Mmio, ReadLineFetchesOneWordPerRequestInAddressOrder) {
    fake::PutBytes(0xa0001000, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    ASSERT_NE(MmioOpen(), -1);
    for (uint32_t bytes : {0u, 1u, 4u, 6u, 12u}) {
        Seam().ioctls.clear();
        std::vector<uint8_t> buffer(16, 0xee);
        EXPECT_EQ(RegReadLine(0xa0001000, buffer.data(), bytes), 1);
        EXPECT_EQ(Seam().ioctls.size(), (bytes + 3) / 4) << bytes;
        for (size_t k = 0; k < Seam().ioctls.size(); ++k) {
            EXPECT_EQ(Seam().ioctls[k].addr, 0xa0001000u + 4u * k);
        }
        for (uint32_t k = 0; k < 16; ++k) {
            EXPECT_EQ(buffer[k], k < bytes ? k + 1 : 0xee) << bytes << " byte " << k;  // nothing past the length
        }
    }
    Seam().refuseReads = true;
    std::vector<uint8_t> buffer(8, 0xee);
    EXPECT_EQ(RegReadLine(0xa0001000, buffer.data(), 8), 1);
    EXPECT_EQ(buffer, std::vector<uint8_t>(8, 0));
    MmioClose();
    EXPECT_EQ(RegReadLine(0xa0001000, buffer.data(), 8), 0);
    buffer.assign(8, 0xee);
    ReadFrameLine(0xa0001000, buffer.data(), 8);  // what a frame gets of a line not read
    EXPECT_EQ(buffer, std::vector<uint8_t>(8, 0));
}

// A record holds what reads returned: a write, or a read the driver refused, is no memory.
TEST_F(Mmio, ARecordHoldsOnlyWhatReadsReturned) {
    const support::TempDir scratch;
    const std::string folder = scratch.Path() + "/rec";
    ASSERT_EQ(setenv("AVRIG_RECORD", folder.c_str(), 1), 0);
    char name[] = "avrig";
    char* argv[] = {name, nullptr};
    ASSERT_TRUE(WatchStart(1, argv));
    unsetenv("AVRIG_RECORD");
    fake::PutBytes(0xa0001000, {1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_NE(MmioOpen(), -1);
    const uint32_t value = 0x5a5a5a5a;
    RegWriteWord(0xbe1c4030, &value);
    std::vector<uint8_t> line(8);
    uint32_t word = 0;
    Seam().refuseReads = true;
    RegReadWord(0xbe1c4034, &word);
    RegReadLine(0xa0001000, line.data(), 8);
    Seam().refuseReads = false;
    RegReadWord(0xbe1c4038, &word);
    MmioClose();
    WatchFinish();
    const std::string target = support::ReadFile(folder + "/board.target");
    EXPECT_NE(target.find("\nword 0xbe1c4038 "), std::string::npos) << target;
    EXPECT_EQ(target.find("0xbe1c4030"), std::string::npos) << target;
    EXPECT_EQ(target.find("0xbe1c4034"), std::string::npos) << target;
    EXPECT_EQ(target.find("\nload "), std::string::npos) << target;
}

}  // namespace

namespace {

// The pages a plane's mapping covers, and what is never mapped: a plane the driver's
// addresses or the registers put past the 512 MiB window, wrapping round it, or longer
// than its line offset x height.
TEST(PlaneMapping, CoversTheUsedLinesInWholePagesAndNothingOutsideTheWindow) {
    struct Case {
        FramePlane plane;
        uint32_t page;
        bool mapped;
        PlaneMapping expected;
    };
    const Case cases[] = {
        // 480 lines of 900 bytes (rounded to 900), 1024 apart: 479 x 1024 + 900 bytes.
        {{0xa1000000u, 1024, 480, 900}, 4096, true, {0x01000000u, 0x78000u, 0x01000000u, 479u * 1024 + 900}},
        // Not on a page: the pages round out; 16 KiB pages as some MIPS kernels use.
        {{0x81000404u, 256, 3, 10}, 4096, true, {0x01000000u, 0x1000u, 0x01000404u, 524}},
        {{0x01003f00u, 512, 2, 512}, 16384, true, {0x01000000u, 0x8000u, 0x01003f00u, 1024}},
        // The last used byte is the window's last byte.
        {{0x1ffffc00u, 512, 2, 512}, 4096, true, {0x1ffff000u, 0x1000u, 0x1ffffc00u, 1024}},
        // One line more would reach past the window, or wrap round it.
        {{0x1ffffc00u, 512, 3, 512}, 4096, false, {}},
        {{0xfffff000u, 0x1000, 4095, 0x1000}, 4096, false, {}},
        {{0xbffffffcu, 0x100000, 2, 4}, 4096, false, {}},
        // A line longer than its line offset, lines not on a word, nothing used.
        {{0x01000000u, 256, 2, 260}, 4096, false, {}},
        {{0x01000002u, 256, 2, 8}, 4096, false, {}},
        {{0x01000000u, 258, 2, 8}, 4096, false, {}},
        {{0x01000000u, 256, 0, 8}, 4096, false, {}},
        {{0x01000000u, 256, 2, 0}, 4096, false, {}},
    };
    for (const Case& c : cases) {
        PlaneMapping got{};
        const char* refused = PlaneMappingOf(c.plane, c.page, &got);
        EXPECT_EQ(refused == nullptr, c.mapped) << std::hex << c.plane.address;
        if (c.mapped && refused == nullptr) {
            EXPECT_EQ(got.offset, c.expected.offset) << std::hex << c.plane.address;
            EXPECT_EQ(got.length, c.expected.length) << std::hex << c.plane.address;
            EXPECT_EQ(got.first, c.expected.first) << std::hex << c.plane.address;
            EXPECT_EQ(got.span, c.expected.span) << std::hex << c.plane.address;
            EXPECT_LE(uint64_t{got.offset} + got.length, 0x20000000u);
        }
    }
}

}  // namespace

namespace {

// A name cannot forge a line of the trace: its control bytes are shown as \xNN.
TEST(Trace, ShowsControlBytesInTheMemoryNodesName) {
    fake::Reset();
    const support::TempDir scratch;
    const std::string trace = scratch.Path() + "/trace";
    const std::string node = "/x\nmap /dev/mem 0x00000000 0x20000000";
    fake::Get().nodes.insert(node);
    ASSERT_EQ(setenv("AVRIG_TRACE", trace.c_str(), 1) | setenv("AVRIG_MEM", node.c_str(), 1), 0);
    char name[] = "avrig";
    char* argv[] = {name, nullptr};
    ASSERT_TRUE(WatchStart(1, argv));
    const FramePlane plane{0xa1000000, 256, 2, 16};
    EXPECT_FALSE(FrameMemoryMap(&plane, 1));  // the fake seam maps nothing
    FrameMemoryClose();
    WatchFinish();
    unsetenv("AVRIG_TRACE");
    unsetenv("AVRIG_MEM");
    const std::string text = support::ReadFile(trace);
    EXPECT_EQ(text.rfind("open /x\\x0amap /dev/mem 0x00000000 0x20000000\n", 0), 0u) << text;
    EXPECT_EQ(text.find("\nmap /dev/mem"), std::string::npos) << text;
    fake::Reset();
}

}  // namespace
