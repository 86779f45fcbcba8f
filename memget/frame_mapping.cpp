#include "memget/frame_mapping.h"

#include <algorithm>

#include "device/frame_memory.h"
#include "image/frame_format.h"

FrameMapping::FrameMapping(const CaptureDescriptor* desc) {
    FrameFormat format{desc->uiWidth,      desc->uiHeight,        desc->uiRowBytes,    desc->uiColorSpace,
                       desc->uiEncodeMode, desc->uiLineOffsetY, desc->uiLineOffsetUV};
    const FramePlane planes[] = {
        {desc->uiCurAddrY, desc->uiLineOffsetY, desc->uiHeight, LumaFetchBytes(format)},
        {desc->uiCurAddrUV, desc->uiLineOffsetUV, desc->uiHeight, ChromaFetchBytes(format)},
    };
    FrameMemoryMap(planes, 2);
}

FrameMapping::FrameMapping(const JpegBuffer& jpeg) {
    // Both dumps read the words that hold a row's 3 x width bytes, at most a line offset.
    const uint32_t rowBytes = (3u * jpeg.width + 3u) & ~3u;
    const FramePlane plane{jpeg.base, jpeg.lineOffset, jpeg.height, std::min(jpeg.lineOffset, rowBytes)};
    FrameMemoryMap(&plane, 1);
}

FrameMapping::~FrameMapping() { FrameMemoryUnmap(); }
