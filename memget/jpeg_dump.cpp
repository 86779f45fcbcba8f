// The JPEG engine's buffer, dumped as one 24-bit BMP: Cr, Cb, Y bytes per pixel in the
// buffer, converted in place to B, G, R, the bottom line first.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "device/mmio.h"
#include "device/report.h"
#include "image/jpeg_row.h"
#include "memget/capture.h"
#include "memget/capture_registers.h"
#include "memget/frame_writers.h"

namespace {

// Extents span at most 2048 pixels' pairs and 2047 lines; an end before its start
// wraps to a size no buffer could hold.
bool ReadExtent(uint32_t endRegister, uint32_t startRegister, uint32_t* end, uint32_t* start) {
    return RegReadWord(endRegister, end) && RegReadWord(startRegister, start);
}

}  // namespace

int WriteBmpJPEG(CaptureDescriptor* desc) {
    uint32_t baseField = 0;
    RegReadWord(kRegJpegBase, &baseField);
    const uint32_t base = kCachedSegment | ((baseField & 0xffffffu) * 16u);

    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t end = 0;
    uint32_t start = 0;
    if (ReadExtent(kRegJpegHEnd, kRegJpegHStart, &end, &start)) {
        if ((start & 0x7ffu) > (end & 0x7ffu) + 1u) {
            Complain("the JPEG buffer's horizontal extent runs backwards: start %u, end %u",
                     static_cast<unsigned>(start & 0x7ffu), static_cast<unsigned>(end & 0x7ffu));
            return 0;
        }
        width = ((end & 0x7ffu) + 1u - (start & 0x7ffu)) * 2u;
    }
    if (ReadExtent(kRegJpegVEnd, kRegJpegVStart, &end, &start)) {
        if ((start & 0x7ffu) > (end & 0x7ffu)) {
            Complain("the JPEG buffer's vertical extent runs backwards: start %u, end %u",
                     static_cast<unsigned>(start & 0x7ffu), static_cast<unsigned>(end & 0x7ffu));
            return 0;
        }
        height = (end & 0x7ffu) - (start & 0x7ffu);
    }
    desc->uiRowBytes = 3u * width;
    desc->uiWidth = width;
    desc->uiHeight = height;

    if (!WriteBmpHeader(desc)) {
        return 0;
    }
    desc->uiRowBytes = (desc->uiRowBytes + 3u) & ~3u;

    uint32_t lineOffsetField = 0;
    RegReadWord(kRegJpegLineOffset, &lineOffsetField);
    const uint32_t lineOffset = (lineOffsetField & 0xffu) * 256u;

    std::printf("==============================>Informaiton\n");
    std::printf("Device ID: %d \n", static_cast<int>(desc->uiDeviceId));
    std::printf("Width: %d, Height: %d\n", static_cast<int>(width), static_cast<int>(height));
    std::printf("Base address: %#x\n", static_cast<unsigned>(base));
    std::printf("Line Offset: %d\n", static_cast<int>(lineOffset));
    std::printf("==============================>Encodeing\n");

    // Only the words that hold the row are read: its 3 x width bytes rounded up to whole
    // words, which is the padded row written. A line offset shorter than a row would leave
    // the row's end unread: the buffer holds a whole row all the same, and what the line
    // does not reach stays zero.
    const uint32_t fetch = std::min(lineOffset, desc->uiRowBytes);
    std::vector<uint8_t> line(std::max(lineOffset, desc->uiRowBytes), 0);
    for (uint32_t n = height; n-- > 0;) {
        ReadFrameLine(base + n * lineOffset, line.data(), fetch);
        std::fill(line.begin() + fetch, line.end(), uint8_t{0});  // converted last time round
        ConvertJpegRow(line.data(), width);
        if (std::fwrite(line.data(), 1, desc->uiRowBytes, desc->pFile) < desc->uiRowBytes) {
            std::puts("Write error!!");
            return 0;
        }
    }
    return 1;
}
