// The levels and bit-lines report: per frame one CSV row for each of Y, Cb and Cr, made
// from a histogram of each component. The pass over the lines only counts; every field
// (range, mean, studio-range misses, bit shares, stuck and bridged bits) follows from
// which values occur and how often once the frame ends. This file runs once per sample:
// it is built for speed (image/CMakeLists.txt).
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "image/frame_rows.h"
#include "image/writers.h"
#include "report/report.h"

namespace {

constexpr uint32_t kBins = 1024;
enum Component : uint32_t { kY, kCb, kCr, kComponents };
constexpr const char* kComponentNames[kComponents] = {"Y", "Cb", "Cr"};

// Each component's counters start on a 4 KiB boundary, so a counter's address is the
// start with the value x 4 in bits 2..11: on MIPS32r2 one `ins` puts a value there.
constexpr uintptr_t kHistogramAlign = 4096;
static_assert(kBins * sizeof(uint32_t) == kHistogramAlign, "the value fills bits 2..11 of an address");

struct Histograms {
    std::unique_ptr<uint8_t[]> storage;
    uint32_t* count[kComponents];
};

#define AVRIG_INLINE inline __attribute__((always_inline))

AVRIG_INLINE uint32_t Word(const uint8_t* at) {
    uint32_t w;
    std::memcpy(&w, __builtin_assume_aligned(at, 4), 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    w = __builtin_bswap32(w);
#endif
    return w;
}

// 10-bit sample n of a packed line (the line buffers have slack after the last sample).
uint32_t Sample10(const uint8_t* line, uint32_t n) {
    const uint32_t bit = 10u * n;
    const uint32_t two = line[bit / 8u] | (uint32_t{line[bit / 8u + 1u]} << 8);
    return (two >> (bit % 8u)) & 0x3ffu;
}

// A histogram being filled: `at` is its start, and after Point() the address of the
// counter of the value given. Count() adds to it.
struct Counter {
    uintptr_t base;
    uintptr_t at;
    AVRIG_INLINE void Count(uint32_t weight) { *reinterpret_cast<uint32_t*>(at) += weight; }
#if defined(__mips_isa_rev) && __mips_isa_rev >= 2
    // The low 10 bits of `value` into bits 2..11 of the address, the rest ignored. Kept
    // after the previous counter's store (the memory clobber), so the one register serves
    // every sample and no copy of it is made.
    AVRIG_INLINE void Point(uint32_t value) { asm volatile("ins %0, %1, 2, 10" : "+r"(at) : "r"(value) : "memory"); }
#else
    AVRIG_INLINE void Point(uint32_t value) { at = base + ((value & 0x3ffu) << 2); }
#endif
};

// `low` (its bits from 32 - kLowBits on unused) with the next bits from the start of
// `high` above its kLowBits: a sample that starts in one word and ends in the next.
template <uint32_t kLowBits>
AVRIG_INLINE uint32_t Join(uint32_t low, uint32_t high) {
#if defined(__mips_isa_rev) && __mips_isa_rev >= 2
    asm("ins %0, %1, %2, %3" : "+r"(low) : "r"(high), "n"(kLowBits), "n"(10 - kLowBits));
    return low;
#else
    return low | (high << kLowBits);
#endif
}

// Samples 0 .. n - 1 of a packed 10-bit line, the even ones into `even` and the odd ones
// into `odd`, `weight` each: sixteen samples are five aligned words.
AVRIG_INLINE void CountPacked10(const uint8_t* line, uint32_t n, uint32_t* even, uint32_t* odd, uint32_t weight) {
    Counter e{reinterpret_cast<uintptr_t>(even), reinterpret_cast<uintptr_t>(even)};
    Counter o{reinterpret_cast<uintptr_t>(odd), reinterpret_cast<uintptr_t>(odd)};
    const uint8_t* const blocks = line + n / 16u * 20u;
    for (; line != blocks; line += 20) {
        const uint32_t w0 = Word(line), w1 = Word(line + 4), w2 = Word(line + 8), w3 = Word(line + 12),
                       w4 = Word(line + 16);
        e.Point(w0), e.Count(weight);
        o.Point(w0 >> 10), o.Count(weight);
        e.Point(w0 >> 20), e.Count(weight);
        o.Point(Join<2>(w0 >> 30, w1)), o.Count(weight);
        e.Point(w1 >> 8), e.Count(weight);
        o.Point(w1 >> 18), o.Count(weight);
        e.Point(Join<4>(w1 >> 28, w2)), e.Count(weight);
        o.Point(w2 >> 6), o.Count(weight);
        e.Point(w2 >> 16), e.Count(weight);
        o.Point(Join<6>(w2 >> 26, w3)), o.Count(weight);
        e.Point(w3 >> 4), e.Count(weight);
        o.Point(w3 >> 14), o.Count(weight);
        e.Point(Join<8>(w3 >> 24, w4)), e.Count(weight);
        o.Point(w4 >> 2), o.Count(weight);
        e.Point(w4 >> 12), e.Count(weight);
        o.Point(w4 >> 22), o.Count(weight);
    }
    for (uint32_t k = n / 16u * 16u, j = 0; k < n; ++k, ++j) {
        if (k % 2u == 0) {
            e.Point(Sample10(line, j)), e.Count(weight);
        } else {
            o.Point(Sample10(line, j)), o.Count(weight);
        }
    }
}

// Bytes 0 .. n - 1 of a line, alternately into `even` and `odd`, `weight` each.
void CountBytes(const uint8_t* line, uint32_t n, uint32_t* even, uint32_t* odd, uint32_t weight) {
    Counter e{reinterpret_cast<uintptr_t>(even), reinterpret_cast<uintptr_t>(even)};
    Counter o{reinterpret_cast<uintptr_t>(odd), reinterpret_cast<uintptr_t>(odd)};
    uint32_t k = 0;
    for (; k + 4u <= n; k += 4u, line += 4) {
        const uint32_t w = Word(line);
        e.Point(w & 0xffu), e.Count(weight);
        o.Point((w >> 8) & 0xffu), o.Count(weight);
        e.Point((w >> 16) & 0xffu), e.Count(weight);
        o.Point(w >> 24), o.Count(weight);
    }
    for (uint32_t j = 0; k < n; ++k, ++j) {
        if (k % 2u == 0) {
            e.Point(line[j]), e.Count(weight);
        } else {
            o.Point(line[j]), o.Count(weight);
        }
    }
}

// One line of a frame into the histograms: every pixel's Y, and the Cr, Cb it takes
// (frame memory holds Cr before Cb). A 4:2:2 pair's chroma counts for both its pixels;
// an odd width's last pair for one.
void CountLine(const FrameLines& f, const Histograms* h) {
    CountPacked10(f.luma, f.width, h->count[kY], h->count[kY], 1);
    const uint32_t samples = 2u * (f.is422 ? (f.width + 1u) / 2u : f.width);
    const uint32_t weight = f.is422 ? 2u : 1u;
    if (f.chroma10) {
        CountPacked10(f.chroma, samples, h->count[kCr], h->count[kCb], weight);
    } else {
        CountBytes(f.chroma, samples, h->count[kCr], h->count[kCb], weight);
    }
    if (f.is422 && (f.width & 1u) != 0) {
        const uint32_t last = samples - 2u;
        const uint32_t cr = f.chroma10 ? Sample10(f.chroma, last) : f.chroma[last];
        const uint32_t cb = f.chroma10 ? Sample10(f.chroma, last + 1u) : f.chroma[last + 1u];
        --h->count[kCr][cr];
        --h->count[kCb][cb];
    }
}

// ---- The report, derived from one component's histogram

struct Range {
    uint32_t low, high;  // studio range, inclusive
};

// numerator / denominator to the nearest whole number, halves rounded up.
uint64_t RoundedRatio(uint64_t numerator, uint64_t denominator) {
    return (2u * numerator + denominator) / (2u * denominator);
}

// A row's text. The longest row (fourteen 10-digit numbers, ten shares, ten constant bits,
// all 45 equal pairs) stays well inside it.
struct RowText {
    char bytes[768];
    char* at = bytes;
    void Put(const char* text) {
        while (*text != 0) {
            *at++ = *text++;
        }
    }
    void Put(uint32_t value) {
        char digits[10];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10u);
            value /= 10u;
        } while (value != 0);
        while (n > 0) {
            *at++ = digits[--n];
        }
    }
    void Field(uint32_t value) {
        Put(value);
        *at++ = ',';
    }
};

