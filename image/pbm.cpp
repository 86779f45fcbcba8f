// The plain PPM (P3) writer: the 10-bit Y, Cb, Cr of every pixel as decimal text, top
// line first. Header lines end in NUL + line feed, as the target's viewers expect.
#include <cstdio>

#include "image/frame_rows.h"
#include "image/writers.h"

namespace {

constexpr int32_t kHeaderTextSize = 20;
constexpr uint32_t kMaxSampleValue = 1023;

constexpr int32_t DigitCount(uint32_t v) { return v < 10 ? 1 : 1 + DigitCount(v / 10); }

// "W H\0\n1023\0\n" for the largest frame the writers accept.
static_assert(DigitCount(kMaxFrameWidth) + 1 + DigitCount(kMaxFrameHeight) + 2 + DigitCount(kMaxSampleValue) + 2 <=
                  kHeaderTextSize,
              "the header text buffer holds every accepted size");

bool AppendByte(uint8_t* text, int32_t* length, uint8_t byte) {
    if (*length < 0 || *length >= kHeaderTextSize) {
        return false;
    }
    text[(*length)++] = byte;
    return true;
}

}  // namespace

int PUT_INT_TO_CHAR(uint8_t* buffer, int32_t* length, uint32_t value, int32_t size) {
    // Any 32-bit value and 0 itself get their digits; the bound check keeps the caller's
    // buffer whole whatever it is handed.
    const int32_t digits = DigitCount(value);
    if (*length < 0 || *length > size - digits) {
        return 0;
    }
    for (int32_t i = digits - 1; i >= 0; --i) {
        buffer[*length + i] = static_cast<uint8_t>('0' + value % 10);
        value /= 10;
    }
    *length += digits;
    return 1;
}

int WritePpmFile(FILE* file, FrameFormat* format, const LineSource& lines) {
    // Checks and allocation first, so a refused frame leaves an empty file.
    if (!FrameGeometryOk(*format)) {
        return 0;
    }
    // Rows are text of varying length: the band takes rows while the longest row still fits.
    const size_t rowMax = static_cast<size_t>(format->width) * kPpmPixelTextMax + 8u;
    const size_t capacity = rowMax * BandRows(rowMax, format->height);
    FrameLines frame{};
    if (!PrepareFrameLines(&frame, *format, lines, capacity)) {
        return 0;
    }

    const uint8_t magic[4] = {'P', '3', 0x00, 0x0a};
    uint8_t text[kHeaderTextSize] = {};
    int32_t length = 0;
    const bool fits = PUT_INT_TO_CHAR(text, &length, format->width, kHeaderTextSize) &&
                      AppendByte(text, &length, ' ') &&
                      PUT_INT_TO_CHAR(text, &length, format->height, kHeaderTextSize) &&
                      AppendByte(text, &length, 0x00) && AppendByte(text, &length, 0x0a) &&
                      PUT_INT_TO_CHAR(text, &length, kMaxSampleValue, kHeaderTextSize) &&
                      AppendByte(text, &length, 0x00) && AppendByte(text, &length, 0x0a);

    if (!fits || file == nullptr || fwrite(magic, 1, sizeof magic, file) != sizeof magic) {
        puts("Write bmp header error!!");
        return 0;
    }
    if (fwrite(text, 1, static_cast<size_t>(length), file) != static_cast<size_t>(length)) {
        puts("Write bmp header error!!");
        return 0;
    }

    size_t used = 0;
    for (uint32_t line = 0; line < format->height; ++line) {
        FetchBothPlanes(&frame, line);
        used += BuildPpmRow(&frame, frame.row + used);
        if (capacity - used >= rowMax && line + 1u < format->height) {
            continue;
        }
        // A lost row would shift every later number into the wrong place: stop there,
        // like the BMP writers.
        if (fwrite(frame.row, 1, used, file) != used) {
            puts("Write error!!");
            return 0;
        }
        used = 0;
    }
    return 1;
}
