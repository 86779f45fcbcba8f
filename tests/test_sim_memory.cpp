// The simulated memory as the register-access driver shows it: one word space keyed by
// physical address, directive order, and the registers and pictures of `pattern` and
// `jpeg`, read the way the capture side reads them.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "image/color.h"
#include "tests/support.h"
#include "tests/test_sim_support.h"

namespace {

using simtest::Load;
using simtest::Peek;
using simtest::PeekBytes;
using simtest::Poke;

uint32_t Sample10(const std::vector<uint8_t>& line, uint32_t n) {
    return static_cast<uint32_t>(Read10Bit(line.data(), static_cast<int32_t>(n)));
}

TEST(SimMemory, UncachedCachedAndPhysicalAddressesReachTheSameWord) {
    ASSERT_TRUE(Load("word 0x01000000 0x11111111\nword 0xbe1c61b0 0x00020003\n"));
    for (uint32_t segment : {0x00000000u, 0x80000000u, 0xa0000000u, 0xe0000000u}) {
        EXPECT_EQ(Peek(segment | 0x01000000u), 0x11111111u) << std::hex << segment;
    }
    EXPECT_EQ(Peek(0x1e1c61b0), 0x00020003u);
    EXPECT_EQ(Peek(0x9e1c61b0), 0x00020003u);
    Poke(0xa2000000, 0x5a5a5a5a);
    EXPECT_EQ(Peek(0x82000000), 0x5a5a5a5au);
}

TEST(SimMemory, UnalignedReadsGiveTheAlignedWordAndUnwrittenWordsReadZero) {
    ASSERT_TRUE(Load("word 0xbe1c61b0 0x44332211\n"));
    for (uint32_t address : {0xbe1c61b0u, 0xbe1c61b1u, 0xbe1c61b2u, 0xbe1c61b3u}) {
        EXPECT_EQ(Peek(address), 0x44332211u) << std::hex << address;
    }
    EXPECT_EQ(Peek(0xbe1c61b4), 0u);
    EXPECT_EQ(Peek(0xbe1c61ac), 0u);
    uint8_t byte = 0;
    ASSERT_EQ(RegReadByte(0xbe1c61b2, &byte), 1);
    EXPECT_EQ(byte, 0x33);
    // A runtime write to an unaligned address lands in its aligned word.
    Poke(0xbe1c61b6, 0x99);
    EXPECT_EQ(Peek(0xbe1c61b4), 0x99u);
}

constexpr const char* kSmallCapture = "capture 0x01000000 0x01030000 0x10000 0x10000 3\n";
constexpr const char* kSmallPattern = "pattern YUV_422C8 64 64 progressive\n";

TEST(SimMemory, DirectivesApplyInFileOrder) {
    ASSERT_TRUE(Load(std::string(kSmallCapture) + kSmallPattern));
    const uint32_t computed = Peek(0xa1000000);
    ASSERT_NE(computed, 0u);
    const uint32_t computedNext = Peek(0xa1000004);

    // A later word replaces a computed word (and a register the pattern set).
    ASSERT_TRUE(Load(std::string(kSmallCapture) + kSmallPattern +
                     "word 0x81000000 0x12345678\nword 0xbe1c61a0 5\n"));
    EXPECT_EQ(Peek(0xa1000000), 0x12345678u);
    EXPECT_EQ(Peek(0xa1000004), computedNext);
    EXPECT_EQ(Peek(0xbe1c61a0), 5u);

    // A later pattern covers earlier words in its buffers and sets its registers.
    ASSERT_TRUE(Load(std::string("word 0x01000000 0x12345678\nword 0xbe1c61a0 5\nword 0x01000000 0x9\n") +
                     kSmallCapture + kSmallPattern));
    EXPECT_EQ(Peek(0xa1000000), computed);
    EXPECT_EQ(Peek(0xbe1c61a0), 64u);

    // So does a runtime write, until the next load.
    Poke(0xa1000004, 0x01020304);
    EXPECT_EQ(Peek(0x81000004), 0x01020304u);
    EXPECT_EQ(Peek(0x81000008), Peek(0xa1000008));
}

// The page table's blocks hold 4 MiB each and are made where words are written: a buffer
// that begins in a block without words still hides the words of the next one.
TEST(SimMemory, APatternHidesWordsInEveryBlockItCovers) {
    const std::string capture = "capture 0x01200000 0x01900000 0x300000 0x600000 1\n"
                                "pattern YUV_422C10 1920 1080 progressive\n";
    ASSERT_TRUE(Load(capture));
    const uint32_t computed = Peek(0xa1400000);
    ASSERT_TRUE(Load("word 0x01400000 0x5\nword 0x00fffffc 0x7\n" + capture));
    EXPECT_NE(computed, 5u);
    EXPECT_EQ(Peek(0xa1400000), computed);
    EXPECT_EQ(Peek(0xa0fffffc), 7u);  // below the buffer
}

struct Geometry {
    const char* layout;
    uint32_t flag;
    uint32_t width;
    uint32_t height;
    const char* scan;
    uint32_t lineOffsetY;
    uint32_t lineOffsetUV;
};

TEST(SimPattern, ProgramsTheCaptureRegistersForEachLayoutAndScan) {
    // Widths on both sides of a 256-byte line boundary for each layout's chroma line.
    const Geometry cases[] = {
        {"YUV_444C10", 0, 102, 2, "progressive", 256, 256},  {"YUV_444C10", 0, 103, 2, "interlaced", 256, 512},
        {"YUV_444C8", 1, 128, 4, "progressive", 256, 256},   {"YUV_444C8", 1, 129, 4, "interlaced", 256, 512},
        {"YUV_422C10", 2, 204, 1, "progressive", 256, 256},  {"YUV_422C10", 2, 205, 3, "interlaced", 512, 512},
        {"YUV_422C10", 2, 409, 2, "progressive", 512, 768},  // the odd pixel's pair needs the extra byte
        {"YUV_422C8", 3, 255, 5, "progressive", 512, 256},   {"YUV_422C8", 3, 257, 5, "interlaced", 512, 512},
        {"YUV_444C10", 0, 4094, 4095, "progressive", 5120, 10240},
        {"YUV_422C8", 3, 1, 1, "interlaced", 256, 256},
    };
    for (const Geometry& c : cases) {
        const std::string line = std::string("pattern ") + c.layout + " " + std::to_string(c.width) + " " +
                                 std::to_string(c.height) + " " + c.scan + "\n";
        ASSERT_TRUE(Load("word 0xbe1c8044 1\nword 0xbe1c4030 0x01010101\n"
                         "capture 0x01000000 0x10000000 0x2800000 0x2800000 2\n" +
                         line))
            << line;
        const support::FrameProbe probe = support::ProbeFrame(Peek);
        EXPECT_EQ(probe.interlaced, std::string(c.scan) == "interlaced") << line;
        EXPECT_EQ(Peek(0xbe1c8044), 0u) << line;  // the JPEG buffer is off
        EXPECT_EQ(probe.lineOffsetY, c.lineOffsetY) << line;
        EXPECT_EQ(probe.lineOffsetUV, c.lineOffsetUV) << line;
        EXPECT_EQ(probe.height, c.height) << line;
        EXPECT_EQ(probe.width, c.width) << line;
        EXPECT_EQ(probe.flags, 1u << c.flag) << line;
    }
}

// Where the capture reads frame i's Y buffer.
uint32_t FrameY(uint32_t addrY, uint32_t sizeY, uint32_t sizeUV, bool interlaced, uint32_t i) {
    return support::FrameBuffersOf({addrY, 0, sizeY, sizeUV}, interlaced, i).y;
}

// The frame number the picture spells in its 16-cell strip.
uint32_t FrameCode(uint32_t frameY, uint32_t lineOffset, uint32_t width, uint32_t height) {
    const uint32_t row = (5 * height + 7) / 8;
    const std::vector<uint8_t> line = PeekBytes(frameY + row * lineOffset, lineOffset);
    uint32_t code = 0;
    for (uint32_t cell = 0; cell < 16; ++cell) {
        code = (code << 1) | (Sample10(line, (2 * cell + 1) * width / 32) > 512 ? 1u : 0u);
    }
    return code;
}

TEST(SimPattern, EveryFrameLiesInItsSlotWithItsOwnPicture) {
    struct Case {
        const char* scan;
        uint32_t count;
        const char* capture;
    } cases[] = {
        {"interlaced", 8, "capture 0x01000000 0x01060000 0x10000 0x10000 8\n"},
        {"progressive", 4, "capture 0x01000000 0x01030000 0x10000 0x10000 4\n"},
    };
    for (const Case& c : cases) {
        const bool interlaced = std::string(c.scan) == "interlaced";
        ASSERT_TRUE(Load(std::string(c.capture) + "pattern YUV_422C10 64 64 " + c.scan + "\n"));
        std::set<std::vector<uint8_t>> lumaPlanes;
        std::set<std::vector<uint8_t>> chromaPlanes;
        for (uint32_t i = 0; i < c.count; ++i) {
            const uint32_t y = FrameY(0x01000000, 0x10000, 0x10000, interlaced, i);
            EXPECT_EQ(FrameCode(y, 256, 64, 64), i) << c.scan << " frame " << i;
            lumaPlanes.insert(PeekBytes(y, 256 * 64));
            // SIZE_Y equals SIZE_UV, so each UV buffer lies ADDR_UV - ADDR_Y after its Y buffer.
            chromaPlanes.insert(PeekBytes(y + (interlaced ? 0x60000 : 0x30000), 256 * 64));
        }
        EXPECT_EQ(lumaPlanes.size(), c.count) << c.scan;
        EXPECT_EQ(chromaPlanes.size(), c.count) << c.scan;
    }
    // Past COUNT nothing is laid: the slot after the last frame reads 0.
    EXPECT_EQ(Peek(FrameY(0x01000000, 0x10000, 0x10000, false, 4)), 0u);
}

TEST(SimPattern, PictureIsStudioRangeWithAConsecutive10BitRamp) {
    ASSERT_TRUE(Load("capture 0x01000000 0x01300000 0x100000 0x100000 1\npattern YUV_444C10 1024 8 progressive\n"));
    const std::vector<uint8_t> bars = PeekBytes(0xa1000000, 1280);
    const std::vector<uint8_t> chroma = PeekBytes(0xa1300000, 2560);
    uint32_t lumaLow = 1023, lumaHigh = 0, chromaLow = 1023, chromaHigh = 0;
    for (uint32_t x = 0; x < 1024; ++x) {
        lumaLow = std::min(lumaLow, Sample10(bars, x));
        lumaHigh = std::max(lumaHigh, Sample10(bars, x));
        for (uint32_t k = 0; k < 2; ++k) {
            chromaLow = std::min(chromaLow, Sample10(chroma, 2 * x + k));
            chromaHigh = std::max(chromaHigh, Sample10(chroma, 2 * x + k));
        }
    }
    EXPECT_EQ(lumaLow, 16u * 4);
    EXPECT_EQ(lumaHigh, 235u * 4);
    EXPECT_EQ(chromaLow, 16u * 4);
    EXPECT_EQ(chromaHigh, 240u * 4);

    const std::vector<uint8_t> ramp = PeekBytes(0xa1000000 + 7 * 1280, 1280);
    for (uint32_t x = 0; x + 1 < 877; ++x) {
        ASSERT_EQ(Sample10(ramp, x + 1), Sample10(ramp, x) + 1) << x;
    }
    EXPECT_EQ(Sample10(ramp, 0), 64u);

    // 8-bit chroma layouts carry the same bars in bytes.
    ASSERT_TRUE(Load("capture 0x01000000 0x01300000 0x100000 0x100000 1\npattern YUV_422C8 64 8 progressive\n"));
    const std::vector<uint8_t> bytes = PeekBytes(0xa1300000, 64);
    EXPECT_EQ(*std::min_element(bytes.begin(), bytes.end()), 16);
    EXPECT_EQ(*std::max_element(bytes.begin(), bytes.end()), 240);
}

TEST(SimPattern, LongCapturesNeedNoStorageAndTheLastFrameWinsWhereAddressesWrap) {
    // 1200 frames of 6 MiB wrap the 512 MiB physical space many times over.
    ASSERT_TRUE(Load("capture 0x01000000 0x02200000 0x300000 0x300000 1200\n"
                     "pattern YUV_422C10 1920 1080 interlaced\n"));
    const uint32_t last = FrameY(0x01000000, 0x300000, 0x300000, true, 1199);
    EXPECT_EQ(FrameCode(last, 2560, 1920, 1080), 1199u);
    EXPECT_EQ(FrameCode(FrameY(0x01000000, 0x300000, 0x300000, true, 1198), 2560, 1920, 1080), 1198u);
}

TEST(SimJpeg, ProgramsTheBufferRegistersAndFillsCrCbYPixels) {
    struct Case {
        uint32_t width;
        uint32_t height;
        uint32_t lineOffset;
    } cases[] = {{640, 360, 2048}, {2, 1, 256}, {4096, 2047, 12288}, {86, 3, 512}};
    for (const Case& c : cases) {
        ASSERT_TRUE(Load("jpeg " + std::to_string(c.width) + " " + std::to_string(c.height) + "\n"));
        EXPECT_NE(Peek(0xbe1c8044), 0u);
        const support::JpegProbe probe = support::ProbeJpeg(Peek);
        const uint32_t base = probe.base, lineOffset = probe.lineOffset;
        EXPECT_EQ(probe.width, c.width);
        EXPECT_EQ(probe.height, c.height);
        EXPECT_EQ(lineOffset, c.lineOffset);
        if (c.width < 64) {
            continue;
        }
        // Top line: the white bar first, the red bar (sixth of eight) further on.
        const std::vector<uint8_t> top = PeekBytes(base, lineOffset);
        const uint32_t white = 3 * (c.width / 16 + c.width / 32);
        const uint32_t red = 3 * (c.width * 5 / 8 + c.width / 16);
        EXPECT_EQ(std::vector<uint8_t>(top.begin() + white, top.begin() + white + 3),
                  (std::vector<uint8_t>{128, 128, 235}));
        EXPECT_EQ(std::vector<uint8_t>(top.begin() + red, top.begin() + red + 3),
                  (std::vector<uint8_t>{240, 90, 81}));
    }
}

}  // namespace
