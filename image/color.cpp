#include "image/color.h"

int32_t Read10Bit(const uint8_t* line, int32_t n) {
    // Bit by bit, so it reads only the one or two bytes that hold the sample, at any
    // alignment. The writers unpack whole lines faster; this is the reference they match.
    const uint32_t first = 10u * static_cast<uint32_t>(n);
    uint32_t value = 0;
    for (uint32_t i = 0; i < 10; ++i) {
        const uint32_t k = first + i;
        value |= ((static_cast<uint32_t>(line[k / 8]) >> (k % 8)) & 1u) << i;
    }
    return static_cast<int32_t>(value);
}

int32_t ClipRGB(int32_t v) {
    if (v >= 256) {
        return 255;
    }
    if (v < 0) {
        return 0;
    }
    return v;
}

void YuvToRgb(int32_t Y, int32_t Cb, int32_t Cr, int32_t* R, int32_t* G, int32_t* B) {
    // >> 8 is an arithmetic shift with GCC and Clang, so negative sums floor and then
    // clip to 0.
    *R = ClipRGB((kLumaGain * Y + kCrToR * Cr + kOffsetR) >> 8);
    *G = ClipRGB((kLumaGain * Y - kCbToG * Cb - kCrToG * Cr + kOffsetG) >> 8);
    *B = ClipRGB((kLumaGain * Y + kCbToB * Cb + kOffsetB) >> 8);
}
