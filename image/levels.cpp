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

struct Histograms {
    uint32_t count[kComponents][kBins];
};

#define AVRIG_INLINE inline __attribute__((always_inline))

// The hot loops index the histograms by value x 4, the byte offset of its counter: the
// shift that cuts a sample out of its word scales it too.
AVRIG_INLINE void Add(uint32_t* count, uint32_t byteOffset, uint32_t weight) {
    *reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(count) + byteOffset) += weight;
}

AVRIG_INLINE uint32_t Word(const uint8_t* at) {
    uint32_t w;
    std::memcpy(&w, at, 4);
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

// Sample at bit p of w, x 4; and the one that starts at bit p of a and ends in b.
#define AVRIG_IN(w, p) ((p) >= 2 ? ((w) >> ((p) - 2)) & 0xffcu : ((w) << (2 - (p))) & 0xffcu)
#define AVRIG_ACROSS(a, b, p) ((((a) >> ((p) - 2)) | ((b) << (34 - (p)))) & 0xffcu)

// Samples 0 .. n - 1 of a packed 10-bit line, the even ones into `even` and the odd ones
// into `odd`, `weight` each: sixteen samples are five aligned words.
void CountPacked10(const uint8_t* line, uint32_t n, uint32_t* even, uint32_t* odd, uint32_t weight) {
    uint32_t k = 0;
    for (; k + 16u <= n; k += 16u, line += 20) {
        const uint32_t w0 = Word(line), w1 = Word(line + 4), w2 = Word(line + 8), w3 = Word(line + 12),
                       w4 = Word(line + 16);
        Add(even, AVRIG_IN(w0, 0), weight);
        Add(odd, AVRIG_IN(w0, 10), weight);
        Add(even, AVRIG_IN(w0, 20), weight);
        Add(odd, AVRIG_ACROSS(w0, w1, 30), weight);
        Add(even, AVRIG_IN(w1, 8), weight);
        Add(odd, AVRIG_IN(w1, 18), weight);
        Add(even, AVRIG_ACROSS(w1, w2, 28), weight);
        Add(odd, AVRIG_IN(w2, 6), weight);
        Add(even, AVRIG_IN(w2, 16), weight);
        Add(odd, AVRIG_ACROSS(w2, w3, 26), weight);
        Add(even, AVRIG_IN(w3, 4), weight);
        Add(odd, AVRIG_IN(w3, 14), weight);
        Add(even, AVRIG_ACROSS(w3, w4, 24), weight);
        Add(odd, AVRIG_IN(w4, 2), weight);
        Add(even, AVRIG_IN(w4, 12), weight);
        Add(odd, AVRIG_IN(w4, 22), weight);
    }
    for (; k < n; ++k) {
        Add(k % 2u == 0 ? even : odd, Sample10(line, k % 16u) << 2, weight);
    }
}

// Bytes 0 .. n - 1 of a line, alternately into `even` and `odd`, `weight` each.
void CountBytes(const uint8_t* line, uint32_t n, uint32_t* even, uint32_t* odd, uint32_t weight) {
    uint32_t k = 0;
    for (; k + 4u <= n; k += 4u, line += 4) {
        const uint32_t w = Word(line);
        Add(even, (w << 2) & 0x3fcu, weight);
        Add(odd, (w >> 6) & 0x3fcu, weight);
        Add(even, (w >> 14) & 0x3fcu, weight);
        Add(odd, (w >> 22) & 0x3fcu, weight);
    }
    for (uint32_t j = 0; k < n; ++k, ++j) {
        Add(k % 2u == 0 ? even : odd, uint32_t{line[j]} << 2, weight);
    }
}

// One line of a frame into the histograms: every pixel's Y, and the Cr, Cb it takes
// (frame memory holds Cr before Cb). A 4:2:2 pair's chroma counts for both its pixels;
// an odd width's last pair for one.
void CountLine(const FrameLines& f, Histograms* h) {
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

// Appends text at *at within [*at, end); false when it would not fit.
bool Put(char** at, const char* end, const char* format, unsigned a = 0, unsigned b = 0) {
    const int n = std::snprintf(*at, static_cast<size_t>(end - *at), format, a, b);
    if (n < 0 || n >= end - *at) {
        return false;
    }
    *at += n;
    return true;
}

// numerator / denominator to the nearest whole number, halves rounded up.
uint64_t RoundedRatio(uint64_t numerator, uint64_t denominator) {
    return (2u * numerator + denominator) / (2u * denominator);
}

// One CSV row of `pixels` values of `bits` bits counted in `count`; its fields in the
// header's order.
bool PutRow(FILE* file, uint32_t frame, uint32_t slot, Component c, uint32_t bits, uint32_t pixels,
            const uint32_t* count, Range range) {
    const uint32_t top = (1u << bits) - 1u;
    uint32_t min = 0;
    uint32_t max = 0;
    uint32_t distinct = 0;
    uint32_t below = 0;
    uint32_t above = 0;
    uint64_t sum = 0;
    uint32_t ones[10] = {};     // pixels with bit b set
    uint32_t differs[10] = {};  // bit b of differs[a]: bits a and b differ in some pixel
    for (uint32_t v = 0; v <= top; ++v) {
        const uint32_t n = count[v];
        if (n == 0) {
            continue;
        }
        min = distinct == 0 ? v : min;
        max = v;
        ++distinct;
        below += v < range.low ? n : 0;
        above += v > range.high ? n : 0;
        sum += uint64_t{v} * n;
        for (uint32_t b = 0; b < bits; ++b) {
            const bool set = ((v >> b) & 1u) != 0;
            ones[b] += set ? n : 0;
            differs[b] |= set ? ~v : v;
        }
    }
    char text[768];
    char* at = text;
    const char* const end = text + sizeof text;
    const uint64_t mean = RoundedRatio(100u * sum, pixels);  // in hundredths
    const int head = std::snprintf(text, sizeof text, "%u,%u,%s,%u,%u,%u,%u,%u.%02u,%u,%u,%u,%u,%u,",
                                   static_cast<unsigned>(frame), static_cast<unsigned>(slot), kComponentNames[c],
                                   static_cast<unsigned>(bits), static_cast<unsigned>(pixels),
                                   static_cast<unsigned>(min), static_cast<unsigned>(max),
                                   static_cast<unsigned>(mean / 100u), static_cast<unsigned>(mean % 100u),
                                   static_cast<unsigned>(distinct), static_cast<unsigned>(below),
                                   static_cast<unsigned>(above), static_cast<unsigned>(count[0]),
                                   static_cast<unsigned>(count[top]));
    bool fits = head > 0 && head < end - at;
    at += fits ? head : 0;
    for (uint32_t b = 10; b-- > 0;) {
        const unsigned share = static_cast<unsigned>(RoundedRatio(1000u * uint64_t{ones[b < bits ? b : 0]}, pixels));
        fits = fits && (b >= bits ? Put(&at, end, ",") : Put(&at, end, "%u,", share));
    }
    const char* blank = "";
    const auto constant = [&](uint32_t b) { return ones[b] == 0 || ones[b] == pixels; };
    for (uint32_t b = bits; b-- > 0;) {
        if (constant(b)) {
            fits = fits && Put(&at, end, blank) && Put(&at, end, "b%u=%u", b, ones[b] == 0 ? 0u : 1u);
            blank = " ";
        }
    }
    fits = fits && Put(&at, end, ",");
    blank = "";
    for (uint32_t a = bits; a-- > 0;) {
        for (uint32_t b = a; b-- > 0;) {
            if (!constant(a) && !constant(b) && ((differs[a] >> b) & 1u) == 0) {
                fits = fits && Put(&at, end, blank) && Put(&at, end, "b%u=b%u", a, b);
                blank = " ";
            }
        }
    }
    fits = fits && Put(&at, end, "\n");
    const size_t length = static_cast<size_t>(at - text);
    return fits && std::fwrite(text, 1, length, file) == length;
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

std::unique_ptr<Histograms> NewHistograms() {
    std::unique_ptr<Histograms> h(new (std::nothrow) Histograms());
    if (!h) {
        Complain("cannot allocate the histograms");
    }
    return h;
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
    const std::unique_ptr<Histograms> h = NewHistograms();
    if (!h || !PrepareFrameLines(&f, *format, lines, 0)) {
        return 0;
    }
    for (uint32_t line = 0; line < format->height; ++line) {
        FetchBothPlanes(&f, line);
        CountLine(f, h.get());
    }
    return PutRows(file, frame, slot, format->width * format->height, *h, f.chroma10, true);
}

int WriteLevelsJpeg(FILE* file, uint32_t width, uint32_t height, uint32_t fetch, const LineSource& lines) {
    const FrameFormat picture{width, height, 3u * width, kColorSpace444, kEncodeChroma8, fetch, fetch};
    if (!LevelsAccepts(picture) || file == nullptr) {
        return 0;
    }
    const std::unique_ptr<Histograms> h = NewHistograms();
    // Whole words of the row, zeros past what the line gives.
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[static_cast<size_t>(RoundUp4(3u * uint64_t{width}))]());
    if (!h || !row) {
        Complain("cannot allocate the histograms");
        return 0;
    }
    for (uint32_t line = 0; line < height; ++line) {
        lines.read(lines.context, Plane::Luma, line, row.get(), fetch);
        const uint8_t* p = row.get();
        for (uint32_t j = 0; j < width; ++j, p += 3) {  // Cr, Cb, Y
            ++h->count[kCr][p[0]];
            ++h->count[kCb][p[1]];
            ++h->count[kY][p[2]];
        }
    }
    return PutRows(file, 0, 0, width * height, *h, false, false);
}
