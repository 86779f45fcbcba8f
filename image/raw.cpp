// Planar 16-bit samples, no header: Y, then Cb, then Cr.
#include <sys/types.h>

#include <cstdio>

#include "image/frame_rows.h"
#include "image/writers.h"

int WriteRawFile(FILE* file, FrameFormat* format, const LineSource& lines) {
    if (!WriterAcceptsFormat(*format, Container::kPpmText) || file == nullptr) {
        return 0;
    }
    const uint64_t lumaBytes = 2u * uint64_t{format->width};
    const uint64_t chromaBytes = Y4mChromaLineBytes(*format);
    FrameLines frame{};
    if (!PrepareFrameLines(&frame, *format, lines, static_cast<size_t>(lumaBytes + 2u * chromaBytes + 8))) {
        return 0;
    }
    uint16_t* const words = reinterpret_cast<uint16_t*>(frame.row);
    const Y4mLine planes{frame.row, frame.row + lumaBytes, frame.row + lumaBytes + chromaBytes, lumaBytes, chromaBytes};
    for (uint32_t line = 0; line < format->height; ++line) {
        FetchBothPlanes(&frame, line);
        BuildY4mRow(&frame, words, words + lumaBytes / 2u, words + (lumaBytes + chromaBytes) / 2u);
        if (!PutY4mLine(file, 0, line, format->height, planes)) {
            return 0;
        }
    }
    return 1;
}
