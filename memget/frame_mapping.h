// The mapped road's hook in the capture: while a FrameMapping lives, the frame it was made
// for is read through AVRIG_MEM's mapping (device/frame_memory.h) when that road is open,
// through the register-access driver otherwise. One per frame, made before the frame's
// first line is read.
#pragma once

#include "memget/capture_descriptor.h"
#include "memget/jpeg_dump.h"

class FrameMapping {
public:
    // The frame at uiCurAddrY / uiCurAddrUV, the lines its writer reads of each plane.
    explicit FrameMapping(const CaptureDescriptor* desc);
    // The JPEG buffer, the words of each row the dump reads.
    explicit FrameMapping(const JpegBuffer& jpeg);
    ~FrameMapping();
    FrameMapping(const FrameMapping&) = delete;
    FrameMapping& operator=(const FrameMapping&) = delete;
};