// One CSV row of `pixels` values of `bits` bits counted in `count`; its fields in the
// header's order.
bool PutRow(FILE* file, uint32_t frame, uint32_t slot, Component c, uint32_t bits, uint32_t pixels,
            const uint32_t* count, Range range) {
    const uint32_t top = (1u << bits) - 1u;
    // The values that occur, in order. Most counters are 0: they are passed two at a time.
    uint16_t seen[kBins];
    uint32_t distinct = 0;
    const uint32_t* const end = count + top + 1u;  // an even number of counters
    for (const uint32_t* p = count; p != end; p += 2) {
        if ((p[0] | p[1]) != 0) {
            const uint32_t v = static_cast<uint32_t>(p - count);
            if (p[0] != 0) {
                seen[distinct++] = static_cast<uint16_t>(v);
            }
            if (p[1] != 0) {
                seen[distinct++] = static_cast<uint16_t>(v + 1u);
            }
        }
    }
    const uint32_t min = distinct != 0 ? seen[0] : 0;
    const uint32_t max = distinct != 0 ? seen[distinct - 1u] : 0;
    uint32_t below = 0;
    uint32_t above = 0;
    uint64_t sum = 0;
    // Bit b of apart[d]: bits b and b + d differ in some pixel.
    uint32_t apart[10] = {};
    for (uint32_t k = 0; k < distinct; ++k) {
        const uint32_t v = seen[k];
        const uint32_t n = count[v];
        below += v < range.low ? n : 0;
        above += v > range.high ? n : 0;
        sum += uint64_t{v} * n;
#pragma GCC unroll 9
        for (uint32_t d = 1; d < 10u; ++d) {  // the distances an 8-bit value has not are never read
            apart[d] |= v ^ (v >> d);
        }
    }
    // Pixels with bit b set: from each value that occurs when few do; otherwise the top
    // half of the counts, then the halves folded together for the bits below.
    uint32_t ones[10] = {};
    if (distinct < 64u) {
        for (uint32_t k = 0; k < distinct; ++k) {
            for (uint32_t b = 0; b < bits; ++b) {
                ones[b] += ((seen[k] >> b) & 1u) != 0 ? count[seen[k]] : 0u;
            }
        }
    } else {
        uint32_t folded[kBins / 2];
        const uint32_t* half = count;
        for (uint32_t b = bits, size = 1u << (bits - 1u); b-- > 0; size /= 2u, half = folded) {
            uint32_t n = 0;
#pragma GCC unroll 4
            for (uint32_t i = 0; i < size; ++i) {
                n += half[i + size];
                folded[i] = half[i] + half[i + size];
            }
            ones[b] = n;
        }
    }

    RowText text;
    text.Field(frame);
    text.Field(slot);
    text.Put(kComponentNames[c]);
    text.Put(",");
    for (const uint32_t value : {bits, pixels, min, max}) {
        text.Field(value);
    }
    const uint64_t mean = RoundedRatio(100u * sum, pixels);  // in hundredths
    text.Put(static_cast<uint32_t>(mean / 100u));
    text.Put(mean % 100u < 10u ? ".0" : ".");
    text.Field(static_cast<uint32_t>(mean % 100u));
    for (const uint32_t value : {distinct, below, above, count[0], count[top]}) {
        text.Field(value);
    }
    for (uint32_t b = 10; b-- > 0;) {
        if (b < bits) {
            text.Put(static_cast<uint32_t>(RoundedRatio(1000u * uint64_t{ones[b]}, pixels)));
        }
        text.Put(",");
    }
    const auto constant = [&](uint32_t b) { return ones[b] == 0 || ones[b] == pixels; };
    const char* blank = "";
    for (uint32_t b = bits; b-- > 0;) {
        if (constant(b)) {
            text.Put(blank);
            text.Put("b");
            text.Put(b);
            text.Put(ones[b] == 0 ? "=0" : "=1");
            blank = " ";
        }
    }
    text.Put(",");
    blank = "";
    for (uint32_t a = bits; a-- > 0;) {
        for (uint32_t b = a; b-- > 0;) {
            if (!constant(a) && !constant(b) && ((apart[a - b] >> b) & 1u) == 0) {
                text.Put(blank);
                text.Put("b");
                text.Put(a);
                text.Put("=b");
                text.Put(b);
                blank = " ";
            }
        }
    }
    text.Put("\n");
    const size_t length = static_cast<size_t>(text.at - text.bytes);
    return std::fwrite(text.bytes, 1, length, file) == length;
}

