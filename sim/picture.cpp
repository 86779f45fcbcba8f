#include "sim/picture.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace sim {

namespace {

// 100% bars, BT.601 studio range, 8-bit: white, yellow, cyan, green, magenta, red,
// blue, black.
constexpr uint8_t kBars[8][3] = {
    {235, 128, 128}, {210, 16, 146}, {170, 166, 16}, {145, 54, 34},
    {106, 202, 222}, {81, 90, 240},  {41, 240, 110}, {16, 128, 128},
};

constexpr uint16_t kBlack10 = 64;
constexpr uint16_t kWhite10 = 940;
constexpr uint16_t kNeutral10 = 512;
// Mid luma with a chroma pair no bar has, so the marker shows in either plane.
constexpr uint16_t kMarkerY10 = 512;
constexpr uint16_t kMarkerCb10 = 400;
constexpr uint16_t kMarkerCr10 = 720;
constexpr uint32_t kRampSpan = 877;  // 64..940
constexpr uint32_t kCodeCells = 16;

// Samples of 10 bits back to back, least significant bit first, never past `limit`.
struct BitPacker {
    uint8_t* out;
    uint32_t limit;
    uint32_t pos;
    uint32_t acc;
    uint32_t bits;
};

void Emit(BitPacker* packer, uint8_t byte) {
    if (packer->pos < packer->limit) {
        packer->out[packer->pos] = byte;
    }
    ++packer->pos;
}

void Put10(BitPacker* packer, uint32_t sample) {
    packer->acc |= (sample & 0x3ffu) << packer->bits;
    packer->bits += 10;
    while (packer->bits >= 8) {
        Emit(packer, static_cast<uint8_t>(packer->acc));
        packer->acc >>= 8;
        packer->bits -= 8;
    }
}

void Flush(BitPacker* packer) {
    if (packer->bits > 0) {
        Emit(packer, static_cast<uint8_t>(packer->acc));
        packer->acc = 0;
        packer->bits = 0;
    }
}

void PutByte(uint8_t* out, uint32_t limit, uint32_t pos, uint8_t value) {
    if (pos < limit) {
        out[pos] = value;
    }
}

}  // namespace

uint8_t To8Bit(uint16_t sample) { return static_cast<uint8_t>(std::min<uint32_t>((sample + 2u) >> 2, 255u)); }

RowKey TestPictureRowKey(uint32_t frame, uint32_t line, uint32_t width, uint32_t height) {
    const uint64_t y8 = uint64_t{line} * 8;
    const uint64_t h = height;
    if (y8 >= 6 * h) {
        return {RowKind::kRamp, 0, 0};
    }
    if (y8 >= 5 * h) {
        return {RowKind::kCode, frame & 0xffffu, 0};
    }
    // The marker walks right one side length per frame, then down a row of squares.
    const uint32_t barRows = static_cast<uint32_t>((5 * h + 7) / 8);
    const uint32_t side = std::max<uint32_t>(1, std::min(width, barRows) / 8);
    const uint64_t columns = width - side + 1;
    const uint64_t rows = barRows - side + 1;
    const uint64_t travel = uint64_t{frame} * side;
    const uint64_t left = travel % columns;
    const uint64_t top = (travel / columns * side) % rows;
    if (line >= top && line < top + side) {
        return {RowKind::kMarker, static_cast<uint32_t>(left), side};
    }
    return {RowKind::kBars, 0, 0};
}

