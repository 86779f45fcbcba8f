// The fast row code: packed lines straight to output rows, table-driven. Every table
// entry is computed from the coefficients in image/color.h, so the rows match Read10Bit,
// YuvToRgb and ClipRGB byte for byte (the tests compare them on random lines). This file
// runs once per pixel: it is built for speed where the rest of the tool is built for size
// (image/CMakeLists.txt).
#include "image/frame_rows.h"

#include <cstring>

#include "image/color.h"
#include "image/jpeg_row.h"

namespace {

constexpr int32_t kSampleCount = 1024;
constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// Added to every luma term so that each sum is positive: (sum >> 8) is then an unsigned
// shift, and the clamp table's index kClampBias stands for the value 0.
constexpr int32_t kClampBias = 512;
constexpr int32_t kSumBias = kClampBias * 256;
constexpr int32_t kClampSize = 1056;

// 10-bit to 8-bit scale, rounded.
constexpr int32_t Reduce(int32_t v) { return (v + 2) >> 2; }

// A sample's two chroma terms side by side, so one index reaches both.
struct CrTerms {
    int32_t r;  // kCrToR x Cr + kOffsetR
    int32_t g;  // -kCrToG x Cr + kOffsetG
};
struct CbTerms {
    int32_t g;  // -kCbToG x Cb
    int32_t b;  // kCbToB x Cb + kOffsetB
};

// Every table is computed from the coefficients of image/color.h by the constexpr entry
// formulas below, never typed in; the tests compare the rows built on them with YuvToRgb
// and Read10Bit for every sample value. The builders are deliberately not constexpr: the
// tables are built when the program starts rather than stored in it, as a constant-
// initialised table would be, since the binary is copied to boards over slow links and
// the tables (about 30 KB) would take more than its size limit leaves. Each is its own
// object, so a loop keeps one base register per table.
template <typename T, size_t N>
struct Table {
    T at[N];
};

template <typename T, size_t N, typename Entry>
Table<T, N> MakeTable(Entry entry) {
    Table<T, N> t{};
    for (size_t i = 0; i < N; ++i) {
        t.at[i] = entry(static_cast<int32_t>(i));
    }
    return t;
}

// ClipRGB(index - kClampBias).
const Table<uint8_t, kClampSize> kClamp = MakeTable<uint8_t, kClampSize>([](int32_t i) {
    const int32_t v = i - kClampBias;
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
});

// On a 32-bit core kClamp's address, moved up 8 bits, is folded into every luma term:
// (sum >> 8) is then the address of the clamped byte itself, which saves an add per colour
// on a core whose loads take no index register. It fits wherever the table lies below
// 2^24 (a static binary's data does); where it does not, kClampFold is 0 and the rows take
// the per-pixel road. A 64-bit core indexes the table within the load: nothing to fold,
// and the sums stay 32 bits.
constexpr bool kFoldable = UINTPTR_MAX == 0xffffffffu;

uint32_t ClampFold() {
    const uintptr_t at = reinterpret_cast<uintptr_t>(kClamp.at);
    return kFoldable && at <= (0xffffffffu >> 8) - kClampSize ? static_cast<uint32_t>(at << 8) : 0u;
}
const uint32_t kClampFold = ClampFold();

// Indexed by 10-bit samples; the terms use the reduced (8-bit) value.
const Table<uint32_t, kSampleCount> kLumaTerms =  // kLumaGain x Y, plus the bias and the fold
    MakeTable<uint32_t, kSampleCount>([](int32_t v) {
        return kClampFold + static_cast<uint32_t>(kLumaGain * Reduce(v) + kSumBias);
    });

const Table<CrTerms, kSampleCount> kCrTerms = MakeTable<CrTerms, kSampleCount>([](int32_t v) {
    return CrTerms{kCrToR * Reduce(v) + kOffsetR, -kCrToG * Reduce(v) + kOffsetG};
});
const Table<CbTerms, kSampleCount> kCbTerms = MakeTable<CbTerms, kSampleCount>([](int32_t v) {
    return CbTerms{-kCbToG * Reduce(v), kCbToB * Reduce(v) + kOffsetB};
});
// The reduction saturated at 255.
const Table<uint8_t, kSampleCount> kReduce8 =
    MakeTable<uint8_t, kSampleCount>([](int32_t v) { return static_cast<uint8_t>(Reduce(v) > 255 ? 255 : Reduce(v)); });
// Every reduced input is 0..256: the extreme sums must land inside the clamp table.
static_assert(((kLumaGain * 256 + kSumBias + kCbToB * 256 + kOffsetB) >> 8) < kClampSize, "B above the clamp table");
static_assert(((kLumaGain * 256 + kSumBias + kCrToR * 256 + kOffsetR) >> 8) < kClampSize, "R above the clamp table");
static_assert(((kLumaGain * 256 + kSumBias + kOffsetG) >> 8) < kClampSize, "G above the clamp table");
static_assert(kSumBias + kOffsetB > 0 && kSumBias - (kCrToG + kCbToG) * 256 + kOffsetG > 0 && kSumBias + kOffsetR > 0,
              "a sum below zero");

#define AVRIG_INLINE inline __attribute__((always_inline))

// The clamped byte of a luma term plus a chroma term. The sums wrap as unsigned numbers
// to the positive total the bias makes. kFolded: the luma term holds kClampFold, so the
// shifted sum is the byte's address; otherwise it is the index, less a fold in the term.
template <bool kFolded>
AVRIG_INLINE uint8_t ClampedAt(uint32_t y, int32_t c) {
    const uint32_t at = (y + static_cast<uint32_t>(c)) >> 8;
    if constexpr (kFolded) {
        return *reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(at));
    } else {
        const uint8_t* clamp = kClamp.at;
        return clamp[kFoldable ? at - (kClampFold >> 8) : at];
    }
}

