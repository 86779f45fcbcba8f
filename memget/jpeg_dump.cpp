// The JPEG engine's buffer, dumped as one 24-bit BMP: Cr, Cb, Y bytes per pixel in the
// buffer, converted in place to B, G, R, the bottom line first. Under a ".y4m" name it is
// a one-frame 8-bit YUV4MPEG2 stream instead, the bytes unchanged.
#include "memget/jpeg_dump.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "device/mmio.h"
#include "report/report.h"
#include "image/frame_rows.h"
#include "image/jpeg_row.h"
#include "memget/capture.h"
#include "memget/capture_names.h"
#include "memget/capture_registers.h"
#include "memget/frame_loop.h"
#include "memget/frame_mapping.h"
#include "memget/frame_writers.h"
#include "memget/output_formats.h"

bool ProbeJpegBuffer(JpegBuffer* jpeg) {
    uint32_t baseField = 0;
    RegReadWord(kRegJpegBase, &baseField);
    jpeg->base = kCachedSegment | ((baseField & 0xffffffu) * 16u);

    // Extents span at most 2048 pixels' pairs and 2047 lines; an end before its start
    // would wrap to a size no buffer could hold.
    uint32_t end = 0;
    uint32_t start = 0;
    if (ReadRegisterPair(kRegJpegHEnd, kRegJpegHStart, &end, &start)) {
        if ((start & 0x7ffu) > (end & 0x7ffu) + 1u) {
            Complain("the JPEG buffer's horizontal extent runs backwards: start %u, end %u",
                     static_cast<unsigned>(start & 0x7ffu), static_cast<unsigned>(end & 0x7ffu));
            return false;
        }
        jpeg->width = ((end & 0x7ffu) + 1u - (start & 0x7ffu)) * 2u;
    }
    if (ReadRegisterPair(kRegJpegVEnd, kRegJpegVStart, &end, &start)) {
        if ((start & 0x7ffu) > (end & 0x7ffu)) {
            Complain("the JPEG buffer's vertical extent runs backwards: start %u, end %u",
                     static_cast<unsigned>(start & 0x7ffu), static_cast<unsigned>(end & 0x7ffu));
            return false;
        }
        jpeg->height = (end & 0x7ffu) - (start & 0x7ffu);
    }

    uint32_t lineOffsetField = 0;
    RegReadWord(kRegJpegLineOffset, &lineOffsetField);
    jpeg->lineOffset = (lineOffsetField & 0xffu) * 256u;
    return true;
}

void ShowJpegInformation(const CaptureDescriptor* desc, const JpegBuffer& jpeg) {
    Banner("Informaiton");
    std::printf("Device ID: %d \n", static_cast<int>(desc->uiDeviceId));
    std::printf("Width: %d, Height: %d\n", static_cast<int>(jpeg.width), static_cast<int>(jpeg.height));
    std::printf("Base address: %#x\n", static_cast<unsigned>(jpeg.base));
    std::printf("Line Offset: %d\n", static_cast<int>(jpeg.lineOffset));
    Banner("Encodeing");
}

uint32_t JpegFetchBytes(const JpegBuffer& jpeg) { return std::min(jpeg.lineOffset, (3u * jpeg.width + 3u) & ~3u); }

int WriteJpegRows(CaptureDescriptor* desc, const JpegBuffer& jpeg) {
    desc->uiRowBytes = 3u * jpeg.width;
    desc->uiWidth = jpeg.width;
    desc->uiHeight = jpeg.height;
    if (!WriteBmpHeader(desc)) {
        return 0;
    }
    desc->uiRowBytes = (desc->uiRowBytes + 3u) & ~3u;
    ShowJpegInformation(desc, jpeg);

    // Only the words that hold the row are read: its 3 x width bytes rounded up to whole
    // words, which is the padded row written. A line offset shorter than a row would leave
    // the row's end unread: what the line does not reach stays zero.
    // A band of rows goes to the stream at once, as the frame writers do it.
    const uint32_t lineOffset = jpeg.lineOffset;
    const uint32_t fetch = JpegFetchBytes(jpeg);
    const size_t rowBytes = desc->uiRowBytes;
    const uint32_t bandRows = BandRows(rowBytes, jpeg.height);
    // Every byte of a row is read or set below, so the band is not cleared first.
    std::unique_ptr<uint8_t[]> band(new (std::nothrow) uint8_t[rowBytes * bandRows]);
    if (!band) {
        Complain("cannot allocate the frame buffers");
        return 0;
    }
    for (uint32_t n = jpeg.height; n > 0;) {
        const uint32_t rows = std::min(n, bandRows);
        // Counted in rows, not bytes: a buffer 0 pixels wide still has its lines.
        uint8_t* row = band.get();
        for (uint32_t k = 0; k < rows; ++k, row += rowBytes) {
            ReadFrameLine(jpeg.base + --n * lineOffset, row, fetch);
            std::fill(row + fetch, row + rowBytes, uint8_t{0});  // converted last time round
            ConvertJpegRow(row, jpeg.width);
        }
        if (std::fwrite(band.get(), 1, rowBytes * rows, desc->pFile) < rowBytes * rows) {
            std::puts("Write error!!");
            return 0;
        }
    }
    return 1;
}