// Studio range on the 10-bit and the 8-bit scale.
constexpr Range kLumaRange10{64, 940};
constexpr Range kChromaRange10{64, 960};
constexpr Range kLumaRange8{16, 235};
constexpr Range kChromaRange8{16, 240};

// The frame's three rows, flushed together: a reader at the far end of a pipe or a serial
// console sees each frame as soon as it is counted.
int PutRows(FILE* file, uint32_t frame, uint32_t slot, uint32_t pixels, const Histograms& h, bool chroma10,
            bool luma10) {
    const uint32_t lumaBits = luma10 ? 10u : 8u;
    const uint32_t chromaBits = chroma10 ? 10u : 8u;
    const Range chroma = chroma10 ? kChromaRange10 : kChromaRange8;
    return PutRow(file, frame, slot, kY, lumaBits, pixels, h.count[kY], luma10 ? kLumaRange10 : kLumaRange8) &&
           PutRow(file, frame, slot, kCb, chromaBits, pixels, h.count[kCb], chroma) &&
           PutRow(file, frame, slot, kCr, chromaBits, pixels, h.count[kCr], chroma) && std::fflush(file) == 0;
}

// Zeroed counters for the three components; false, with its message printed, when memory
// is short.
bool NewHistograms(Histograms* h) {
    h->storage.reset(new (std::nothrow) uint8_t[(kComponents + 1u) * kHistogramAlign]());
    if (!h->storage) {
        Complain("cannot allocate the histograms");
        return false;
    }
    const uintptr_t start = reinterpret_cast<uintptr_t>(h->storage.get());
    const uintptr_t aligned = (start + kHistogramAlign - 1u) & ~(kHistogramAlign - 1u);
    for (uint32_t c = 0; c < kComponents; ++c) {
        h->count[c] = reinterpret_cast<uint32_t*>(aligned + c * kHistogramAlign);
    }
    return true;
}

}  // namespace