// One pixel from its luma term and its pair's three chroma terms.
template <bool kFolded>
AVRIG_INLINE void PutBgr(uint8_t* p, uint32_t y, int32_t r, int32_t g, int32_t b) {
    p[0] = ClampedAt<kFolded>(y, b);
    p[1] = ClampedAt<kFolded>(y, g);
    p[2] = ClampedAt<kFolded>(y, r);
}

// "%d " of 0..1023 and its length (2 to 5), padded to 8 bytes.
struct alignas(8) DecimalText {
    char text[7];
    uint8_t length;
};

struct DecimalTable {
    DecimalText entry[kSampleCount];
};

DecimalTable MakeDecimalTable() {
    DecimalTable t{};
    for (int32_t v = 0; v < kSampleCount; ++v) {
        int32_t count = v >= 1000 ? 4 : (v >= 100 ? 3 : (v >= 10 ? 2 : 1));
        for (int32_t i = count - 1, rest = v; i >= 0; --i, rest /= 10) {
            t.entry[v].text[i] = static_cast<char>('0' + rest % 10);
        }
        t.entry[v].text[count++] = ' ';
        t.entry[v].length = static_cast<uint8_t>(count);
    }
    return t;
}

const DecimalTable kDecimal = MakeDecimalTable();

// A 32-bit word at any address. Written through this type rather than memcpy: GCC for
// MIPS copies a memcpy'd word through the stack.
using UnalignedWord = uint32_t __attribute__((aligned(1), may_alias));

// A number's text as loaded into registers. A 64-bit core moves the whole 8-byte entry in
// one store. A 32-bit core stores the first four bytes and the space: a fifth byte is
// always the space, and a shorter number's stray space is overwritten by the next number
// (or lies after the row's text, in the row's slack).
#if UINTPTR_MAX > 0xffffffffu
using TextBits = uint64_t;
#else
using TextBits = uint32_t;
#endif
struct NumberText {
    TextBits text;
    uint32_t length;
};

AVRIG_INLINE NumberText LoadNumber(uint32_t v) {
    TextBits text;
    std::memcpy(&text, kDecimal.entry[v].text, sizeof text);
    return NumberText{text, kDecimal.entry[v].length};
}

AVRIG_INLINE uint8_t* PutNumber(uint8_t* out, NumberText number) {
#if UINTPTR_MAX > 0xffffffffu
    std::memcpy(out, &number.text, 8);
#else
    *reinterpret_cast<UnalignedWord*>(out) = number.text;
    out[4] = ' ';
#endif
    return out + number.length;
}

