// Inside the image writers: frame geometry limits, the per-frame buffers, line unpacking
// and the fast row builders shared by the BMP, YUV and PPM writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "memget/capture_descriptor.h"

// Rows are built from whole unpacked lines, so the buffers grow with the width. The
// capture registers give at most 4096 pixels and lines; these bounds leave room for more
// while keeping a frame's buffers to a few megabytes and every BMP below 4 GiB.
constexpr uint32_t kMaxFrameWidth = 16384;
constexpr uint32_t kMaxFrameHeight = 16384;
constexpr uint32_t kMaxLineOffset = 1u << 20;

constexpr uint32_t kBmpFileHeaderSize = 14;
constexpr uint32_t kBmpInfoHeaderSize = 40;

// Longest PPM text of one pixel: "1023 1023 1023 ".
constexpr uint32_t kPpmPixelTextMax = 15;

// The row length rounded up to a multiple of 4, in 64 bits so nothing wraps.
constexpr uint64_t RoundUp4(uint64_t bytes) { return (bytes + 3u) & ~uint64_t{3}; }

// Everything a frame needs, allocated once per frame. The byte lines hold what was
// fetched and, past the line offset, zeros up to what the width needs: a width larger
// than the line offsets serve reads those samples as 0 instead of reading past the line.
struct FrameLines {
    const CaptureDescriptor* desc;
    bool is422;
    bool chroma10;
    bool reduced;  // the YUV dump: samples are unpacked to their saturated 8-bit values
    bool chromaPacked;  // the 4:4:4 10-bit BMP row takes chroma straight from the fetched bytes
    uint32_t width;
    uint32_t lumaGroups;     // groups of 4 luma samples to unpack (5 bytes each)
    uint32_t chromaSamples;  // chroma samples the row uses: 2W (4:4:4) or W rounded up to even (4:2:2)
    std::unique_ptr<uint8_t[]> bytes;     // fetched lines, output row, reduced samples
    std::unique_ptr<uint16_t[]> samples;  // 10-bit samples
    uint8_t* lumaBytes;
    uint8_t* chromaBytes;
    uint16_t* luma;    // 10-bit luma of every pixel (not reduced)
    uint16_t* chroma;  // Cr, Cb, ... of the 10-bit chroma layouts (not reduced)
    uint8_t* luma8;    // reduced luma
    uint8_t* chroma8;  // reduced chroma; for 8-bit chroma the fetched bytes themselves
    uint8_t* row;      // output row, zero-filled so pad bytes stay 0
};

// Checks width, height, line offsets and layout before anything is written; prints one
// line and returns false when the frame cannot be written.
bool FrameGeometryOk(const CaptureDescriptor* desc);

// Allocates the frame's buffers with a row of rowCapacity bytes, for a descriptor that
// passed FrameGeometryOk. Prints one line and returns false when memory is short.
bool PrepareFrameLines(FrameLines* frame, const CaptureDescriptor* desc, size_t rowCapacity, bool reduced);

// Fetches frame line `line` (luma and chroma, whole line offsets) and unpacks it.
void FetchFrameLine(FrameLines* frame, uint32_t line);

// Unpacks `groups` groups of 5 bytes into 4 samples each: the 10-bit values, or their
// 8-bit reduction saturated at 255. `src` must stay readable for 3 bytes past the last group.
void Unpack10BitLine(const uint8_t* src, uint16_t* dst, uint32_t groups);
void Unpack10BitLineReduced(const uint8_t* src, uint8_t* dst, uint32_t groups);

// Rows from the unpacked line (8-bit chroma is read from the fetched bytes); BuildYuvRow
// needs a frame prepared `reduced`. They write the first 3 x width bytes of `row` only.
void BuildBmpRow(const FrameLines* frame, uint8_t* row);
void BuildYuvRow(const FrameLines* frame, uint8_t* row);
// Returns the text length; `row` needs width x kPpmPixelTextMax + 8 bytes (whole 8-byte
// copies may spill past the text).
size_t BuildPpmRow(const FrameLines* frame, uint8_t* row);

// The BMP header's own check: width and height within bounds, and uiRowBytes rounded up
// to 4 equal to 3 x width rounded up to 4, the row length every BMP reader assumes.
// Prints one line and returns false otherwise.
bool BmpGeometryOk(const CaptureDescriptor* desc);

// WriteBmp and WriteYUV: the same container, header and bottom-up rows; only the pixel
// bytes differ.
using RowBuilder = void (*)(const FrameLines* frame, uint8_t* row);
int WriteBmpFrame(CaptureDescriptor* desc, RowBuilder build, bool reduced);

// Appends the decimal digits of value ("0" for 0) at buffer[*length] and advances
// *length; appends nothing and returns 0 when the digits would not fit in `size` bytes.
int PUT_INT_TO_CHAR(uint8_t* buffer, int32_t* length, uint32_t value, int32_t size);
