// Frame-memory lines: fetching them word by word, the per-frame buffers and the checks
// that keep a frame inside them.
#include <cstdio>
#include <cstring>
#include <new>

#include "device/mmio.h"
#include "device/report.h"
#include "image/frame_rows.h"
#include "image/writers.h"

namespace {

constexpr size_t AlignUp8(size_t bytes) { return (bytes + 7u) & ~size_t{7}; }

uint32_t GroupsOf4(uint32_t samples) { return samples / 4u + (samples % 4u != 0 ? 1u : 0u); }

bool KnownLayout(const CaptureDescriptor* desc) {
    return (desc->uiColorSpace == kColorSpace444 || desc->uiColorSpace == kColorSpace422) &&
           (desc->uiEncodeMode == kEncodeChroma10 || desc->uiEncodeMode == kEncodeChroma8);
}

}  // namespace

void ReadFrameLine(uint32_t address, uint8_t* buffer, uint32_t bytes) {
    if (!RegReadLine(address, buffer, bytes)) {
        std::memset(buffer, 0, bytes);  // nothing was read: zeros, not stale bytes
    }
}

bool FrameGeometryOk(const CaptureDescriptor* desc) {
    if (!KnownLayout(desc)) {
        puts("Unkown color space or encode type");
        return false;
    }
    if (desc->uiWidth > kMaxFrameWidth || desc->uiHeight > kMaxFrameHeight ||
        desc->uiLineOffsetY > kMaxLineOffset || desc->uiLineOffsetUV > kMaxLineOffset) {
        Complain("frame geometry not supported: %ux%u, line offset Y %u, UV %u",
                 static_cast<unsigned>(desc->uiWidth), static_cast<unsigned>(desc->uiHeight),
               static_cast<unsigned>(desc->uiLineOffsetY), static_cast<unsigned>(desc->uiLineOffsetUV));
        return false;
    }
    return true;
}

bool PrepareFrameLines(FrameLines* frame, const CaptureDescriptor* desc, size_t rowCapacity, bool reduced) {
    frame->desc = desc;
    frame->is422 = desc->uiColorSpace == kColorSpace422;
    frame->chroma10 = desc->uiEncodeMode == kEncodeChroma10;
    frame->width = desc->uiWidth;
    frame->reduced = reduced;
    frame->lumaGroups = GroupsOf4(desc->uiWidth);
    frame->chromaSamples = frame->is422 ? desc->uiWidth + (desc->uiWidth & 1u) : 2u * desc->uiWidth;

    // Samples are unpacked in whole groups, so the arrays and the bytes behind them are
    // sized for whole groups; past the line offset the bytes stay zero.
    const uint32_t chromaUnpacked = frame->chroma10 ? 4u * GroupsOf4(frame->chromaSamples) : 0u;
    const uint32_t chromaNeeded = frame->chroma10 ? 5u * GroupsOf4(frame->chromaSamples) : frame->chromaSamples;
    const uint32_t lumaNeeded = 5u * frame->lumaGroups;
    // Three bytes of slack: the unpacking loads 8 bytes for each group of 5.
    const size_t lumaBytes = AlignUp8(size_t{desc->uiLineOffsetY > lumaNeeded ? desc->uiLineOffsetY : lumaNeeded} + 3u);
    const size_t chromaBytes =
        AlignUp8(size_t{desc->uiLineOffsetUV > chromaNeeded ? desc->uiLineOffsetUV : chromaNeeded} + 3u);
    const size_t lumaSamples = 4u * static_cast<size_t>(frame->lumaGroups);
    const size_t rowBytes = AlignUp8(rowCapacity);
    // Unpacked samples are 16-bit, or bytes when reduced.
    const size_t wide = reduced ? 0u : lumaSamples + chromaUnpacked;
    const size_t narrow = reduced ? AlignUp8(lumaSamples) + AlignUp8(chromaUnpacked) : 0u;

    // Zero-filled once per frame; nothrow so a short memory ends the frame cleanly.
    frame->bytes.reset(new (std::nothrow) uint8_t[lumaBytes + chromaBytes + rowBytes + narrow]());
    frame->samples.reset(new (std::nothrow) uint16_t[wide]());
    if (!frame->bytes || !frame->samples) {
        Complain("cannot allocate the frame buffers");
        return false;
    }
    frame->lumaBytes = frame->bytes.get();
    frame->chromaBytes = frame->lumaBytes + lumaBytes;
    frame->row = frame->chromaBytes + chromaBytes;
    frame->luma8 = frame->row + rowBytes;
    frame->chroma8 = frame->chroma10 ? frame->luma8 + AlignUp8(lumaSamples) : frame->chromaBytes;
    frame->luma = frame->samples.get();
    frame->chroma = frame->luma + lumaSamples;
    return true;
}

void FetchFrameLine(FrameLines* frame, uint32_t line) {
    const CaptureDescriptor* d = frame->desc;
    // Plain 32-bit address arithmetic, as the target computes it.
    ReadFrameLine(d->uiCurAddrY + d->uiLineOffsetY * line, frame->lumaBytes, d->uiLineOffsetY);
    ReadFrameLine(d->uiCurAddrUV + d->uiLineOffsetUV * line, frame->chromaBytes, d->uiLineOffsetUV);
    const uint32_t chromaGroups = GroupsOf4(frame->chromaSamples);
    // 8-bit chroma is used from the bytes as fetched.
    if (frame->reduced) {
        Unpack10BitLineReduced(frame->lumaBytes, frame->luma8, frame->lumaGroups);
        if (frame->chroma10) {
            Unpack10BitLineReduced(frame->chromaBytes, frame->chroma8, chromaGroups);
        }
    } else {
        Unpack10BitLine(frame->lumaBytes, frame->luma, frame->lumaGroups);
        if (frame->chroma10 && !frame->chromaPacked) {
            Unpack10BitLine(frame->chromaBytes, frame->chroma, chromaGroups);
        }
    }
}
