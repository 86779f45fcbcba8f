// The 54-byte BMP header and the 24-bit BMP writer; WriteYUV shares the row loop.
#include <cstdio>
#include <cstring>

#include "report/report.h"
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

bool BmpGeometryOk(const FrameFormat& format) {
    if (format.width > kMaxFrameWidth || format.height > kMaxFrameHeight ||
        RoundUp4(format.bmpRowBytes) != RoundUp4(3u * static_cast<uint64_t>(format.width))) {
        Complain("frame geometry not supported: %ux%u, row bytes %u", static_cast<unsigned>(format.width),
                 static_cast<unsigned>(format.height), static_cast<unsigned>(format.bmpRowBytes));
        return false;
    }
    return true;
}

int WriteBmpFileHeader(FILE* file, const FrameFormat& format) {
    // A header that promised other rows than the writers produce would make a file that
    // no reader decodes correctly, so such a frame is refused before anything is written.
    if (!BmpGeometryOk(format)) {
        return 0;
    }
    if (file == nullptr) {
        puts("Write bmp header error!!");
        return 0;
    }
    // Within the bounds above this stays far below 4 GiB.
    const uint32_t rowBytes = static_cast<uint32_t>(RoundUp4(format.bmpRowBytes));
    const uint32_t fileSize = kBmpFileHeaderSize + kBmpInfoHeaderSize + rowBytes * format.height;

    uint8_t head[kBmpFileHeaderSize] = {};
    head[0] = 'B';
    head[1] = 'M';
    PutLe32(head + 2, fileSize);
    PutLe32(head + 10, kBmpFileHeaderSize + kBmpInfoHeaderSize);

    uint8_t info[kBmpInfoHeaderSize] = {};
    PutLe32(info + 0, kBmpInfoHeaderSize);
    PutLe32(info + 4, format.width);
    PutLe32(info + 8, format.height);  // positive: bottom-up rows
    PutLe16(info + 12, 1);             // planes
    PutLe16(info + 14, 24);            // bits per pixel
    PutLe32(info + 24, 100);           // pixels per metre, both directions
    PutLe32(info + 28, 100);

    if (fwrite(head, 1, sizeof head, file) != sizeof head) {
        puts("Write bmp header error!!");
        return 0;
    }
    if (fwrite(info, 1, sizeof info, file) != sizeof info) {
        puts("Write bmp header error!!");
        return 0;
    }
    return 1;
}

int WriteBmpFrame(FILE* file, FrameFormat* format, const LineSource& lines, RowBuilder build) {
    // Every check and the allocation come before the header, so a refused frame leaves
    // an empty file rather than a header without its rows.
    if (!FrameGeometryOk(*format) || !BmpGeometryOk(*format)) {
        return 0;
    }
    const size_t rowBytes = static_cast<size_t>(RoundUp4(3u * static_cast<uint64_t>(format->width)));
    const uint32_t bandRows = BandRows(rowBytes, format->height);
    FrameLines frame{};
    if (!PrepareFrameLines(&frame, *format, lines, rowBytes * bandRows)) {
        return 0;
    }
    if (WriteBmpFileHeader(file, *format) == 0) {
        return 0;
    }
    format->bmpRowBytes = static_cast<uint32_t>(RoundUp4(format->bmpRowBytes));

    // BMP rows run bottom-up; each band holds the next rows in file order. The rows set
    // their 3 x width bytes; the pad bytes after them are set to 0 here, once.
    for (uint32_t k = 0; k < bandRows; ++k) {
        const size_t pixelBytes = 3u * size_t{format->width};
        std::memset(frame.row + rowBytes * k + pixelBytes, 0, rowBytes - pixelBytes);
    }
    for (uint32_t line = format->height; line > 0;) {
        const uint32_t rows = line < bandRows ? line : bandRows;
        uint8_t* row = frame.row;
        for (uint32_t k = 0; k < rows; ++k, row += rowBytes) {
            FetchBothPlanes(&frame, --line);
            build(&frame, row);
        }
        const size_t bytes = rowBytes * rows;
        if (fwrite(frame.row, 1, bytes, file) != bytes) {
            puts("Write error!!");
            return 0;
        }
    }
    return 1;
}

int WriteBmpFile(FILE* file, FrameFormat* format, const LineSource& lines) {
    return WriteBmpFrame(file, format, lines, BuildBmpRow);
}
