// Frames in the fake frame memory and the writers run into a temporary stream; the
// expected files come from the shared oracle (tests/support.h).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "device/mmio.h"
#include "memget/frame_writers.h"
#include "memget/output_formats.h"
#include "tests/fake_seam.h"
#include "tests/support.h"

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
struct Frame : support::FrameMemory {
    CaptureDescriptor desc;
};

// Stores the frame's lines into the fake memory (again after a test changed them).
inline void Store(const Frame& f) {
    for (uint32_t l = 0; l < f.luma.size(); ++l) {
        fake::PutBytes(kAddrY + l * f.desc.uiLineOffsetY, f.luma[l]);
        fake::PutBytes(kAddrUV + l * f.desc.uiLineOffsetUV, f.chroma[l]);
    }
}

// Resets the fake, opens the register device and stores random lines.
inline Frame MakeFrame(Layout layout, uint32_t width, uint32_t height, uint32_t offY = 256, uint32_t offUV = 512,
                       uint32_t seed = 1) {
    fake::Reset();
    MmioOpen();
    Frame f{};
    f.width = width;
    f.layout = {layout.colorSpace, layout.encodeMode};
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
        f.luma.push_back(y);
        f.chroma.push_back(c);
    }
    Store(f);
    return f;
}

// Frame-memory words a line of the frame should cost in the planes a writer fetches:
// those up to the one holding the last bit of the last pixel's samples, and none past
// the line offset.
inline uint32_t FloorReads(const Frame& f, uint8_t planes = kBothPlanes) {
    const uint32_t w = f.desc.uiWidth;
    if (w == 0) return 0;
    const uint32_t lastPair = f.desc.uiColorSpace == 1 ? w - 1 : (w - 1) / 2;
    const uint32_t lastChromaBit = f.desc.uiEncodeMode == 4 ? 8 * (2 * lastPair + 2) - 1 : 10 * (2 * lastPair + 2) - 1;
    const uint32_t y = std::min(((10 * w - 1) / 32 + 1), (f.desc.uiLineOffsetY + 3) / 4);
    const uint32_t uv = std::min(lastChromaBit / 32 + 1, (f.desc.uiLineOffsetUV + 3) / 4);
    return f.desc.uiHeight * ((planes & kLumaPlane ? y : 0) + (planes & kChromaPlane ? uv : 0));
}

struct Written {
    int status;
    std::vector<uint8_t> bytes;
    std::string out;  // what the writer printed on standard output
    std::string err;  // and on standard error
};

// Runs a writer into `stream` (a fresh tmpfile when null) and reads the file back; with
// `header`, the stream's header first, so the file is a whole one-frame stream.
inline Written RunWriter(int (*writer)(CaptureDescriptor*), CaptureDescriptor* desc, FILE* stream = nullptr,
                         int (*header)(CaptureDescriptor*) = nullptr) {
    FILE* file = stream != nullptr ? stream : tmpfile();
    desc->pFile = file;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Written w{(header == nullptr || header(desc)) ? writer(desc) : 0, {}, {}, {}};
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

// The whole file a format's row makes of one frame.
inline Written RunFormat(const OutputFormat& format, CaptureDescriptor* desc, FILE* stream = nullptr) {
    return RunWriter(format.write, desc, stream, format.streamHeader);
}

// The file the row's writer makes of one frame, by the oracle; empty (and a failure)
// for a row the oracle does not know.
inline std::vector<uint8_t> Expected(const OutputFormat& format, const support::FrameMemory& frame) {
    const support::FormatOracle* oracle = support::FindOracle(format.ending);
    EXPECT_NE(oracle, nullptr) << format.ending << " has no expected bytes";
    return oracle != nullptr ? oracle->file({frame}) : std::vector<uint8_t>{};
}

}  // namespace imgtest