// Four 10-bit samples from five bytes, least significant bit first.
struct Group {
    uint32_t s0, s1, s2, s3;
};

AVRIG_INLINE Group LoadGroup(const uint8_t* src) {
#if UINTPTR_MAX > 0xffffffffu
    // One 8-byte load (the line buffers keep slack after the last group for it).
    uint64_t w;
    std::memcpy(&w, src, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    w = __builtin_bswap64(w);
#endif
    const uint32_t lo = static_cast<uint32_t>(w);
    return Group{lo & 0x3ffu, (lo >> 10) & 0x3ffu, (lo >> 20) & 0x3ffu, static_cast<uint32_t>(w >> 30) & 0x3ffu};
#else
    // A 32-bit core shifts 64-bit values in several steps: a word and a byte instead.
    uint32_t lo = *reinterpret_cast<const UnalignedWord*>(src);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    lo = __builtin_bswap32(lo);
#endif
    const uint32_t hi = src[4];
    return Group{lo & 0x3ffu, (lo >> 10) & 0x3ffu, (lo >> 20) & 0x3ffu, (lo >> 30) | ((hi << 2) & 0x3ffu)};
#endif
}

// What each row kind makes of a chroma pair (Chroma: 10-bit samples; Chroma8: bytes) and
// of a pixel given its pair's terms (Pixel). A chroma byte stands for byte x 4 on the
// 10-bit scale, which the reduction turns back into the byte and which the PPM prints.
template <bool kFolded>
struct BmpPixels {
    uint8_t* out;
    struct Terms {
        int32_t r, g, b;
    };
    static AVRIG_INLINE Terms Chroma(uint32_t cr, uint32_t cb) {
        const CrTerms& c = kCrTerms.at[cr];
        const CbTerms& d = kCbTerms.at[cb];
        return Terms{c.r, c.g + d.g, d.b};
    }
    static AVRIG_INLINE Terms Chroma8(uint32_t cr, uint32_t cb) { return Chroma(cr << 2, cb << 2); }
    AVRIG_INLINE void Pixel(uint32_t y, const Terms& t) {
        PutBgr<kFolded>(out, kLumaTerms.at[y], t.r, t.g, t.b);
        out += 3;
    }
};

struct YuvPixels {
    uint8_t* out;
    struct Terms {
        uint8_t cr, cb;
    };
    static AVRIG_INLINE Terms Chroma(uint32_t cr, uint32_t cb) { return Terms{kReduce8.at[cr], kReduce8.at[cb]}; }
    static AVRIG_INLINE Terms Chroma8(uint32_t cr, uint32_t cb) {
        return Terms{static_cast<uint8_t>(cr), static_cast<uint8_t>(cb)};
    }
    AVRIG_INLINE void Pixel(uint32_t y, const Terms& t) {
        out[0] = t.cr;
        out[1] = t.cb;
        out[2] = kReduce8.at[y];
        out += 3;
    }
};

// The pair's texts are loaded once into registers: both pixels of a 4:2:2 pair store them.
struct PpmPixels {
    uint8_t* out;
    struct Terms {
        NumberText cr, cb;
    };
    static AVRIG_INLINE Terms Chroma(uint32_t cr, uint32_t cb) { return Terms{LoadNumber(cr), LoadNumber(cb)}; }
    static AVRIG_INLINE Terms Chroma8(uint32_t cr, uint32_t cb) { return Chroma(cr << 2, cb << 2); }
    AVRIG_INLINE void Pixel(uint32_t y, const Terms& t) {
        out = PutNumber(out, LoadNumber(y));
        out = PutNumber(out, t.cb);
        out = PutNumber(out, t.cr);
    }
};

// A sample as it is stored in a little-endian 16-bit word.
AVRIG_INLINE uint16_t Le16(uint32_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return __builtin_bswap16(static_cast<uint16_t>(v));
#else
    return static_cast<uint16_t>(v);
#endif
}

// The PPM's samples into three planes of aligned 16-bit words. A 4:2:2 pair stores its
// chroma twice at the same place (shift 1), which costs less than a test per pixel.
struct Y4mPixels {
    uint16_t* y;
    uint16_t* cb;
    uint16_t* cr;
    uint32_t shift;
    uint32_t i;
    struct Terms {
        uint32_t cr, cb;
    };
    static AVRIG_INLINE Terms Chroma(uint32_t cr, uint32_t cb) { return Terms{cr, cb}; }
    static AVRIG_INLINE Terms Chroma8(uint32_t cr, uint32_t cb) { return Terms{cr << 2, cb << 2}; }
    AVRIG_INLINE void Pixel(uint32_t luma, const Terms& t) {
        const uint32_t c = i >> shift;
        y[i] = Le16(luma);
        cb[c] = Le16(t.cb);
        cr[c] = Le16(t.cr);
        ++i;
    }
};

// Chroma bytes per four pixels.
constexpr size_t ChromaStep(bool is422, bool chroma10) { return (chroma10 ? 5u : 4u) * (is422 ? 1u : 2u); }

// Cr, Cb, Cr, Cb, ... of four pixels, as samples or bytes: two pairs (4:2:2, c[0..3]) or
// four (4:4:4).
// Written out element by element so that the samples stay in registers.
template <bool kIs422, bool kChroma10>
AVRIG_INLINE void LoadChroma(const uint8_t* src, uint32_t (&c)[8]) {
    if constexpr (kChroma10) {
        const Group a = LoadGroup(src);
        c[0] = a.s0, c[1] = a.s1, c[2] = a.s2, c[3] = a.s3;
        if constexpr (!kIs422) {
            const Group b = LoadGroup(src + 5);
            c[4] = b.s0, c[5] = b.s1, c[6] = b.s2, c[7] = b.s3;
        }
    } else {
        c[0] = src[0], c[1] = src[1], c[2] = src[2], c[3] = src[3];
        if constexpr (!kIs422) {
            c[4] = src[4], c[5] = src[5], c[6] = src[6], c[7] = src[7];
        }
    }
}

template <bool kChroma10, typename Pixels>
AVRIG_INLINE typename Pixels::Terms ChromaTerms(uint32_t cr, uint32_t cb) {
    if constexpr (kChroma10) {
        return Pixels::Chroma(cr, cb);
    } else {
        return Pixels::Chroma8(cr, cb);
    }
}

// Pixels 4k .. 4k + 3.
template <bool kIs422, bool kChroma10, typename Pixels>
AVRIG_INLINE void Block(const uint8_t* luma, const uint8_t* chroma, Pixels& px) {
    const Group y = LoadGroup(luma);
    uint32_t c[8];
    LoadChroma<kIs422, kChroma10>(chroma, c);
    if constexpr (kIs422) {
        // Both pixels of a pair share its chroma terms.
        const auto t0 = ChromaTerms<kChroma10, Pixels>(c[0], c[1]);
        px.Pixel(y.s0, t0);
        px.Pixel(y.s1, t0);
        const auto t1 = ChromaTerms<kChroma10, Pixels>(c[2], c[3]);
        px.Pixel(y.s2, t1);
        px.Pixel(y.s3, t1);
    } else {
        px.Pixel(y.s0, ChromaTerms<kChroma10, Pixels>(c[0], c[1]));
        px.Pixel(y.s1, ChromaTerms<kChroma10, Pixels>(c[2], c[3]));
        px.Pixel(y.s2, ChromaTerms<kChroma10, Pixels>(c[4], c[5]));
        px.Pixel(y.s3, ChromaTerms<kChroma10, Pixels>(c[6], c[7]));
    }
}

// The whole groups of four; returns the pixels done. The loop runs on the luma pointer
// alone, which leaves the core no counter to keep.
template <bool kIs422, bool kChroma10, typename Pixels>
uint32_t Blocks(const uint8_t* luma, const uint8_t* chroma, uint32_t width, Pixels& px) {
    constexpr size_t kStep = ChromaStep(kIs422, kChroma10);
    for (const uint8_t* const end = luma + 5u * (width / 4u); luma != end; luma += 5, chroma += kStep) {
        Block<kIs422, kChroma10>(luma, chroma, px);
    }
    return width & ~3u;
}

// 10-bit sample n of a packed line, from the two bytes that hold it (the line buffers have
// slack after the last sample).
inline uint32_t Sample10(const uint8_t* line, uint32_t n) {
    const uint32_t bit = 10u * n;
    const uint32_t two = line[bit / 8u] | (uint32_t{line[bit / 8u + 1u]} << 8);
    return (two >> (bit % 8u)) & 0x3ffu;
}

// The last width % 4 pixels, one at a time: one loop for every layout keeps the binary
// small, and it runs for at most three pixels a line (whole BMP rows only where a 32-bit
// build cannot fold the clamp table's address in).
template <typename Pixels>
void LastPixels(const FrameLines* f, uint32_t from, Pixels& px) {
    for (uint32_t i = from; i < f->width; ++i) {
        const uint32_t pair = f->is422 ? i / 2u : i;  // 4:2:2: an odd last pixel takes samples W - 1, W
        const auto terms = f->chroma10 ? Pixels::Chroma(Sample10(f->chroma, 2u * pair), Sample10(f->chroma, 2u * pair + 1u))
                                       : Pixels::Chroma8(f->chroma[2u * pair], f->chroma[2u * pair + 1u]);
        px.Pixel(Sample10(f->luma, i), terms);
    }
}

template <typename Pixels>
uint32_t AllBlocks(const FrameLines* f, Pixels& px) {
    if (f->is422) {
        return f->chroma10 ? Blocks<true, true>(f->luma, f->chroma, f->width, px)
                           : Blocks<true, false>(f->luma, f->chroma, f->width, px);
    }
    return f->chroma10 ? Blocks<false, true>(f->luma, f->chroma, f->width, px)
                       : Blocks<false, false>(f->luma, f->chroma, f->width, px);
}

template <typename Pixels>
void AnyRow(const FrameLines* f, Pixels& px) {
    LastPixels(f, AllBlocks(f, px), px);
}

// The Y4M planes a whole group at a time where the core is little-endian and the three
// lines start on 32-bit words (every even width, and 4:2:2 widths a multiple of four): two
// samples go into one 32-bit store, the first in its low half. Where a line does not start
// on a word, the planes take the sample-at-a-time road above.
AVRIG_INLINE void PutPair(uint16_t* at, uint32_t pair) {
    std::memcpy(__builtin_assume_aligned(at, 4), &pair, 4);
}

// A word of chroma bytes: they start on a word (the buffer does, and every 4:2:2 and
// 4:4:4 8-bit step is 4 or 8 bytes).
AVRIG_INLINE uint32_t Word(const uint8_t* at) {
    using AlignedWord = uint32_t __attribute__((may_alias));
    return *reinterpret_cast<const AlignedWord*>(at);
}

// Cr and Cb of two pixels into their planes. 10-bit: a group is Cr, Cb, Cr, Cb. 8-bit: a
// word is the same four as bytes; each byte x 4 is its 10-bit value, so the two Cr bytes
// masked out and shifted by 2 are already the pair of 16-bit samples.
template <bool kChroma10>
AVRIG_INLINE void PutChromaPairs(const uint8_t* src, uint16_t* cr, uint16_t* cb) {
    if constexpr (kChroma10) {
        const Group c = LoadGroup(src);
        PutPair(cr, c.s0 | (c.s2 << 16));
        PutPair(cb, c.s1 | (c.s3 << 16));
    } else {
        const uint32_t w = Word(src);
        PutPair(cr, (w & 0x00ff00ffu) << 2);
        PutPair(cb, ((w >> 8) & 0x00ff00ffu) << 2);
    }
}

template <bool kIs422, bool kChroma10>
uint32_t PlanarBlocks(const uint8_t* luma, const uint8_t* chroma, uint32_t width, uint16_t* y, uint16_t* cb,
                      uint16_t* cr) {
    constexpr size_t kStep = ChromaStep(kIs422, kChroma10);
    constexpr size_t kHalf = kChroma10 ? 5u : 4u;  // chroma bytes of two pixels' pairs
#pragma GCC unroll 2
    for (const uint8_t* const end = luma + 5u * (width / 4u); luma != end; luma += 5, chroma += kStep, y += 4) {
        const Group g = LoadGroup(luma);
        PutPair(y, g.s0 | (g.s1 << 16));
        PutPair(y + 2, g.s2 | (g.s3 << 16));
        if constexpr (kIs422) {
            PutChromaPairs<kChroma10>(chroma, cr, cb);
            cr += 2, cb += 2;
        } else {
            PutChromaPairs<kChroma10>(chroma, cr, cb);
            PutChromaPairs<kChroma10>(chroma + kHalf, cr + 2, cb + 2);
            cr += 4, cb += 4;
        }
    }
    return width & ~3u;
}

}  // namespace