int WriteLevelsHeader(FILE* file) {
    return file != nullptr &&
           std::fputs("frame,slot,component,bits,pixels,min,max,mean,distinct,below,above,at_zero,at_top,"
                      "b9,b8,b7,b6,b5,b4,b3,b2,b1,b0,constant,equal\n",
                      file) != EOF;
}

bool LevelsAccepts(const FrameFormat& format) {
    if (format.width == 0 || format.height == 0) {
        Complain("a levels report cannot describe a %ux%u picture", static_cast<unsigned>(format.width),
                 static_cast<unsigned>(format.height));
        return false;
    }
    return true;
}

int WriteLevelsFrame(FILE* file, FrameFormat* format, const LineSource& lines, uint32_t frame, uint32_t slot) {
    if (!WriterAcceptsFormat(*format, LevelsAccepts) || file == nullptr) {
        return 0;
    }
    FrameLines f{};
    Histograms h;
    if (!NewHistograms(&h) || !PrepareFrameLines(&f, *format, lines, 0)) {
        return 0;
    }
    for (uint32_t line = 0; line < format->height; ++line) {
        FetchBothPlanes(&f, line);
        CountLine(f, &h);
    }
    return PutRows(file, frame, slot, format->width * format->height, h, f.chroma10, true);
}

int WriteLevelsJpeg(FILE* file, uint32_t width, uint32_t height, uint32_t fetch, const LineSource& lines) {
    const FrameFormat picture{width, height, 3u * width, kColorSpace444, kEncodeChroma8, fetch, fetch};
    if (!LevelsAccepts(picture) || file == nullptr) {
        return 0;
    }
    Histograms h;
    if (!NewHistograms(&h)) {
        return 0;
    }
    // Whole words of the row, zeros past what the line gives.
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[static_cast<size_t>(RoundUp4(3u * uint64_t{width}))]());
    if (!row) {
        Complain("cannot allocate the frame buffers");
        return 0;
    }
    for (uint32_t line = 0; line < height; ++line) {
        lines.read(lines.context, Plane::Luma, line, row.get(), fetch);
        const uint8_t* p = row.get();
        for (uint32_t j = 0; j < width; ++j, p += 3) {  // Cr, Cb, Y
            ++h.count[kCr][p[0]];
            ++h.count[kCb][p[1]];
            ++h.count[kY][p[2]];
        }
    }
    return PutRows(file, 0, 0, width * height, h, false, false);
}
