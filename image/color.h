// Packed 10-bit samples and the BT.601 studio-range YCbCr to RGB conversion.
#pragma once

#include <cstdint>

// Sample n of a packed 10-bit line (least significant bit first); reads only the bytes
// that hold it.
int32_t Read10Bit(const uint8_t* line, int32_t n);

int32_t ClipRGB(int32_t v);

// Y, Cb, Cr on the 8-bit scale (0..256) to R, G, B in 0..255.
void YuvToRgb(int32_t Y, int32_t Cb, int32_t Cr, int32_t* R, int32_t* G, int32_t* B);
