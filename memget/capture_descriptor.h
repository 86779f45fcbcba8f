// The record of one capture: filled by the capture request and the probe, read by the
// JPEG dump and the frame writers.
#pragma once

#include <cstdint>
#include <cstdio>

#include "image/frame_format.h"  // the layout codes

constexpr uint32_t kUncachedSegment = 0xa0000000;  // frame memory is read through it
constexpr uint32_t kCachedSegment = 0x80000000;    // the JPEG buffer is read through it

constexpr int kFileNameSize = 40;  // 39 characters and the terminator

struct CaptureDescriptor {
    uint32_t uiDeviceId;
    uint32_t uiInterlace;
    FILE* pFile;
    char acFileName[kFileNameSize];
    uint32_t uiFileType;  // the name's ending, packed (memget/output_formats.h)
    uint32_t uiAddrY;
    uint32_t uiAddrUV;
    uint32_t uiCurAddrY;
    uint32_t uiCurAddrUV;
    uint32_t uiLineOffsetY;
    uint32_t uiLineOffsetUV;
    int32_t iTotalCount;
    int32_t* piFrameOrder;
    uint32_t uiHeight;
    uint32_t uiRowBytes;
    uint32_t uiWidth;
    uint32_t uiEncodeMode;
    uint32_t uiColorSpace;
    uint32_t uiSizeY;
    uint32_t uiSizeUV;
    int32_t iCurFrame;  // the frame at uiCurAddrY / uiCurAddrUV: its index in the capture
    int32_t iCurSlot;   // and its slot in the frame order
};
