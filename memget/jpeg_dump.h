// The JPEG engine's buffer: its registers, and its rows written as one 24-bit BMP or as
// one frame of a YUV4MPEG2 stream.
#pragma once

#include <cstdint>

#include "memget/capture_descriptor.h"

struct JpegBuffer {
    uint32_t base = 0;  // cached-segment address of line 0
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t lineOffset = 0;
};

// Reads the buffer's registers; false, with its message printed, when an extent runs
// backwards. Unread registers leave their values 0.
bool ProbeJpegBuffer(JpegBuffer* jpeg);

// Bytes each dump reads of a buffer line: the words that hold the row's 3 x width bytes,
// at most the line offset.
uint32_t JpegFetchBytes(const JpegBuffer& jpeg);

// The buffer's information block, which each JPEG-road writer prints once its header is
// written.
void ShowJpegInformation(const CaptureDescriptor* desc, const JpegBuffer& jpeg);

// The header, the information block and the rows of `jpeg` into desc->pFile; sets
// uiWidth, uiHeight and uiRowBytes. 1 when every row was written.
int WriteJpegRows(CaptureDescriptor* desc, const JpegBuffer& jpeg);

// The header, the information block and the picture of `jpeg` into desc->pFile as a
// one-frame 8-bit 4:4:4 YUV4MPEG2 stream: Y, Cb, Cr as the buffer holds them. Sets the
// same fields. 1 when every line was written.
int WriteJpegPlanes(CaptureDescriptor* desc, const JpegBuffer& jpeg);
