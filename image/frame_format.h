// What the frame writers need of a capture: the frame's geometry and layout, and a source
// that hands them the start of each line. The capture fills both from frame memory; tests
// hand in plain memory.
#pragma once

#include <cstdint>

// Frame-memory layouts as (colour space, encode mode):
// YUV_444C10 (1, 3), YUV_444C8 (1, 4), YUV_422C10 (2, 3), YUV_422C8 (2, 4).
constexpr uint32_t kColorSpace444 = 1;  // a chroma pair for every pixel
constexpr uint32_t kColorSpace422 = 2;  // a chroma pair for every two pixels
constexpr uint32_t kEncodeChroma10 = 3;  // chroma samples packed 10-bit
constexpr uint32_t kEncodeChroma8 = 4;   // chroma samples one byte each

struct FrameFormat {
    uint32_t width;
    uint32_t height;
    // The BMP row length the capture carries from frame to frame: 3 x width as probed, left
    // rounded up to 4 by the first BMP-container frame. Only the BMP container reads it.
    uint32_t bmpRowBytes;
    uint32_t colorSpace;
    uint32_t encodeMode;
    uint32_t lineOffsetY;   // bytes from one luma line to the next
    uint32_t lineOffsetUV;  // bytes from one chroma line to the next
};

enum class Plane : uint32_t { Luma, Chroma };

struct LineSource {
    // Stores the first `bytes` bytes of line `line` of `plane` at `buffer`. `bytes` never
    // exceeds the plane's line offset.
    void (*read)(void* context, Plane plane, uint32_t line, uint8_t* buffer, uint32_t bytes);
    void* context;
};

// Bytes at the start of a line that hold every sample the picture uses, in whole 32-bit
// words, and never more than the line offset: what a writer fetches of each line.
uint32_t LumaFetchBytes(const FrameFormat& format);
uint32_t ChromaFetchBytes(const FrameFormat& format);
