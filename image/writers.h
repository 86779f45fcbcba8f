// The frame writers: one frame from a line source into an open stream. Each returns 1
// when the whole file was written and 0 when it was not (its own message, if any, has
// been printed); the caller opens and closes the stream.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "image/frame_format.h"

// A writer's own refusals beyond the frame geometry every writer checks: false, with its
// message printed, when a file of its kind cannot hold the frame. Callable before the file
// exists; the format table's rows carry one each.
using FrameCheck = bool (*)(const FrameFormat& format);
bool BmpAccepts(const FrameFormat& format);  // the BMP container (BMP and YUV dump)
bool AnyAccepts(const FrameFormat& format);  // text that holds any frame
bool Y4mAccepts(const FrameFormat& format);  // a YUV4MPEG2 picture

// The checks a writer makes before it writes anything: the geometry, then its own.
bool WriterAcceptsFormat(const FrameFormat& format, FrameCheck accepts);

// 54-byte BMP header for width x height with rows of bmpRowBytes rounded up to 4.
int WriteBmpFileHeader(FILE* file, const FrameFormat& format);

// 24-bit BMP, bottom-up, BGR. Once the header is written, format->bmpRowBytes holds the
// padded row length.
int WriteBmpFile(FILE* file, FrameFormat* format, const LineSource& lines);

// BMP container holding the 8-bit Cr, Cb, Y of every pixel, no colour conversion; bmpRowBytes
// as WriteBmpFile.
int WriteYuvFile(FILE* file, FrameFormat* format, const LineSource& lines);

// Plain PPM (P3) of the 10-bit samples Y, Cb, Cr; header lines end in NUL + line feed.
int WritePpmFile(FILE* file, FrameFormat* format, const LineSource& lines);

// YUV4MPEG2: the stream header for frames of `format` (C444p10 or C422p10), then one
// "FRAME" and the Y, Cb, Cr planes per frame, 16-bit little-endian samples on the 10-bit
// scale as the PPM writer prints them. The frame writer needs a stream it can seek in:
// it puts each line's samples straight at their places in the three planes.
int WriteY4mHeader(FILE* file, const FrameFormat& format);
int WriteY4mFrame(FILE* file, FrameFormat* format, const LineSource& lines);
// The same frame for a stream that cannot seek (standard output): assembled whole in
// memory, then written and flushed at once.
int WriteY4mWholeFrame(FILE* file, FrameFormat* format, const LineSource& lines);

// A YUV4MPEG2 picture needs at least one pixel each way. Prints one line and returns
// false otherwise.
bool Y4mGeometryOk(uint32_t width, uint32_t height);

// The JPEG engine's picture as a one-frame 8-bit 4:4:4 stream: the header and the
// "FRAME" line before the picture's planes; refuses (one line printed) an empty picture.
int WriteY4mJpegHeader(FILE* file, uint32_t width, uint32_t height);

// One line (or a band of lines) of each plane of a Y4M frame.
struct PlanarLine {
    uint8_t* y;
    uint8_t* cb;
    uint8_t* cr;
    uint64_t lumaBytes;
    uint64_t chromaBytes;
};

// Where one frame's planes go once its "FRAME" line is written: each line straight to its
// place in a file (memory stays one line), or, `whole`, into the frame held in memory and
// written and flushed by Finish, for a stream that cannot seek. Start prints one line when
// the frame does not fit in memory; each step returns false when the frame cannot go on.
class Y4mFrameOut {
public:
    bool Start(FILE* file, const PlanarLine& planes, uint32_t height, bool whole);
    // `count` lines from `line` on, held one after the other in each plane's buffer.
    bool Put(uint32_t line, const PlanarLine& planes, uint32_t count = 1);
    bool Finish();

private:
    FILE* file_ = nullptr;
    uint64_t start_ = 0;
    uint32_t height_ = 0;
    uint64_t frameBytes_ = 0;
    std::unique_ptr<uint8_t[]> frame_;
};

// The levels and bit-lines report, CSV text: the header line once, then per frame three
// rows, Y, Cb and Cr, of every pixel's value (the PPM writer's numbers, 8-bit chroma as its
// byte), each flushed with its frame. `frame` and `slot` are the frame's index in the
// capture and its slot in the frame order. A report needs at least one pixel.
int WriteLevelsHeader(FILE* file);
bool LevelsAccepts(const FrameFormat& format);
int WriteLevelsFrame(FILE* file, FrameFormat* format, const LineSource& lines, uint32_t frame, uint32_t slot);
// The JPEG engine's picture as frame 0, slot 0, 8-bit (after the header): `height` lines of
// Cr, Cb, Y bytes per pixel, `fetch` bytes of each read as Plane::Luma of `lines`.
int WriteLevelsJpeg(FILE* file, uint32_t width, uint32_t height, uint32_t fetch, const LineSource& lines);
