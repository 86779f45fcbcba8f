// The frame writers fed from frame memory: each hands the image writer the captured
// frame's format and a line source that reads the frame's lines through the
// register-access device. Results as in image/writers.h. They are named by the ending
// they serve (WritePbm writes the plain PPM that ".pbm" names); image/ names its writers
// by the file they make. memget/output_formats.h pairs endings and writers.
#pragma once

#include <cstdint>

#include "image/frame_format.h"
#include "memget/capture_descriptor.h"
#include "memget/jpeg_dump.h"

// Reads `bytes` of frame memory from `address` into `buffer`, one word per request or one
// load per word from the frame's mapping, each word stored least significant byte first;
// zeros when the device is not open.
void ReadFrameLine(uint32_t address, uint8_t* buffer, uint32_t bytes);

// The frame the descriptor describes, as the image writers take it.
FrameFormat FormatOf(const CaptureDescriptor* desc);

// The checks the writer for uiFileType (an ending of memget/output_formats.h) makes
// before it writes anything, callable before its file exists: false, with the writer's
// own message printed, when it would refuse the frame the descriptor describes.
bool WriterAcceptsFrame(const CaptureDescriptor* desc);

// 54-byte BMP header for uiWidth x uiHeight with rows of uiRowBytes rounded up to 4.
int WriteBmpHeader(CaptureDescriptor* desc);

// The frame at uiCurAddrY / uiCurAddrUV. Once the header is written, the BMP and YUV
// writers leave uiRowBytes rounded up to 4 for the capture's next frame.
int WriteBmp(CaptureDescriptor* desc);
int WriteYUV(CaptureDescriptor* desc);
int WritePbm(CaptureDescriptor* desc);
// The stream's header, then the frame as the stream's next "FRAME".
int WriteY4mStream(CaptureDescriptor* desc);
int WriteY4m(CaptureDescriptor* desc);
// The levels report: its header line, then each frame's three rows; of the JPEG buffer,
// the header, the information block and the buffer's rows.
int WriteCsvStream(CaptureDescriptor* desc);
int WriteCsv(CaptureDescriptor* desc);
int WriteCsvJpeg(CaptureDescriptor* desc, const JpegBuffer& jpeg);