int WriteJpegPlanes(CaptureDescriptor* desc, const JpegBuffer& jpeg) {
    desc->uiRowBytes = 3u * jpeg.width;
    desc->uiWidth = jpeg.width;
    desc->uiHeight = jpeg.height;
    if (!WriteY4mJpegHeader(desc->pFile, jpeg.width, jpeg.height)) {
        return 0;
    }
    ShowJpegInformation(desc, jpeg);
    // The words that hold the row's 3 x width bytes, as the BMP road reads them; the row
    // is followed by its three plane lines.
    const uint32_t rowBytes = (3u * jpeg.width + 3u) & ~3u;
    const uint32_t fetch = JpegFetchBytes(jpeg);
    std::vector<uint8_t> bytes(rowBytes + 3u * jpeg.width, 0);
    uint8_t* row = bytes.data();
    const PlanarLine planes{row + rowBytes, row + rowBytes + jpeg.width, row + rowBytes + 2u * jpeg.width, jpeg.width,
                         jpeg.width};
    Y4mFrameOut out;
    if (!out.Start(desc->pFile, planes, jpeg.height, IsStandardOutputName(desc->acFileName))) {
        return 0;
    }
    for (uint32_t n = 0; n < jpeg.height; ++n) {
        ReadFrameLine(jpeg.base + n * jpeg.lineOffset, row, fetch);
        SplitJpegRow(row, jpeg.width, planes.y, planes.cb, planes.cr);
        if (!out.Put(n, planes)) {
            return 0;
        }
    }
    return out.Finish() ? 1 : 0;
}

namespace {

// The output file's writer, a named function rather than a lambda: profiles and the
// benchmark select WriteBmpJPEG by name, and a lambda inside it carries that name too.
// Called with the file created: only then is the buffer mapped and read.
int WriteProbedRows(CaptureDescriptor* desc, const void* jpeg) {
    const JpegBuffer& buffer = *static_cast<const JpegBuffer*>(jpeg);
    const FrameMapping mapping(buffer);
    return FindOutputFormat(desc->uiFileType)->jpeg(desc, buffer);
}

}  // namespace

int WriteBmpJPEG(CaptureDescriptor* desc) {
    // The extents (and for a stream the picture's size) are checked before the file is
    // created: a refused dump leaves the name as it was.
    JpegBuffer jpeg;
    if (!ProbeJpegBuffer(&jpeg)) {
        return 0;
    }
    const OutputFormat* format = FindOutputFormat(desc->uiFileType);
    if (format == nullptr) {
        return 0;
    }
    if (format->jpeg == nullptr) {
        Complain("%s cannot hold the JPEG engine's picture", format->ending);
        return 0;
    }
    // The row's own check, of the picture as a frame: the BMP container takes every
    // picture the registers can describe, a stream no empty one.
    const FrameFormat picture{jpeg.width, jpeg.height, 3u * jpeg.width, 0, 0, jpeg.lineOffset, jpeg.lineOffset};
    if (!format->accepts(picture)) {
        return 0;
    }
    return WriteOutputFile(desc, desc->acFileName, "Cannot create pbm or bmp file", WriteProbedRows, &jpeg) ==
                   FileOutcome::kWritten
               ? 1
               : 0;
}
