// Frames in the fake frame memory, the writers run into a temporary stream, and the
// expected files built straight from the reference operations (Read10Bit, YuvToRgb).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "device/mmio.h"
#include "image/color.h"
#include "image/writers.h"
#include "tests/fake_seam.h"

namespace imgtest {

struct Layout {
    uint32_t colorSpace;
    uint32_t encodeMode;
    const char* name;
};
constexpr Layout kLayouts[] = {{1, 3, "444C10"}, {1, 4, "444C8"}, {2, 3, "422C10"}, {2, 4, "422C8"}};

constexpr uint32_t kAddrY = 0xa1000000;
constexpr uint32_t kAddrUV = 0xa1800000;

// A frame's lines as stored in the fake memory (each exactly one line offset long).
struct Frame {
    CaptureDescriptor desc;
    std::vector<std::vector<uint8_t>> luma;
    std::vector<std::vector<uint8_t>> chroma;
};

// Resets the fake, opens the register device and stores random lines.
inline Frame MakeFrame(Layout layout, uint32_t width, uint32_t height, uint32_t offY = 256, uint32_t offUV = 512,
                       uint32_t seed = 1) {
    fake::Reset();
    MmioOpen();
    Frame f{};
    f.desc.uiWidth = width;
    f.desc.uiHeight = height;
    f.desc.uiRowBytes = 3 * width;
    f.desc.uiColorSpace = layout.colorSpace;
    f.desc.uiEncodeMode = layout.encodeMode;
    f.desc.uiLineOffsetY = offY;
    f.desc.uiLineOffsetUV = offUV;
    f.desc.uiCurAddrY = kAddrY;
    f.desc.uiCurAddrUV = kAddrUV;
    std::mt19937 rng(seed);
    for (uint32_t l = 0; l < height; ++l) {
        std::vector<uint8_t> y(offY), c(offUV);
        for (auto& b : y) b = static_cast<uint8_t>(rng());
        for (auto& b : c) b = static_cast<uint8_t>(rng());
        fake::PutBytes(kAddrY + l * offY, y);
        fake::PutBytes(kAddrUV + l * offUV, c);
        f.luma.push_back(y);
        f.chroma.push_back(c);
    }
    return f;
}

// Sets one 10-bit sample in a line (and in the fake memory).
inline void Put10(std::vector<uint8_t>* line, uint32_t n, uint32_t v) {
    for (uint32_t i = 0; i < 10; ++i) {
        const uint32_t k = 10 * n + i;
        (*line)[k / 8] = static_cast<uint8_t>(((*line)[k / 8] & ~(1u << (k % 8))) | (((v >> i) & 1u) << (k % 8)));
    }
}
inline void Store(const Frame& f) {
    for (uint32_t l = 0; l < f.luma.size(); ++l) {
        fake::PutBytes(kAddrY + l * f.desc.uiLineOffsetY, f.luma[l]);
        fake::PutBytes(kAddrUV + l * f.desc.uiLineOffsetUV, f.chroma[l]);
    }
}

struct Samples {
    int32_t y, cb, cr;  // 10-bit luma; chroma as stored (10-bit or a byte)
    bool chroma8;
};

// Pixel i of line l from the layout table; bytes past a line read as 0.
inline Samples PixelSamples(const Frame& f, uint32_t l, uint32_t i) {
    std::vector<uint8_t> y = f.luma[l], c = f.chroma[l];
    y.resize(y.size() + 8 * f.desc.uiWidth + 8);
    c.resize(c.size() + 8 * f.desc.uiWidth + 8);
    const uint32_t pair = f.desc.uiColorSpace == 1 ? i : i / 2;
    const bool c8 = f.desc.uiEncodeMode == 4;
    Samples s{Read10Bit(y.data(), static_cast<int32_t>(i)), 0, 0, c8};
    s.cr = c8 ? c[2 * pair] : Read10Bit(c.data(), static_cast<int32_t>(2 * pair));
    s.cb = c8 ? c[2 * pair + 1] : Read10Bit(c.data(), static_cast<int32_t>(2 * pair + 1));
    return s;
}

inline void Le(std::vector<uint8_t>* out, uint64_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) out->push_back(static_cast<uint8_t>(v >> (8 * k)));
}

