// Packed 10-bit samples and the BT.601 studio-range YCbCr to RGB conversion.
#pragma once

#include <cstdint>

// The conversion in 8-bit fixed point (x 256), on 8-bit samples: luma spans 16..235 (219
// steps), chroma 16..240 (224 steps) around 128; R, G, B span 0..255. Every coefficient
// and offset below is used by YuvToRgb and by the writers' tables alike.
constexpr int32_t kLumaGain = 298;  // round(255/219 x 256) = round(298.08)
constexpr int32_t kCrToR = 409;     // round(1.402 x 255/224 x 256) = round(408.58)
constexpr int32_t kCbToG = 100;     // round(0.344136 x 255/224 x 256) = round(100.29), subtracted
constexpr int32_t kCrToG = 208;     // round(0.714136 x 255/224 x 256) = round(208.12), subtracted
constexpr int32_t kCbToB = 516;     // round(1.772 x 255/224 x 256) = round(516.41)
constexpr int32_t kLumaBlack = 16;
constexpr int32_t kChromaZero = 128;
constexpr int32_t kRoundHalf = 128;  // half of the x 256 scale: rounds the >> 8 to nearest
// Offsets: each sum's black level and chroma zero moved to 0, plus the rounding term.
constexpr int32_t kOffsetR = kRoundHalf - kLumaGain * kLumaBlack - kCrToR * kChromaZero;  // -56992
// G has always been written without the rounding term; files stay as they were.
constexpr int32_t kOffsetG = -kLumaGain * kLumaBlack + (kCbToG + kCrToG) * kChromaZero;  // 34656
constexpr int32_t kOffsetB = kRoundHalf - kLumaGain * kLumaBlack - kCbToB * kChromaZero;  // -70688
static_assert(kOffsetR == -56992 && kOffsetG == 34656 && kOffsetB == -70688, "the offsets every file was written with");

// Sample n of a packed 10-bit line (least significant bit first); reads only the bytes
// that hold it.
int32_t Read10Bit(const uint8_t* line, int32_t n);

int32_t ClipRGB(int32_t v);

// Y, Cb, Cr on the 8-bit scale (0..256) to R, G, B in 0..255.
void YuvToRgb(int32_t Y, int32_t Cb, int32_t Cr, int32_t* R, int32_t* G, int32_t* B);
