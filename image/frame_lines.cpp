// Frame lines: how much of each line a frame uses, the per-frame buffers, the checks that
// keep a frame inside them, and fetching through the line source.
#include <cstdio>
#include <cstring>
#include <new>

#include "report/report.h"
#include "image/frame_rows.h"
#include "image/writers.h"

namespace {

constexpr size_t AlignUp8(size_t bytes) { return (bytes + 7u) & ~size_t{7}; }

// Bytes of the 32-bit words that hold `bits` bits from the start of a line.
constexpr uint64_t WordBytes(uint64_t bits) { return (bits + 31u) / 32u * 4u; }

uint32_t AtMost(uint64_t bytes, uint32_t limit) { return bytes < limit ? static_cast<uint32_t>(bytes) : limit; }

bool KnownLayout(const FrameFormat& format) {
    return (format.colorSpace == kColorSpace444 || format.colorSpace == kColorSpace422) &&
           (format.encodeMode == kEncodeChroma10 || format.encodeMode == kEncodeChroma8);
}

}  // namespace

uint32_t LumaFetchBytes(const FrameFormat& format) {
    return AtMost(WordBytes(10u * uint64_t{format.width}), format.lineOffsetY);
}

uint32_t ChromaFetchBytes(const FrameFormat& format) {
    // 4:2:2: an odd last pixel takes the pair after the last full one, samples W - 1 and W.
    const uint64_t width = format.width;
    const uint64_t samples = format.colorSpace == kColorSpace422 ? width + (width & 1u) : 2u * width;
    const uint64_t bits = (format.encodeMode == kEncodeChroma10 ? 10u : 8u) * samples;
    return AtMost(WordBytes(bits), format.lineOffsetUV);
}

bool FrameGeometryOk(const FrameFormat& format) {
    if (!KnownLayout(format)) {
        puts("Unkown color space or encode type");
        return false;
    }
    if (format.width > kMaxFrameWidth || format.height > kMaxFrameHeight || format.lineOffsetY > kMaxLineOffset ||
        format.lineOffsetUV > kMaxLineOffset) {
        Complain("frame geometry not supported: %ux%u, line offset Y %u, UV %u", static_cast<unsigned>(format.width),
                 static_cast<unsigned>(format.height), static_cast<unsigned>(format.lineOffsetY),
                 static_cast<unsigned>(format.lineOffsetUV));
        return false;
    }
    return true;
}

bool WriterAcceptsFormat(const FrameFormat& format, FrameCheck accepts) {
    return FrameGeometryOk(format) && accepts(format);
}

bool BmpAccepts(const FrameFormat& format) { return BmpGeometryOk(format); }

bool AnyAccepts(const FrameFormat&) { return true; }

bool Y4mAccepts(const FrameFormat& format) { return Y4mGeometryOk(format.width, format.height); }

bool PrepareFrameLines(FrameLines* frame, const FrameFormat& format, const LineSource& source, size_t rowCapacity) {
    frame->source = source;
    frame->is422 = format.colorSpace == kColorSpace422;
    frame->chroma10 = format.encodeMode == kEncodeChroma10;
    frame->width = format.width;
    frame->lumaFetch = LumaFetchBytes(format);
    frame->chromaFetch = ChromaFetchBytes(format);

    // The rows take four pixels at a time: 5 bytes of luma and 4, 5, 8 or 10 of chroma
    // (4:2:2 8-bit, 4:2:2 10-bit, 4:4:4 8-bit, 4:4:4 10-bit). Eight bytes of slack: a group
    // may be loaded 8 bytes at once.
    const size_t blocks = (size_t{format.width} + 3u) / 4u;
    const size_t chromaStep = (frame->chroma10 ? 5u : 4u) * (frame->is422 ? 1u : 2u);
    const size_t lumaNeeded = 5u * blocks > frame->lumaFetch ? 5u * blocks : frame->lumaFetch;
    const size_t chromaNeeded = chromaStep * blocks > frame->chromaFetch ? chromaStep * blocks : frame->chromaFetch;
    const size_t lumaBytes = AlignUp8(lumaNeeded + 8u);
    const size_t chromaBytes = AlignUp8(chromaNeeded + 8u);
    const size_t rowBytes = AlignUp8(rowCapacity);

    // The line buffers are zero-filled once per frame: every line stores the same leading
    // bytes, so what lies after them stays 0. The rows (a band of up to 64 KiB) are left
    // to the writers, which set every byte they write. nothrow so a short memory ends the
    // frame cleanly.
    frame->bytes.reset(new (std::nothrow) uint8_t[lumaBytes + chromaBytes + rowBytes]);
    if (!frame->bytes) {
        Complain("cannot allocate the frame buffers");
        return false;
    }
    std::memset(frame->bytes.get(), 0, lumaBytes + chromaBytes);
    frame->luma = frame->bytes.get();
    frame->chroma = frame->luma + lumaBytes;
    frame->row = frame->chroma + chromaBytes;
    return true;
}

void FetchBothPlanes(FrameLines* frame, uint32_t line) {
    frame->source.read(frame->source.context, Plane::Luma, line, frame->luma, frame->lumaFetch);
    frame->source.read(frame->source.context, Plane::Chroma, line, frame->chroma, frame->chromaFetch);
}