void TestPictureRow(const RowKey& key, uint32_t width, Yuv10* out) {
    switch (key.kind) {
    case RowKind::kRamp: {
        uint32_t step = 0;
        for (uint32_t x = 0; x < width; ++x) {
            out[x] = Yuv10{static_cast<uint16_t>(kBlack10 + step), kNeutral10, kNeutral10};
            step = step + 1 == kRampSpan ? 0 : step + 1;
        }
        return;
    }
    case RowKind::kCode:
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t cell = static_cast<uint32_t>(uint64_t{x} * kCodeCells / width);
            const bool bit = ((key.a >> (kCodeCells - 1 - cell)) & 1u) != 0;
            out[x] = Yuv10{bit ? kWhite10 : kBlack10, kNeutral10, kNeutral10};
        }
        return;
    case RowKind::kBars:
    case RowKind::kMarker:
        break;
    }
    for (uint32_t x = 0; x < width; ++x) {
        const uint8_t* bar = kBars[uint64_t{x} * 8 / width];
        out[x] = Yuv10{static_cast<uint16_t>(bar[0] * 4u), static_cast<uint16_t>(bar[1] * 4u),
                       static_cast<uint16_t>(bar[2] * 4u)};
    }
    if (key.kind == RowKind::kMarker) {
        for (uint64_t x = key.a; x < uint64_t{key.a} + key.b && x < width; ++x) {
            out[x] = Yuv10{kMarkerY10, kMarkerCb10, kMarkerCr10};
        }
    }
}

namespace {

// `value` of component `component` (0 Y, 1 Cb, 2 Cr) with the buffer's planted fault.
uint32_t Planted(uint32_t fault, uint32_t component, uint32_t value) {
    const uint32_t kind = fault & 0xffu;
    if (kind == kNoFault || ((fault >> 8) & 0xffu) != component) {
        return value;
    }
    const uint32_t bit = (fault >> 16) & 0xffu;
    const uint32_t rest = value & ~(1u << bit);
    switch (kind) {
    case kStuckAt0:
        return rest;
    case kStuckAt1:
        return rest | 1u << bit;
    default:
        return rest | ((value >> (fault >> 24)) & 1u) << bit;
    }
}

}  // namespace

void MakeBufferLine(const ComputedBuffer& buffer, const RowKey& key, uint8_t* out) {
    const uint32_t limit = buffer.lineOffset;
    std::memset(out, 0, limit);
    std::vector<Yuv10> pixels(buffer.width + 1u);
    TestPictureRow(key, buffer.width, pixels.data());
    const uint32_t width = buffer.width;
    BitPacker packer{out, limit, 0, 0, 0};
    switch (buffer.plane) {
    case Plane::kJpeg:
        for (uint32_t j = 0; j < width; ++j) {
            PutByte(out, limit, 3 * j, To8Bit(pixels[j].cr));
            PutByte(out, limit, 3 * j + 1, To8Bit(pixels[j].cb));
            PutByte(out, limit, 3 * j + 2, To8Bit(pixels[j].y));
        }
        return;
    case Plane::kLuma:
        for (uint32_t i = 0; i < width; ++i) {
            Put10(&packer, Planted(buffer.fault, 0, pixels[i].y));
        }
        Flush(&packer);
        return;
    case Plane::kChroma:
        break;
    }
    // 4:2:2 pairs take the chroma of their left pixel; an odd width's last pair is
    // still complete.
    const bool pairs = buffer.layout == Layout::kYuv422C10 || buffer.layout == Layout::kYuv422C8;
    const uint32_t step = pairs ? 2 : 1;
    const bool tenBit = buffer.layout == Layout::kYuv444C10 || buffer.layout == Layout::kYuv422C10;
    uint32_t pos = 0;
    for (uint32_t i = 0; i < width; i += step) {
        if (tenBit) {
            Put10(&packer, Planted(buffer.fault, 2, pixels[i].cr));
            Put10(&packer, Planted(buffer.fault, 1, pixels[i].cb));
        } else {
            PutByte(out, limit, pos++, static_cast<uint8_t>(Planted(buffer.fault, 2, To8Bit(pixels[i].cr))));
            PutByte(out, limit, pos++, static_cast<uint8_t>(Planted(buffer.fault, 1, To8Bit(pixels[i].cb))));
        }
    }
    Flush(&packer);
}

}  // namespace sim