void BuildBmpRow(const FrameLines* f, uint8_t* row) {
    // The last pixels, and a whole row where the clamp table's address is not folded in,
    // index the table: a 64-bit build's tests run that road, a 32-bit one's the fold.
    BmpPixels<false> tail{row};
    if constexpr (kFoldable) {
        if (kClampFold != 0) {
            BmpPixels<true> px{row};
            const uint32_t done = AllBlocks(f, px);
            tail.out = px.out;
            LastPixels(f, done, tail);
            return;
        }
        LastPixels(f, 0, tail);
    } else {
        LastPixels(f, AllBlocks(f, tail), tail);
    }
}

void BuildYuvRow(const FrameLines* f, uint8_t* row) {
    YuvPixels px{row};
    AnyRow(f, px);
}

size_t BuildPpmRow(const FrameLines* f, uint8_t* row) {
    PpmPixels px{row};
    AnyRow(f, px);
    return static_cast<size_t>(px.out - row);
}

void BuildPlanarRow(const FrameLines* f, uint16_t* y, uint16_t* cb, uint16_t* cr) {
    Y4mPixels px{y, cb, cr, f->is422 ? 1u : 0u, 0};
    if (!kLittleEndian || ((reinterpret_cast<uintptr_t>(y) | reinterpret_cast<uintptr_t>(cb) |
                            reinterpret_cast<uintptr_t>(cr)) & 3u) != 0) {
        AnyRow(f, px);
        return;
    }
    if (f->is422) {
        px.i = f->chroma10 ? PlanarBlocks<true, true>(f->luma, f->chroma, f->width, y, cb, cr)
                           : PlanarBlocks<true, false>(f->luma, f->chroma, f->width, y, cb, cr);
    } else {
        px.i = f->chroma10 ? PlanarBlocks<false, true>(f->luma, f->chroma, f->width, y, cb, cr)
                           : PlanarBlocks<false, false>(f->luma, f->chroma, f->width, y, cb, cr);
    }
    LastPixels(f, px.i, px);
}

namespace {

template <bool kFolded>
void ConvertJpegPixels(uint8_t* row, uint32_t width) {
    // The tables are indexed on the 10-bit scale; byte << 2 reduces back to the byte.
#pragma GCC unroll 2
    for (uint8_t* const end = row + 3u * width; row != end; row += 3) {
        const CrTerms& c = kCrTerms.at[static_cast<uint32_t>(row[0]) << 2];
        const CbTerms& d = kCbTerms.at[static_cast<uint32_t>(row[1]) << 2];
        PutBgr<kFolded>(row, kLumaTerms.at[static_cast<uint32_t>(row[2]) << 2], c.r, c.g + d.g, d.b);
    }
}

}  // namespace

void ConvertJpegRow(uint8_t* row, uint32_t width) {
    if constexpr (kFoldable) {
        if (kClampFold != 0) {
            ConvertJpegPixels<true>(row, width);
            return;
        }
    }
    ConvertJpegPixels<false>(row, width);
}

void SplitJpegRow(const uint8_t* row, uint32_t width, uint8_t* y, uint8_t* cb, uint8_t* cr) {
    for (uint32_t j = 0; j < width; ++j, row += 3) {
        cr[j] = row[0];
        cb[j] = row[1];
        y[j] = row[2];
    }
}
