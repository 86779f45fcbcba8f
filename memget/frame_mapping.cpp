#include "memget/frame_mapping.h"

#include "device/frame_memory.h"
#include "memget/frame_writers.h"

FrameMapping::FrameMapping(const CaptureDescriptor* desc) {
    const FrameFormat format = FormatOf(desc);
    const FramePlane planes[] = {
        {desc->uiCurAddrY, desc->uiLineOffsetY, desc->uiHeight, LumaFetchBytes(format)},
        {desc->uiCurAddrUV, desc->uiLineOffsetUV, desc->uiHeight, ChromaFetchBytes(format)},
    };
    FrameMemoryMap(planes, 2);
}

FrameMapping::FrameMapping(const JpegBuffer& jpeg) {
    const FramePlane plane{jpeg.base, jpeg.lineOffset, jpeg.height, JpegFetchBytes(jpeg)};
    FrameMemoryMap(&plane, 1);
}

FrameMapping::~FrameMapping() { FrameMemoryUnmap(); }
