// The 54-byte BMP header and the 24-bit BMP writer; WriteYUV shares the row loop.
#include <cstdio>

#include "device/report.h"
#include "image/frame_rows.h"
#include "image/writers.h"

namespace {

// Little-endian whatever the host, one byte at a time.
void PutLe16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v) {
    PutLe16(p, v);
    PutLe16(p + 2, v >> 16);
}

}  // namespace

bool BmpGeometryOk(const CaptureDescriptor* desc) {
    if (desc->uiWidth > kMaxFrameWidth || desc->uiHeight > kMaxFrameHeight ||
        RoundUp4(desc->uiRowBytes) != RoundUp4(3u * static_cast<uint64_t>(desc->uiWidth))) {
        Complain("frame geometry not supported: %ux%u, row bytes %u", static_cast<unsigned>(desc->uiWidth),
                 static_cast<unsigned>(desc->uiHeight), static_cast<unsigned>(desc->uiRowBytes));
        return false;
    }
    return true;
}

int WriteBmpHeader(CaptureDescriptor* desc) {
    // A header that promised other rows than the writers produce would make a file that
    // no reader decodes correctly, so such a frame is refused before anything is written.
    if (!BmpGeometryOk(desc)) {
        return 0;
    }
    if (desc->pFile == nullptr) {
        puts("Write bmp header error!!");
        return 0;
    }
    // Within the bounds above this stays far below 4 GiB.
    const uint32_t rowBytes = static_cast<uint32_t>(RoundUp4(desc->uiRowBytes));
    const uint32_t fileSize = kBmpFileHeaderSize + kBmpInfoHeaderSize + rowBytes * desc->uiHeight;

    uint8_t file[kBmpFileHeaderSize] = {};
    file[0] = 'B';
    file[1] = 'M';
    PutLe32(file + 2, fileSize);
    PutLe32(file + 10, kBmpFileHeaderSize + kBmpInfoHeaderSize);

    uint8_t info[kBmpInfoHeaderSize] = {};
    PutLe32(info + 0, kBmpInfoHeaderSize);
    PutLe32(info + 4, desc->uiWidth);
    PutLe32(info + 8, desc->uiHeight);  // positive: bottom-up rows
    PutLe16(info + 12, 1);              // planes
    PutLe16(info + 14, 24);             // bits per pixel
    PutLe32(info + 24, 100);            // pixels per metre, both directions
    PutLe32(info + 28, 100);

    if (fwrite(file, 1, sizeof file, desc->pFile) != sizeof file) {
        puts("Write bmp header error!!");
        return 0;
    }
    if (fwrite(info, 1, sizeof info, desc->pFile) != sizeof info) {
        puts("Write bmp header error!!");
        return 0;
    }
    return 1;
}

int WriteBmpFrame(CaptureDescriptor* desc, RowBuilder build, bool reduced) {
    // Every check and the allocation come before the header, so a refused frame leaves
    // an empty file rather than a header without its rows.
    if (!FrameGeometryOk(desc) || !BmpGeometryOk(desc)) {
        return 0;
    }
    FrameLines frame{};
    if (!PrepareFrameLines(&frame, desc, static_cast<size_t>(RoundUp4(3u * static_cast<uint64_t>(desc->uiWidth))), reduced)) {
        return 0;
    }
    // One chroma group serves two 4:4:4 pixels: taking it straight from the line saves
    // storing and reloading every chroma sample.
    frame.chromaPacked = !reduced && !frame.is422 && frame.chroma10;
    if (WriteBmpHeader(desc) == 0) {
        return 0;
    }
    desc->uiRowBytes = static_cast<uint32_t>(RoundUp4(desc->uiRowBytes));
    const size_t rowBytes = desc->uiRowBytes;

    for (uint32_t line = desc->uiHeight; line-- > 0;) {  // BMP rows run bottom-up
        FetchFrameLine(&frame, line);
        build(&frame, frame.row);
        if (fwrite(frame.row, 1, rowBytes, desc->pFile) != rowBytes) {
            puts("Write error!!");
            return 0;
        }
    }
    return 1;
}

int WriteBmp(CaptureDescriptor* desc) { return WriteBmpFrame(desc, BuildBmpRow, false); }
