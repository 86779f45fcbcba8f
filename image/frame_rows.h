// Inside the image writers: frame geometry limits, the per-frame buffers, line fetching
// and the fast row builders shared by the BMP, YUV and PPM writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "image/frame_format.h"

// Rows are built from whole lines, so the buffers grow with the width. The capture
// registers give at most 4096 pixels and lines; these bounds leave room for more while
// keeping a frame's buffers to a few megabytes and every BMP below 4 GiB.
constexpr uint32_t kMaxFrameWidth = 16384;
constexpr uint32_t kMaxFrameHeight = 16384;
constexpr uint32_t kMaxLineOffset = 1u << 20;

constexpr uint32_t kBmpFileHeaderSize = 14;
constexpr uint32_t kBmpInfoHeaderSize = 40;

// Longest PPM text of one pixel: "1023 1023 1023 ".
constexpr uint32_t kPpmPixelTextMax = 15;

// The writers build a band of rows and hand it to the stream at once. stdio copies what it
// is handed into its own 4 KiB buffer only up to that buffer's end and writes whole blocks
// straight from the band: per band about 4 KiB is copied, instead of every byte.
constexpr size_t kBandBytes = 64u * 1024u;

// Rows of rowBytes that make a band (at least one, at most `height`).
constexpr uint32_t BandRows(size_t rowBytes, uint32_t height) {
    const size_t rows = rowBytes == 0 || rowBytes >= kBandBytes ? 1u : kBandBytes / rowBytes;
    return rows < height ? static_cast<uint32_t>(rows) : (height == 0 ? 1u : height);
}

// The row length rounded up to a multiple of 4, in 64 bits so nothing wraps.
constexpr uint64_t RoundUp4(uint64_t bytes) { return (bytes + 3u) & ~uint64_t{3}; }

// Everything a frame needs, allocated once per frame. The line buffers hold the packed
// samples as fetched and zeros after them up to whole groups of four pixels and some
// slack: a width larger than the line offsets serve reads those samples as 0 instead of
// reading past the line, and the rows load whole groups.
struct FrameLines {
    LineSource source;
    bool is422;
    bool chroma10;
    uint32_t width;
    uint32_t lumaFetch;    // bytes fetched of every luma line
    uint32_t chromaFetch;  // and of every chroma line
    std::unique_ptr<uint8_t[]> bytes;  // both lines and the output row
    uint8_t* luma;    // packed 10-bit luma of the current line
    uint8_t* chroma;  // its packed 10-bit or 8-bit chroma
    uint8_t* row;     // output rows, not initialised
};

// Checks width, height, line offsets and layout before anything is written; prints one
// line and returns false when the frame cannot be written.
bool FrameGeometryOk(const FrameFormat& format);

// Allocates the frame's buffers with a row of rowCapacity bytes, for a format that passed
// FrameGeometryOk. Prints one line and returns false when memory is short.
bool PrepareFrameLines(FrameLines* frame, const FrameFormat& format, const LineSource& source, size_t rowCapacity);

// Fetches line `line` of the luma and the chroma plane: the words that hold the samples
// the row uses.
void FetchBothPlanes(FrameLines* frame, uint32_t line);

// Rows from the fetched line. They write the first 3 x width bytes of `row` only.
void BuildBmpRow(const FrameLines* frame, uint8_t* row);
void BuildYuvRow(const FrameLines* frame, uint8_t* row);
// The Y4M planes' part of the line: 16-bit little-endian Y of every pixel into `y`, Cb
// and Cr of every pixel (4:4:4) or pair (4:2:2, ceil(width / 2)) into `cb` and `cr`, the
// values the PPM row prints.
void BuildPlanarRow(const FrameLines* frame, uint16_t* y, uint16_t* cb, uint16_t* cr);
// Returns the text length; `row` needs width x kPpmPixelTextMax + 8 bytes (a number is
// stored in whole words that may spill past the text).
size_t BuildPpmRow(const FrameLines* frame, uint8_t* row);

// The BMP header's own check: width and height within bounds, and bmpRowBytes rounded up to
// 4 equal to 3 x width rounded up to 4, the row length every BMP reader assumes. Prints
// one line and returns false otherwise.
bool BmpGeometryOk(const FrameFormat& format);

// Bytes of one line of a Y4M chroma plane: 2 x width, or 2 x ceil(width / 2) for 4:2:2.
uint64_t PlanarChromaLineBytes(const FrameFormat& format);

// The BMP and YUV files: the same container, header and bottom-up rows; only the pixel
// bytes differ.
using RowBuilder = void (*)(const FrameLines* frame, uint8_t* row);
int WriteBmpFrame(FILE* file, FrameFormat* format, const LineSource& lines, RowBuilder build);

// Appends the decimal digits of value ("0" for 0) at buffer[*length] and advances
// *length; appends nothing and returns 0 when the digits would not fit in `size` bytes.
int PUT_INT_TO_CHAR(uint8_t* buffer, int32_t* length, uint32_t value, int32_t size);
