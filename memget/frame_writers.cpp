// The line source over frame memory, and the writers as the capture calls them.
#include "memget/frame_writers.h"

#include <cstring>

#include "device/frame_memory.h"
#include "image/writers.h"
#include "memget/capture_names.h"
#include "memget/output_formats.h"

namespace {

// Line `line` of the frame the descriptor points at, in plain 32-bit address arithmetic
// as the target computes it.
void ReadCapturedLine(void* context, Plane plane, uint32_t line, uint8_t* buffer, uint32_t bytes) {
    const auto* desc = static_cast<const CaptureDescriptor*>(context);
    if (plane == Plane::Luma) {
        ReadFrameLine(desc->uiCurAddrY + desc->uiLineOffsetY * line, buffer, bytes);
    } else {
        ReadFrameLine(desc->uiCurAddrUV + desc->uiLineOffsetUV * line, buffer, bytes);
    }
}

// Line `line` of the JPEG buffer, whatever the plane.
void ReadJpegLine(void* context, Plane, uint32_t line, uint8_t* buffer, uint32_t bytes) {
    const auto* jpeg = static_cast<const JpegBuffer*>(context);
    ReadFrameLine(jpeg->base + jpeg->lineOffset * line, buffer, bytes);
}

using ImageWriter = int (*)(FILE* file, FrameFormat* format, const LineSource& lines);

int WriteCaptured(CaptureDescriptor* desc, ImageWriter write) {
    FrameFormat format = FormatOf(desc);
    const int written = write(desc->pFile, &format, LineSource{ReadCapturedLine, desc});
    desc->uiRowBytes = format.bmpRowBytes;
    return written;
}

}  // namespace

FrameFormat FormatOf(const CaptureDescriptor* desc) {
    return FrameFormat{desc->uiWidth,      desc->uiHeight,        desc->uiRowBytes,    desc->uiColorSpace,
                       desc->uiEncodeMode, desc->uiLineOffsetY, desc->uiLineOffsetUV};
}

void ReadFrameLine(uint32_t address, uint8_t* buffer, uint32_t bytes) {
    if (!FrameMemoryReadLine(address, buffer, bytes)) {
        std::memset(buffer, 0, bytes);  // nothing was read: zeros, not stale bytes
    }
}

bool WriterAcceptsFrame(const CaptureDescriptor* desc) {
    const OutputFormat* format = FindOutputFormat(desc->uiFileType);
    return format != nullptr && WriterAcceptsFormat(FormatOf(desc), format->accepts);
}

int WriteBmpHeader(CaptureDescriptor* desc) { return WriteBmpFileHeader(desc->pFile, FormatOf(desc)); }

int WriteBmp(CaptureDescriptor* desc) { return WriteCaptured(desc, WriteBmpFile); }

int WriteYUV(CaptureDescriptor* desc) { return WriteCaptured(desc, WriteYuvFile); }

int WritePbm(CaptureDescriptor* desc) { return WriteCaptured(desc, WritePpmFile); }

int WriteY4mStream(CaptureDescriptor* desc) { return WriteY4mHeader(desc->pFile, FormatOf(desc)); }

int WriteY4m(CaptureDescriptor* desc) {
    return WriteCaptured(desc, IsStandardOutputName(desc->acFileName) ? WriteY4mWholeFrame : WriteY4mFrame);
}

int WriteCsvStream(CaptureDescriptor* desc) { return WriteLevelsHeader(desc->pFile); }

int WriteCsv(CaptureDescriptor* desc) {
    FrameFormat format = FormatOf(desc);
    return WriteLevelsFrame(desc->pFile, &format, LineSource{ReadCapturedLine, desc},
                            static_cast<uint32_t>(desc->iCurFrame), static_cast<uint32_t>(desc->iCurSlot));
}

int WriteCsvJpeg(CaptureDescriptor* desc, const JpegBuffer& jpeg) {
    desc->uiRowBytes = 3u * jpeg.width;
    desc->uiWidth = jpeg.width;
    desc->uiHeight = jpeg.height;
    if (!WriteLevelsHeader(desc->pFile)) {
        return 0;
    }
    ShowJpegInformation(desc, jpeg);
    JpegBuffer buffer = jpeg;
    return WriteLevelsJpeg(desc->pFile, jpeg.width, jpeg.height, JpegFetchBytes(jpeg), LineSource{ReadJpegLine, &buffer});
}
