#include "memget/frame_mapping.h"

#include "device/frame_memory.h"
#include "memget/frame_writers.h"
#include "memget/output_formats.h"

FrameMapping::FrameMapping(const CaptureDescriptor* desc) {
    const FrameFormat format = FormatOf(desc);
    // Only the planes the row's writer fetches: a plane it never reads is not mapped, nor
    // checked against the driver.
    const OutputFormat* row = FindOutputFormat(desc->uiFileType);
    const uint8_t fetched = row != nullptr ? row->planes : uint8_t{kBothPlanes};
    FramePlane planes[kMaxFramePlanes];
    size_t count = 0;
    if ((fetched & kLumaPlane) != 0) {
        planes[count++] = {desc->uiCurAddrY, desc->uiLineOffsetY, desc->uiHeight, LumaFetchBytes(format)};
    }
    if ((fetched & kChromaPlane) != 0) {
        planes[count++] = {desc->uiCurAddrUV, desc->uiLineOffsetUV, desc->uiHeight, ChromaFetchBytes(format)};
    }
    FrameMemoryMap(planes, count);
}

FrameMapping::FrameMapping(const JpegBuffer& jpeg) {
    const FramePlane plane{jpeg.base, jpeg.lineOffset, jpeg.height, JpegFetchBytes(jpeg)};
    FrameMemoryMap(&plane, 1);
}

FrameMapping::~FrameMapping() { FrameMemoryUnmap(); }
