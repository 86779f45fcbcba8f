// The fast row code: whole-line unpacking and table-driven conversion. Every table entry
// is computed from the reference formulas, so the rows match Read10Bit, YuvToRgb and
// ClipRGB byte for byte (the tests compare them on random lines).
#include "image/frame_rows.h"

#include <cstring>

#include "image/jpeg_row.h"

namespace {

constexpr int32_t kSampleCount = 1024;

// Added to every luma term so that each sum is positive: (sum >> 8) is then an unsigned
// shift, and the clamp table's index kClampBias stands for the value 0.
constexpr int32_t kClampBias = 512;
constexpr int32_t kSumBias = kClampBias * 256;
constexpr int32_t kClampSize = 1056;

constexpr int32_t Reduce(int32_t v) { return (v + 2) >> 2; }

struct ColorTables {
    int32_t luma[kSampleCount];  // 298 x reduced Y, plus the bias
    int32_t rCr[kSampleCount];   // 409 x reduced Cr - 56992
    int32_t gCr[kSampleCount];   // -208 x reduced Cr + 34656
    int32_t gCb[kSampleCount];   // -100 x reduced Cb
    int32_t bCb[kSampleCount];   // 516 x reduced Cb - 70688
    uint8_t clamp[kClampSize];   // ClipRGB(index - kClampBias)
    uint8_t reduce8[kSampleCount];  // the reduction saturated at 255
};

// Built when the program starts rather than stored in it: the binary is copied to
// boards over slow links, and these tables are half again the size of the code.
ColorTables MakeColorTables() {
    ColorTables t{};
    for (int32_t v = 0; v < kSampleCount; ++v) {
        const int32_t r = Reduce(v);
        t.luma[v] = 298 * r + kSumBias;
        t.rCr[v] = 409 * r - 56992;
        t.gCr[v] = -208 * r + 34656;
        t.gCb[v] = -100 * r;
        t.bCb[v] = 516 * r - 70688;
        t.reduce8[v] = static_cast<uint8_t>(r > 255 ? 255 : r);
    }
    for (int32_t i = 0; i < kClampSize; ++i) {
        const int32_t v = i - kClampBias;
        t.clamp[i] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
    return t;
}

const ColorTables kTables = MakeColorTables();

// Every reduced input is 0..256: the extreme sums must land inside the clamp table.
static_assert(((298 * 256 + kSumBias + 516 * 256 - 70688) >> 8) < kClampSize, "B above the clamp table");
static_assert(((298 * 256 + kSumBias + 409 * 256 - 56992) >> 8) < kClampSize, "R above the clamp table");
static_assert(kSumBias - 70688 > 0 && kSumBias - 208 * 256 + 34656 - 100 * 256 > 0 && kSumBias - 56992 > 0,
              "a sum below zero");

// One pixel from its luma term and its pair's three chroma terms.
inline void PutBgr(uint8_t* p, int32_t y, int32_t r, int32_t g, int32_t b) {
    p[0] = kTables.clamp[static_cast<uint32_t>(y + b) >> 8];
    p[1] = kTables.clamp[static_cast<uint32_t>(y + g) >> 8];
    p[2] = kTables.clamp[static_cast<uint32_t>(y + r) >> 8];
}

// Chroma sample k of a line on the 10-bit scale: 10-bit layouts from the unpacked
// samples, 8-bit layouts straight from the fetched bytes as byte x 4 (which the
// reduction turns back into the byte, and which the PPM prints).
struct Chroma10 {
    const uint16_t* p;
    uint32_t Scaled(size_t k) const { return p[k]; }
};

struct Chroma8 {
    const uint8_t* p;
    uint32_t Scaled(size_t k) const { return static_cast<uint32_t>(p[k]) << 2; }
};

// "%d " of 0..1023, padded to 8 bytes so one fixed-size copy moves it.
struct DecimalText {
    char text[7];
    uint8_t length;
};

struct DecimalTable {
    DecimalText entry[kSampleCount];
};

DecimalTable MakeDecimalTable() {
    DecimalTable t{};
    for (int32_t v = 0; v < kSampleCount; ++v) {
        char digits[4] = {};
        int32_t count = 0;
        int32_t rest = v;
        do {
            digits[count++] = static_cast<char>('0' + rest % 10);
            rest /= 10;
        } while (rest > 0);
        for (int32_t i = 0; i < count; ++i) {
            t.entry[v].text[i] = digits[count - 1 - i];
        }
        t.entry[v].text[count] = ' ';
        t.entry[v].length = static_cast<uint8_t>(count + 1);
    }
    return t;
}

const DecimalTable kDecimal = MakeDecimalTable();
static_assert(sizeof(DecimalText) == 8, "one 8-byte copy per number");

inline uint8_t* PutNumber(uint8_t* out, uint32_t v) {
    std::memcpy(out, &kDecimal.entry[v], 8);
    return out + kDecimal.entry[v].length;
}

inline uint8_t* PutYCbCrText(uint8_t* out, uint32_t y, uint32_t cb, uint32_t cr) {
    out = PutNumber(out, y);
    out = PutNumber(out, cb);
    return PutNumber(out, cr);
}

// Four samples from five bytes, taken from one 8-byte load (the line buffers keep three
// bytes of slack after the last group for it); unrolled twice, which trims the loop's
// share per sample.
inline uint64_t LoadGroup(const uint8_t* src) {
    uint64_t w;
    std::memcpy(&w, src, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    w = __builtin_bswap64(w);
#endif
    return w;
}

template <typename Sample, typename Map>
void UnpackGroups(const uint8_t* src, Sample* dst, uint32_t groups, Map map) {
#pragma GCC unroll 2
    for (uint32_t g = 0; g < groups; ++g, src += 5, dst += 4) {
        const uint64_t w = LoadGroup(src);
        dst[0] = map(static_cast<uint32_t>(w) & 0x3ffu);
        dst[1] = map(static_cast<uint32_t>(w >> 10) & 0x3ffu);
        dst[2] = map(static_cast<uint32_t>(w >> 20) & 0x3ffu);
        dst[3] = map(static_cast<uint32_t>(w >> 30) & 0x3ffu);
    }
}

}  // namespace

void Unpack10BitLine(const uint8_t* src, uint16_t* dst, uint32_t groups) {
    UnpackGroups(src, dst, groups, [](uint32_t v) { return static_cast<uint16_t>(v); });
}

void Unpack10BitLineReduced(const uint8_t* src, uint8_t* dst, uint32_t groups) {
    UnpackGroups(src, dst, groups, [](uint32_t v) { return kTables.reduce8[v]; });
}

// The row loops index with size_t so that they step pointers instead of recomputing
// 32-bit indices that might wrap.
namespace {

template <typename Chroma>
void BmpRow(const uint16_t* luma, Chroma chroma, size_t width, bool is422, uint8_t* row) {
    const ColorTables& t = kTables;
    if (!is422) {
        for (size_t i = 0; i < width; ++i, row += 3) {
            const uint32_t cr = chroma.Scaled(2 * i);
            const uint32_t cb = chroma.Scaled(2 * i + 1);
            PutBgr(row, t.luma[luma[i]], t.rCr[cr], t.gCr[cr] + t.gCb[cb], t.bCb[cb]);
        }
        return;
    }
    // Both pixels of a pair share its chroma terms; an odd last pixel takes the pair
    // that follows the last full one (samples W - 1 and W).
    for (size_t i = 0; i < width; i += 2, row += 6) {
        const uint32_t cr = chroma.Scaled(i);
        const uint32_t cb = chroma.Scaled(i + 1);
        const int32_t r = t.rCr[cr];
        const int32_t g = t.gCr[cr] + t.gCb[cb];
        const int32_t b = t.bCb[cb];
        PutBgr(row, t.luma[luma[i]], r, g, b);
        if (i + 1 == width) {
            break;
        }
        PutBgr(row + 3, t.luma[luma[i + 1]], r, g, b);
    }
}

// 4:4:4 with 10-bit chroma, two pixels per chroma group of 5 bytes (Cr, Cb, Cr, Cb).
void BmpRow444Packed(const uint16_t* luma, const uint8_t* chroma, size_t width, uint8_t* row) {
    const ColorTables& t = kTables;
    size_t i = 0;
    for (; i + 2 <= width; i += 2, row += 6, chroma += 5) {
        const uint64_t c = LoadGroup(chroma);
        const uint32_t cr0 = static_cast<uint32_t>(c) & 0x3ffu;
        const uint32_t cb0 = static_cast<uint32_t>(c >> 10) & 0x3ffu;
        const uint32_t cr1 = static_cast<uint32_t>(c >> 20) & 0x3ffu;
        const uint32_t cb1 = static_cast<uint32_t>(c >> 30) & 0x3ffu;
        PutBgr(row, t.luma[luma[i]], t.rCr[cr0], t.gCr[cr0] + t.gCb[cb0], t.bCb[cb0]);
        PutBgr(row + 3, t.luma[luma[i + 1]], t.rCr[cr1], t.gCr[cr1] + t.gCb[cb1], t.bCb[cb1]);
    }
    if (i < width) {  // an odd last pixel: the first pair of the next group
        const uint64_t c = LoadGroup(chroma);
        const uint32_t cr = static_cast<uint32_t>(c) & 0x3ffu;
        const uint32_t cb = static_cast<uint32_t>(c >> 10) & 0x3ffu;
        PutBgr(row, t.luma[luma[i]], t.rCr[cr], t.gCr[cr] + t.gCb[cb], t.bCb[cb]);
    }
}

// Reduced samples are bytes already: the dump only places them, the Cr, Cb pair of a
// pixel in one 2-byte copy.
void YuvRow(const uint8_t* luma, const uint8_t* chroma, size_t width, bool is422, uint8_t* row) {
    if (!is422) {
        for (size_t i = 0; i < width; ++i, row += 3) {
            std::memcpy(row, chroma + 2 * i, 2);
            row[2] = luma[i];
        }
        return;
    }
    for (size_t i = 0; i < width; i += 2, row += 6) {
        std::memcpy(row, chroma + i, 2);
        row[2] = luma[i];
        if (i + 1 == width) {
            break;
        }
        std::memcpy(row + 3, chroma + i, 2);
        row[5] = luma[i + 1];
    }
}

template <typename Chroma>
size_t PpmRow(const uint16_t* luma, Chroma chroma, size_t width, bool is422, uint8_t* row) {
    uint8_t* out = row;
    if (!is422) {
        for (size_t i = 0; i < width; ++i) {
            out = PutYCbCrText(out, luma[i], chroma.Scaled(2 * i + 1), chroma.Scaled(2 * i));
        }
    } else {
        for (size_t i = 0; i < width; i += 2) {
            const uint32_t cr = chroma.Scaled(i);
            const uint32_t cb = chroma.Scaled(i + 1);
            out = PutYCbCrText(out, luma[i], cb, cr);
            if (i + 1 == width) {
                break;
            }
            out = PutYCbCrText(out, luma[i + 1], cb, cr);
        }
    }
    return static_cast<size_t>(out - row);
}

}  // namespace

void BuildBmpRow(const FrameLines* f, uint8_t* row) {
    if (f->chromaPacked) {
        BmpRow444Packed(f->luma, f->chromaBytes, f->width, row);
    } else if (f->chroma10) {
        BmpRow(f->luma, Chroma10{f->chroma}, f->width, f->is422, row);
    } else {
        BmpRow(f->luma, Chroma8{f->chromaBytes}, f->width, f->is422, row);
    }
}

void BuildYuvRow(const FrameLines* f, uint8_t* row) { YuvRow(f->luma8, f->chroma8, f->width, f->is422, row); }

size_t BuildPpmRow(const FrameLines* f, uint8_t* row) {
    if (f->chroma10) {
        return PpmRow(f->luma, Chroma10{f->chroma}, f->width, f->is422, row);
    }
    return PpmRow(f->luma, Chroma8{f->chromaBytes}, f->width, f->is422, row);
}

void ConvertJpegRow(uint8_t* row, uint32_t width) {
    // The tables are indexed on the 10-bit scale; byte << 2 reduces back to the byte.
    const ColorTables& t = kTables;
    for (uint32_t j = 0; j < width; ++j, row += 3) {
        const uint32_t cr = static_cast<uint32_t>(row[0]) << 2;
        const uint32_t cb = static_cast<uint32_t>(row[1]) << 2;
        const uint32_t y = static_cast<uint32_t>(row[2]) << 2;
        PutBgr(row, t.luma[y], t.rCr[cr], t.gCr[cr] + t.gCb[cb], t.bCb[cb]);
    }
}