inline std::vector<uint8_t> ExpectedBmpHeader(uint32_t w, uint32_t h) {
    const uint32_t p = (3 * w + 3) / 4 * 4;
    std::vector<uint8_t> out{'B', 'M'};
    Le(&out, 54 + p * h, 4);
    Le(&out, 0, 4);
    Le(&out, 54, 4);
    Le(&out, 40, 4);
    Le(&out, w, 4);
    Le(&out, h, 4);
    Le(&out, 1, 2);
    Le(&out, 24, 2);
    Le(&out, 0, 8);
    Le(&out, 100, 4);
    Le(&out, 100, 4);
    Le(&out, 0, 8);
    return out;
}

// Line l as R, G, B per pixel (the YUV dump: Y, Cb, Cr on the 8-bit scale).
inline std::vector<uint8_t> ExpectedRgb(const Frame& f, uint32_t l, bool yuv) {
    std::vector<uint8_t> out;
    auto reduce = [](int32_t v) { return (v + 2) >> 2; };
    for (uint32_t i = 0; i < f.desc.uiWidth; ++i) {
        const Samples s = PixelSamples(f, l, i);
        const int32_t y = reduce(s.y), cb = s.chroma8 ? s.cb : reduce(s.cb), cr = s.chroma8 ? s.cr : reduce(s.cr);
        int32_t r = std::min(y, 255), g = std::min(cb, 255), b = std::min(cr, 255);
        if (!yuv) YuvToRgb(y, cb, cr, &r, &g, &b);
        out.insert(out.end(), {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)});
    }
    return out;
}

// The whole expected file: bottom line first, B G R, rows padded with zeros.
inline std::vector<uint8_t> ExpectedBmp(const Frame& f, bool yuv) {
    std::vector<uint8_t> out = ExpectedBmpHeader(f.desc.uiWidth, f.desc.uiHeight);
    for (uint32_t l = f.desc.uiHeight; l-- > 0;) {
        std::vector<uint8_t> row = ExpectedRgb(f, l, yuv);
        for (size_t k = 0; k < row.size(); k += 3) std::swap(row[k], row[k + 2]);
        row.resize((row.size() + 3) / 4 * 4, 0);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

inline std::vector<uint8_t> ExpectedPpm(const Frame& f) {
    std::string text = std::string("P3") + '\0' + '\n' + std::to_string(f.desc.uiWidth) + ' ' +
                       std::to_string(f.desc.uiHeight) + '\0' + '\n' + "1023" + '\0' + '\n';
    for (uint32_t l = 0; l < f.desc.uiHeight; ++l) {
        for (uint32_t i = 0; i < f.desc.uiWidth; ++i) {
            const Samples s = PixelSamples(f, l, i);
            const int scale = s.chroma8 ? 4 : 1;
            text += std::to_string(s.y) + ' ' + std::to_string(s.cb * scale) + ' ' + std::to_string(s.cr * scale) + ' ';
        }
    }
    return std::vector<uint8_t>(text.begin(), text.end());
}

struct Written {
    int status;
    std::vector<uint8_t> bytes;
    std::string out;  // what the writer printed on standard output
    std::string err;  // and on standard error
};

// Runs a writer into `stream` (a fresh tmpfile when null) and reads the file back.
inline Written RunWriter(int (*writer)(CaptureDescriptor*), CaptureDescriptor* desc, FILE* stream = nullptr) {
    FILE* file = stream != nullptr ? stream : tmpfile();
    desc->pFile = file;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Written w{writer(desc), {}, {}, {}};
    w.out = testing::internal::GetCapturedStdout();
    w.err = testing::internal::GetCapturedStderr();
    if (stream == nullptr) {
        fflush(file);
        rewind(file);
        for (int ch; (ch = fgetc(file)) != EOF;) w.bytes.push_back(static_cast<uint8_t>(ch));
        fclose(file);
    }
    desc->pFile = nullptr;
    return w;
}

}  // namespace imgtest
