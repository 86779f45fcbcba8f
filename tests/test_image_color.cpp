// The reference operations, the header number writer and the JPEG row converter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/color.h"
#include "image/frame_rows.h"
#include "image/jpeg_row.h"
#include "tests/support.h"

namespace {

TEST(Read10Bit, UnpacksLeastSignificantBitFirst) {
    const uint8_t line[] = {0x01, 0x08, 0x30, 0x00, 0x01};
    for (int32_t n = 0; n < 4; ++n) EXPECT_EQ(Read10Bit(line, n), n + 1) << n;
    const uint8_t full[] = {0xff, 0x03};
    EXPECT_EQ(Read10Bit(full, 0), 1023);
}

TEST(Read10Bit, ReadsNoBytePastTheSample) {
    // Each line ends exactly at byte floor((10n + 9) / 8): ASan flags any read beyond.
    for (int32_t n = 0; n < 12; ++n) {
        std::vector<uint8_t> line(static_cast<size_t>((10 * n + 9) / 8 + 1), 0xff);
        EXPECT_EQ(Read10Bit(line.data(), n), 1023) << n;
    }
}

TEST(YuvToRgb, KnownPixels) {
    struct Case {
        int32_t y, cb, cr, r, g, b;
    };
    const Case cases[] = {{16, 128, 128, 0, 0, 0},    {128, 128, 128, 130, 130, 130}, {81, 90, 240, 255, 0, 0},
                          {0, 0, 0, 0, 135, 0},       {235, 128, 128, 255, 254, 255}, {256, 128, 128, 255, 255, 255},
                          {128, 128, 255, 255, 27, 130}, {128, 255, 128, 130, 80, 255}};
    for (const Case& c : cases) {
        int32_t r = -1, g = -1, b = -1;
        YuvToRgb(c.y, c.cb, c.cr, &r, &g, &b);
        EXPECT_EQ((std::vector<int32_t>{r, g, b}), (std::vector<int32_t>{c.r, c.g, c.b}))
            << c.y << "," << c.cb << "," << c.cr;
    }
}

TEST(ClipRGB, ClampsToByteRange) {
    const int32_t in[] = {256, 255, -1, 0, 100000, -100000};
    const int32_t out[] = {255, 255, 0, 0, 255, 0};
    for (size_t k = 0; k < 6; ++k) EXPECT_EQ(ClipRGB(in[k]), out[k]) << in[k];
}

TEST(PutIntToChar, AppendsDecimalDigits) {
    const std::pair<uint32_t, std::string> cases[] = {{7, "7"},       {10, "10"},   {100, "100"},
                                                      {4095, "4095"}, {0, "0"},     {4294967295u, "4294967295"}};
    for (const auto& c : cases) {
        uint8_t buffer[20] = {};
        int32_t length = 2;
        EXPECT_EQ(PUT_INT_TO_CHAR(buffer, &length, c.first, 20), 1);
        EXPECT_EQ(length, 2 + static_cast<int32_t>(c.second.size()));
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer + 2)), c.second);
    }
}

TEST(PutIntToChar, NeverWritesPastTheBuffer) {
    uint8_t buffer[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    int32_t length = 4;
    EXPECT_EQ(PUT_INT_TO_CHAR(buffer, &length, 10000, 8), 0);  // 5 digits, 4 places left
    EXPECT_EQ(length, 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 8), "xxxxxxxx");
    EXPECT_EQ(PUT_INT_TO_CHAR(buffer, &length, 1023, 8), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 8), "xxxx1023");
}

TEST(ConvertJpegRow, MatchesYuvToRgbForEveryByteTriple) {
    // One row per (Cr, Cb) pair holding every Y, plus a guard byte that must survive.
    std::vector<uint8_t> row(3 * 256 + 1);
    for (uint32_t cr = 0; cr < 256; ++cr) {
        for (uint32_t cb = 0; cb < 256; ++cb) {
            for (uint32_t y = 0; y < 256; ++y) {
                row[3 * y] = static_cast<uint8_t>(cr);
                row[3 * y + 1] = static_cast<uint8_t>(cb);
                row[3 * y + 2] = static_cast<uint8_t>(y);
            }
            row[3 * 256] = 0x5a;
            ConvertJpegRow(row.data(), 256);
            ASSERT_EQ(row[3 * 256], 0x5a);
            for (uint32_t y = 0; y < 256; ++y) {
                int32_t r = 0, g = 0, b = 0;
                YuvToRgb(static_cast<int32_t>(y), static_cast<int32_t>(cb), static_cast<int32_t>(cr), &r, &g, &b);
                ASSERT_EQ(row[3 * y], b) << cr << "," << cb << "," << y;
                ASSERT_EQ(row[3 * y + 1], g) << cr << "," << cb << "," << y;
                ASSERT_EQ(row[3 * y + 2], r) << cr << "," << cb << "," << y;
            }
        }
    }
}

