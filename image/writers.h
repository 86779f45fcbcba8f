// The frame writers: one frame from a line source into an open stream. Each returns 1
// when the whole file was written and 0 when it was not (its own message, if any, has
// been printed); the caller opens and closes the stream.
#pragma once

#include <cstdint>
#include <cstdio>

#include "image/frame_format.h"

// The checks a writer makes before it writes anything, callable before its file exists:
// false, with the writer's own message printed, when the BMP/YUV writers (ppm false) or
// the PPM writer (ppm true) would refuse the frame.
bool WriterAcceptsFormat(const FrameFormat& format, bool ppm);

// 54-byte BMP header for width x height with rows of rowBytes rounded up to 4.
int WriteBmpFileHeader(FILE* file, const FrameFormat& format);

// 24-bit BMP, bottom-up, BGR. Once the header is written, format->rowBytes holds the
// padded row length.
int WriteBmpFile(FILE* file, FrameFormat* format, const LineSource& lines);

// BMP container holding the 8-bit Cr, Cb, Y of every pixel, no colour conversion; rowBytes
// as WriteBmpFile.
int WriteYuvFile(FILE* file, FrameFormat* format, const LineSource& lines);

// Plain PPM (P3) of the 10-bit samples Y, Cb, Cr; header lines end in NUL + line feed.
int WritePpmFile(FILE* file, FrameFormat* format, const LineSource& lines);
