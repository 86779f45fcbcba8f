// The test picture that `pattern` and `jpeg` put into memory, and the packing of its
// lines into the frame-memory layouts.
//
// From top to bottom: colour bars in studio range (they reach Cb/Cr 16 and 240, so a
// wrong colour conversion shows), a strip that spells the frame number in 16 cells
// (most significant bit first), and a 10-bit luma ramp of consecutive values (so lost
// precision shows). A square over the bars, in a colour no bar has, moves with the frame
// number, so a wrong frame order or slot shows.
#pragma once

#include <cstdint>

#include "sim/memory.h"

namespace sim {

struct Yuv10 {
    uint16_t y;
    uint16_t cb;
    uint16_t cr;
};

// Rows of one picture size with equal keys have equal pixels, so a line made once serves
// every row and frame that shares its key.
enum class RowKind : uint32_t { kBars, kMarker, kCode, kRamp };
struct RowKey {
    RowKind kind;
    uint32_t a;  // kMarker: left edge of the marker; kCode: the frame number
    uint32_t b;  // kMarker: its side length
};

RowKey TestPictureRowKey(uint32_t frame, uint32_t line, uint32_t width, uint32_t height);

// The row's `width` pixels into `out`.
void TestPictureRow(const RowKey& key, uint32_t width, Yuv10* out);

// 10-bit sample to 8 bits, rounded, at most 255.
uint8_t To8Bit(uint16_t sample);

// Bytes of a line of a computed buffer whose row has `key`: `buffer.lineOffset` bytes, the
// part past the picture zero.
void MakeBufferLine(const ComputedBuffer& buffer, const RowKey& key, uint8_t* out);

}  // namespace sim