// The table-driven rows against the per-sample reference (Read10Bit, YuvToRgb and the
// reduction, through the test oracle) for every sample value, compared whole: 4:4:4 lines
// of 1024 pixels whose luma runs through every 10-bit value, one line per chroma value c
// with Cr = c and Cb = max - c, so every (Y, Cr) and every (Y, Cb) pair of the chroma's
// width meets each row builder.
TEST(FrameRows, MatchTheReferenceForEverySampleValue) {
    constexpr uint32_t kWidth = 1024;
    for (const uint32_t encodeMode : {kEncodeChroma10, kEncodeChroma8}) {
        const support::Layout layout{kColorSpace444, encodeMode};
        const bool chroma10 = encodeMode == kEncodeChroma10;
        const uint32_t values = chroma10 ? 1024 : 256;
        std::vector<uint8_t> luma;
        for (uint32_t j = 0; j < kWidth; ++j) support::Put10(&luma, j, j);
        std::vector<uint8_t> lumaBuffer = luma;
        lumaBuffer.resize(luma.size() + 16, 0);
        std::vector<uint8_t> row(kWidth * kPpmPixelTextMax + 8);
        std::vector<uint16_t> planes(3 * kWidth);
        for (uint32_t c = 0; c < values; ++c) {
            std::vector<uint8_t> chroma;
            for (uint32_t j = 0; j < kWidth; ++j) {
                if (chroma10) {
                    support::Put10(&chroma, 2 * j, c);
                    support::Put10(&chroma, 2 * j + 1, values - 1 - c);
                } else {
                    chroma.push_back(static_cast<uint8_t>(c));
                    chroma.push_back(static_cast<uint8_t>(values - 1 - c));
                }
            }
            std::vector<uint8_t> chromaBuffer = chroma;
            chromaBuffer.resize(chroma.size() + 16, 0);
            FrameLines f{};
            f.chroma10 = chroma10;
            f.width = kWidth;
            f.luma = lumaBuffer.data();
            f.chroma = chromaBuffer.data();
            SCOPED_TRACE("chroma " + std::to_string(c) + (chroma10 ? " 10-bit" : " 8-bit"));

            // BMP and YUV rows hold each pixel's three bytes in the reverse of the oracle's order.
            for (const bool yuv : {false, true}) {
                std::vector<uint8_t> expected = support::ExpectedRgb(luma, chroma, layout, kWidth, yuv);
                for (size_t j = 0; j < kWidth; ++j) std::swap(expected[3 * j], expected[3 * j + 2]);
                (yuv ? BuildYuvRow : BuildBmpRow)(&f, row.data());
                ASSERT_EQ(std::vector<uint8_t>(row.begin(), row.begin() + 3 * kWidth), expected) << (yuv ? "yuv" : "bmp");
            }
            const std::vector<uint32_t> numbers = support::ExpectedPpmNumbers(luma, chroma, layout, kWidth);
            std::string text;
            for (const uint32_t n : numbers) text += std::to_string(n) + " ";
            const size_t length = BuildPpmRow(&f, row.data());
            ASSERT_EQ(std::string(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(length)), text);
            BuildPlanarRow(&f, planes.data(), planes.data() + kWidth, planes.data() + 2 * kWidth);
            for (size_t j = 0; j < kWidth; ++j) {
                ASSERT_EQ(planes[j], numbers[3 * j]) << j;
                ASSERT_EQ(planes[kWidth + j], numbers[3 * j + 1]) << j;
                ASSERT_EQ(planes[2 * kWidth + j], numbers[3 * j + 2]) << j;
            }
        }
    }
}

}  // namespace
