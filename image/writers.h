// The frame writers: one captured frame from frame memory into an open stream.
// Each returns 1 when the whole file was written and 0 when it was not (its own
// message, if any, has been printed); the caller opens and closes the stream.
#pragma once

#include <cstdint>

#include "memget/capture_descriptor.h"

// The checks the writer for uiFileType makes before it writes anything, callable before
// its file exists: false, with the writer's own message printed, when it would refuse
// the frame the descriptor describes.
bool WriterAcceptsFrame(const CaptureDescriptor* desc);

// 54-byte BMP header for uiWidth x uiHeight with rows of uiRowBytes rounded up to 4.
int WriteBmpHeader(CaptureDescriptor* desc);

// 24-bit BMP, bottom-up, BGR.
int WriteBmp(CaptureDescriptor* desc);

// BMP container holding the 8-bit Cr, Cb, Y of every pixel, no colour conversion.
int WriteYUV(CaptureDescriptor* desc);

// Plain PPM (P3) of the 10-bit samples Y, Cb, Cr; header lines end in NUL + line feed.
int WritePbm(CaptureDescriptor* desc);

// Reads `bytes` of frame memory from `address` into `buffer`, one word per request, each
// word stored least significant byte first.
void ReadFrameLine(uint32_t address, uint8_t* buffer, uint32_t bytes);
