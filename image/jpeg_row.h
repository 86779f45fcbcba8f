// The JPEG buffer's pixels, converted row by row with the frame writers' tables.
#pragma once

#include <cstdint>

// Converts `width` pixels of Cr, Cb, Y bytes in place to B, G, R, exactly as YuvToRgb
// would; touches only the first 3 x width bytes.
void ConvertJpegRow(uint8_t* row, uint32_t width);
