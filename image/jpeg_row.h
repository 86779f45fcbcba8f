// The JPEG buffer's pixels, converted row by row with the frame writers' tables or split
// into planes.
#pragma once

#include <cstdint>

// Converts `width` pixels of Cr, Cb, Y bytes in place to B, G, R, exactly as YuvToRgb
// would; touches only the first 3 x width bytes.
void ConvertJpegRow(uint8_t* row, uint32_t width);

// Splits `width` pixels of Cr, Cb, Y bytes into the Y, Cb and Cr planes' lines, unchanged.
void SplitJpegRow(const uint8_t* row, uint32_t width, uint8_t* y, uint8_t* cb, uint8_t* cr);
