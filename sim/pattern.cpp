// `pattern` and `jpeg`: the capture block's registers set as the capture side probes
// them, and the test picture laid where it will read the frames.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "memget/capture_names.h"
#include "sim/target.h"

namespace sim {

namespace {

constexpr uint32_t kRegCaptureControl = 0xbe1c6000;  // bit 3: interlaced
constexpr uint32_t kRegJpegActive = 0xbe1c8044;
constexpr uint32_t kRegLineOffsets = 0xbe1c61b0;  // byte 0 Y, byte 2 UV, units of 256
constexpr uint32_t kRegHeight = 0xbe1c61a0;
constexpr uint32_t kRegCaptureStart = 0xbe1cfcc0;
constexpr uint32_t kRegCaptureEnd = 0xbe1cfcc8;
constexpr uint32_t kRegPanelStart = 0xbe1cc040;
constexpr uint32_t kRegPanelEnd = 0xbe1cc048;
constexpr uint32_t kRegFormatFlags = 0xbe1c4030;  // one byte per layout, bit 0
constexpr uint32_t kRegJpegBase = 0xbe1c8060;     // units of 16 bytes
constexpr uint32_t kRegJpegHStart = 0xbe1cc400;
constexpr uint32_t kRegJpegVStart = 0xbe1cc404;
constexpr uint32_t kRegJpegHEnd = 0xbe1cc408;
constexpr uint32_t kRegJpegVEnd = 0xbe1cc40c;
constexpr uint32_t kRegJpegLineOffset = 0xbe1c8074;  // units of 256

constexpr uint32_t kInterlacedBit = 0x08;
constexpr uint32_t kMaxPatternWidth = 4094;  // the panel window cannot be wider
constexpr uint32_t kMaxPatternHeight = 0xfff;
constexpr uint32_t kPanelWidth = 1920;
constexpr int32_t kFrameOrder[6] = {0, 3, 1, 4, 2, 5};

uint32_t RoundUp256(uint32_t bytes) { return (bytes + 255u) & ~255u; }

uint32_t LumaLineBytes(uint32_t width) { return (10u * width + 7u) / 8u; }

uint32_t ChromaLineBytes(Layout layout, uint32_t width) {
    const uint32_t even = width + (width & 1u);
    switch (layout) {
    case Layout::kYuv444C10:
        return (20u * width + 7u) / 8u;
    case Layout::kYuv444C8:
        return 2u * width;
    case Layout::kYuv422C10:
        return (10u * even + 7u) / 8u;
    case Layout::kYuv422C8:
        return even;
    }
    return 0;
}

uint32_t LayoutIndex(Layout layout) {
    switch (layout) {
    case Layout::kYuv444C10:
        return 0;
    case Layout::kYuv444C8:
        return 1;
    case Layout::kYuv422C10:
        return 2;
    case Layout::kYuv422C8:
        return 3;
    }
    return 0;
}

// Two buffers share a byte, on the physical space taken as a ring.
bool Overlap(const ComputedBuffer& a, const ComputedBuffer& b) {
    return ((b.base - a.base) & kPhysMask) < a.size || ((a.base - b.base) & kPhysMask) < b.size;
}

bool Fail(std::string* reason, const char* format, unsigned a, unsigned b = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    *reason = text;
    return false;
}

}  // namespace

bool ApplyPattern(Target* target, const PatternRequest& request, std::string* reason) {
    if (!target->hasCapture) {
        *reason = "pattern: needs a capture line before it";
        return false;
    }
    if (request.width < 1 || request.width > kMaxPatternWidth) {
        return Fail(reason, "pattern: WIDTH %u is out of range (1..%u)", request.width, kMaxPatternWidth);
    }
    if (request.height < 1 || request.height > kMaxPatternHeight) {
        return Fail(reason, "pattern: HEIGHT %u is out of range (1..%u)", request.height, kMaxPatternHeight);
    }
    const CaptureAnswer& capture = target->capture;
    if (((capture.addrY | capture.addrUV | capture.sizeY | capture.sizeUV) & 3u) != 0) {
        *reason = "pattern: the capture line's addresses and sizes must be multiples of 4";
        return false;
    }
    const uint32_t lineOffsetY = RoundUp256(LumaLineBytes(request.width));
    const uint32_t lineOffsetUV = RoundUp256(ChromaLineBytes(request.layout, request.width));
    const uint64_t frameY = uint64_t{lineOffsetY} * request.height;
    const uint64_t frameUV = uint64_t{lineOffsetUV} * request.height;
    if (capture.sizeY < frameY) {
        return Fail(reason, "pattern: SIZE_Y 0x%x cannot hold a frame of 0x%x bytes", capture.sizeY,
                    static_cast<unsigned>(frameY));
    }
    if (capture.sizeUV < frameUV) {
        return Fail(reason, "pattern: SIZE_UV 0x%x cannot hold a frame of 0x%x bytes", capture.sizeUV,
                    static_cast<unsigned>(frameUV));
    }

    // Frame slots exactly as the capture side walks them: groups of 6 (interlaced) or 3
    // (progressive), in 32-bit unsigned arithmetic.
    const uint32_t perGroup = request.interlaced ? 6u : 3u;
    const uint32_t groupStride = perGroup * (capture.sizeY + capture.sizeUV);
    const int32_t frames = capture.count < 0 ? 0 : (capture.count > kMaxFrameCount ? kMaxFrameCount : capture.count);
    std::vector<ComputedBuffer> buffers;
    buffers.reserve(2u * static_cast<uint32_t>(frames));
    for (int32_t i = 0; i < frames; ++i) {
        const uint32_t frame = static_cast<uint32_t>(i);
        const uint32_t group = frame / perGroup;
        const uint32_t position = request.interlaced ? frame % 6u : 2u * (frame % 3u);
        const uint32_t slot = static_cast<uint32_t>(kFrameOrder[position]);
        const uint32_t baseY = (capture.addrY + group * groupStride + slot * capture.sizeY) & kPhysMask;
        const uint32_t baseUV = (capture.addrUV + group * groupStride + slot * capture.sizeUV) & kPhysMask;
        buffers.push_back({baseY, static_cast<uint32_t>(frameY), lineOffsetY, request.width, request.height, frame,
                           Plane::kLuma, request.layout, request.fault});
        buffers.push_back({baseUV, static_cast<uint32_t>(frameUV), lineOffsetUV, request.width, request.height,
                           frame, Plane::kChroma, request.layout, request.fault});
    }
    // The frames of one group never share memory on a real board: such a target is a
    // mistake (usually ADDR_UV too close to ADDR_Y) and would show pictures that are
    // neither frame. Groups far apart may meet once the addresses wrap; the later wins.
    const size_t inGroup = std::min<size_t>(buffers.size(), 2u * perGroup);
    for (size_t a = 0; a < inGroup; ++a) {
        for (size_t b = a + 1; b < inGroup; ++b) {
            if (Overlap(buffers[a], buffers[b])) {
                *reason = "pattern: the frame buffers of a group overlap (ADDR_UV, SIZE_Y and SIZE_UV must keep "
                          "them apart)";
                return false;
            }
        }
    }
    Memory* memory = &target->memory;
    MemoryAddBuffers(memory, buffers);

    const uint32_t panelWidth = request.width + (request.width & 1u) > kPanelWidth
                                    ? request.width + (request.width & 1u)
                                    : kPanelWidth;
    MemoryWrite(memory, kRegCaptureControl, request.interlaced ? kInterlacedBit : 0u);
    MemoryWrite(memory, kRegJpegActive, 0);
    MemoryWrite(memory, kRegLineOffsets, (lineOffsetY / 256u) | ((lineOffsetUV / 256u) << 16));
    MemoryWrite(memory, kRegHeight, request.height);
    MemoryWrite(memory, kRegCaptureStart, 0);
    MemoryWrite(memory, kRegCaptureEnd, request.width);
    MemoryWrite(memory, kRegPanelStart, 0);
    MemoryWrite(memory, kRegPanelEnd, panelWidth / 2u);
    MemoryWrite(memory, kRegFormatFlags, 1u << (8u * LayoutIndex(request.layout)));
    return true;
}

bool ApplyJpeg(Target* target, uint32_t width, uint32_t height, std::string* reason) {
    if (width < 2 || width > 4096 || (width & 1u) != 0) {
        return Fail(reason, "jpeg: WIDTH %u must be even and in 2..4096", width);
    }
    if (height < 1 || height > 2047) {
        return Fail(reason, "jpeg: HEIGHT %u is out of range (1..2047)", height);
    }
    const uint32_t lineOffset = RoundUp256(3u * width);
    Memory* memory = &target->memory;
    MemoryAddBuffers(memory,
                     {{kJpegBufferBase, lineOffset * height, lineOffset, width, height, 0, Plane::kJpeg,
                       Layout::kYuv444C8}});
    MemoryWrite(memory, kRegJpegActive, 1);
    MemoryWrite(memory, kRegJpegBase, kJpegBufferBase / 16u);
    MemoryWrite(memory, kRegJpegHStart, 0);
    MemoryWrite(memory, kRegJpegHEnd, width / 2u - 1u);
    MemoryWrite(memory, kRegJpegVStart, 0);
    MemoryWrite(memory, kRegJpegVEnd, height);
    MemoryWrite(memory, kRegJpegLineOffset, lineOffset / 256u);
    return true;
}

}  // namespace sim
