#include "tests/support.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "image/color.h"
#include "memget/capture_registers.h"

namespace support {

namespace {

constexpr uint32_t kUncached = 0xa0000000u;

int32_t Reduce(int32_t v) { return (v + 2) >> 2; }
uint8_t Saturate(int32_t v) { return static_cast<uint8_t>(std::min(v, 255)); }

// The line with zeros after it, as far as any layout's samples of `width` pixels reach.
std::vector<uint8_t> Padded(const std::vector<uint8_t>& line, uint32_t width) {
    std::vector<uint8_t> padded = line;
    padded.resize(std::max<size_t>(line.size(), 3 * size_t{width} + 16), 0);
    return padded;
}

// Byte k of a line; 0 past its end.
uint8_t ByteAt(const std::vector<uint8_t>& line, size_t k) { return k < line.size() ? line[k] : 0; }

// 10-bit sample n of a line, with zeros past its end. Four samples fill five bytes, so a
// sample near the end is read from a zero-filled copy of its group of four: no padded
// copy of the whole line.
int32_t SampleAt(const std::vector<uint8_t>& line, size_t n) {
    const size_t first = 5 * (n / 4);
    if (first + 5 <= line.size()) return Read10Bit(line.data() + first, static_cast<int32_t>(n % 4));
    uint8_t group[5];
    for (size_t k = 0; k < 5; ++k) group[k] = ByteAt(line, first + k);
    return Read10Bit(group, static_cast<int32_t>(n % 4));
}

struct Samples {
    int32_t y, cb, cr;  // 10-bit luma; chroma as stored (10-bit, or a byte)
};

// Pixel i of the lines: 4:2:2 pixels share their pair's Cr, Cb.
Samples PixelSamples(const std::vector<uint8_t>& luma, const std::vector<uint8_t>& chroma, Layout layout,
                     uint32_t i) {
    const size_t k = 2 * size_t{layout.colorSpace == 2 ? i / 2 : i};
    Samples s{SampleAt(luma, i), 0, 0};
    if (layout.encodeMode == 4) {
        s.cr = ByteAt(chroma, k);
        s.cb = ByteAt(chroma, k + 1);
    } else {
        s.cr = SampleAt(chroma, k);
        s.cb = SampleAt(chroma, k + 1);
    }
    return s;
}

void Le(std::vector<uint8_t>* out, uint64_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) out->push_back(static_cast<uint8_t>(v >> (8 * k)));
}

// Byte `address` of the registers, from its aligned word.
uint32_t RegisterByte(const RegisterRead& read, uint32_t address) {
    return (read(address & ~3u) >> (8 * (address & 3u))) & 0xffu;
}

int RemoveBelowTop(const char* path, const struct stat*, int, struct FTW* walk) {
    return walk->level > 0 ? std::remove(path) : 0;
}

}  // namespace

std::vector<uint8_t> ExpectedRgb(const std::vector<uint8_t>& luma, const std::vector<uint8_t>& chroma,
                                 Layout layout, uint32_t width, bool yuv) {
    const bool chroma8 = layout.encodeMode == 4;
    std::vector<uint8_t> out;
    out.reserve(3 * size_t{width});
    for (uint32_t i = 0; i < width; ++i) {
        const Samples s = PixelSamples(luma, chroma, layout, i);
        const int32_t y8 = Reduce(s.y), cb8 = chroma8 ? s.cb : Reduce(s.cb), cr8 = chroma8 ? s.cr : Reduce(s.cr);
        if (yuv) {
            out.push_back(Saturate(y8));
            out.push_back(Saturate(cb8));
            out.push_back(Saturate(cr8));
            continue;
        }
        int32_t r = 0, g = 0, b = 0;
        YuvToRgb(y8, cb8, cr8, &r, &g, &b);
        out.push_back(static_cast<uint8_t>(r));
        out.push_back(static_cast<uint8_t>(g));
        out.push_back(static_cast<uint8_t>(b));
    }
    return out;
}

std::vector<uint32_t> ExpectedPpmNumbers(const std::vector<uint8_t>& luma, const std::vector<uint8_t>& chroma,
                                         Layout layout, uint32_t width) {
    const int32_t scale = layout.encodeMode == 4 ? 4 : 1;
    std::vector<uint32_t> out;
    out.reserve(3 * size_t{width});
    for (uint32_t i = 0; i < width; ++i) {
        const Samples s = PixelSamples(luma, chroma, layout, i);
        out.push_back(static_cast<uint32_t>(s.y));
        out.push_back(static_cast<uint32_t>(s.cb * scale));
        out.push_back(static_cast<uint32_t>(s.cr * scale));
    }
    return out;
}

std::vector<uint8_t> ExpectedJpegRow(const std::vector<uint8_t>& bytes, uint32_t width) {
    std::vector<uint8_t> row = Padded(bytes, width);
    row.resize(BmpRowBytes(width));
    for (size_t j = 0; j < width; ++j) {
        int32_t r = 0, g = 0, b = 0;
        YuvToRgb(row[3 * j + 2], row[3 * j + 1], row[3 * j], &r, &g, &b);
        row[3 * j] = static_cast<uint8_t>(b);
        row[3 * j + 1] = static_cast<uint8_t>(g);
        row[3 * j + 2] = static_cast<uint8_t>(r);
    }
    return row;
}

uint64_t BmpRowBytes(uint32_t width) { return (3 * uint64_t{width} + 3) & ~uint64_t{3}; }

std::vector<uint8_t> BmpHeader(uint32_t width, uint32_t height) {
    std::vector<uint8_t> out{'B', 'M'};
    Le(&out, 54 + BmpRowBytes(width) * height, 4);
    Le(&out, 0, 4);
    Le(&out, 54, 4);
    Le(&out, 40, 4);
    Le(&out, width, 4);
    Le(&out, height, 4);
    Le(&out, 1, 2);
    Le(&out, 24, 2);
    Le(&out, 0, 8);
    Le(&out, 100, 4);
    Le(&out, 100, 4);
    Le(&out, 0, 8);
    return out;
}

std::vector<uint8_t> BmpRow(const std::vector<uint8_t>& rgb) {
    std::vector<uint8_t> row(BmpRowBytes(static_cast<uint32_t>(rgb.size() / 3)), 0);
    for (size_t k = 0; k + 2 < rgb.size(); k += 3) {
        row[k] = rgb[k + 2];
        row[k + 1] = rgb[k + 1];
        row[k + 2] = rgb[k];
    }
    return row;
}

std::string PpmHeader(uint32_t width, uint32_t height) {
    return std::string("P3\0\n", 4) + std::to_string(width) + ' ' + std::to_string(height) +
           std::string("\0\n1023\0\n", 8);
}

std::string Y4mHeader(uint32_t width, uint32_t height, const std::string& chroma) {
    return "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) + " F25:1 Ip A0:0 C" + chroma +
           "\n";
}

std::vector<uint8_t> ExpectedY4m(const std::vector<FrameMemory>& frames) {
    const FrameMemory& first = frames.at(0);
    const uint32_t step = first.layout.colorSpace == 2 ? 2 : 1;  // a 4:2:2 pair's chroma once
    const std::string header =
        Y4mHeader(first.width, static_cast<uint32_t>(first.luma.size()), step == 2 ? "422p10" : "444p10");
    std::vector<uint8_t> out(header.begin(), header.end());
    for (const FrameMemory& frame : frames) {
        std::vector<uint8_t> planes[3];  // Y, Cb, Cr
        for (size_t l = 0; l < frame.luma.size(); ++l) {
            const std::vector<uint32_t> numbers =
                ExpectedPpmNumbers(frame.luma[l], frame.chroma[l], frame.layout, frame.width);
            for (uint32_t i = 0; i < frame.width; ++i) {
                for (size_t p = 0; p < 3; ++p) {
                    if (p == 0 || i % step == 0) Le(&planes[p], numbers[3 * size_t{i} + p], 2);
                }
            }
        }
        out.insert(out.end(), {'F', 'R', 'A', 'M', 'E', '\n'});
        for (const auto& plane : planes) out.insert(out.end(), plane.begin(), plane.end());
    }
    return out;
}

std::vector<uint8_t> ExpectedJpegY4m(const std::vector<std::vector<uint8_t>>& lines, uint32_t width) {
    const std::string header = Y4mHeader(width, static_cast<uint32_t>(lines.size()), "444") + "FRAME\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    for (size_t plane = 0; plane < 3; ++plane) {  // Y, Cb, Cr of the buffer's Cr, Cb, Y
        for (const auto& line : lines) {
            for (size_t j = 0; j < width; ++j) out.push_back(ByteAt(line, 3 * j + 2 - plane));
        }
    }
    return out;
}

namespace {

// One row of the report from every pixel's value of one component.
std::string LevelsRow(uint32_t frame, uint32_t slot, const char* name, uint32_t bits,
                      const std::vector<uint32_t>& values, bool luma) {
    const uint64_t pixels = values.size();
    if (pixels == 0) return "";  // refused by the writer: no picture, no row
    const uint32_t top = (1u << bits) - 1;
    const uint32_t low = bits == 10 ? 64 : 16;
    const uint32_t high = bits == 10 ? (luma ? 940 : 960) : (luma ? 235 : 240);
    const auto count = [&](const std::function<bool(uint32_t)>& test) {
        return std::to_string(std::count_if(values.begin(), values.end(), test));
    };
    const auto rounded = [&](uint64_t numerator) {  // numerator / pixels, halves up
        return numerator / pixels + (2 * (numerator % pixels) >= pixels ? 1 : 0);
    };
    uint64_t sum = 0;
    for (uint32_t v : values) sum += v;
    const uint64_t hundredths = rounded(100 * sum);
    char mean[32];
    std::snprintf(mean, sizeof mean, "%llu.%02llu", static_cast<unsigned long long>(hundredths / 100),
                  static_cast<unsigned long long>(hundredths % 100));
    std::string row = std::to_string(frame) + "," + std::to_string(slot) + "," + name + "," + std::to_string(bits) +
                      "," + std::to_string(pixels) + "," +
                      std::to_string(*std::min_element(values.begin(), values.end())) + "," +
                      std::to_string(*std::max_element(values.begin(), values.end())) + "," + mean + "," +
                      std::to_string(std::set<uint32_t>(values.begin(), values.end()).size()) + "," +
                      count([&](uint32_t v) { return v < low; }) + "," + count([&](uint32_t v) { return v > high; }) +
                      "," + count([](uint32_t v) { return v == 0; }) + "," +
                      count([&](uint32_t v) { return v == top; }) + ",";
    std::vector<int> constant(10, -1);  // 0 or 1 when the bit never changes
    for (int b = 9; b >= 0; --b) {
        if (b >= static_cast<int>(bits)) {
            row += ",";
            continue;
        }
        const uint64_t ones = std::count_if(values.begin(), values.end(), [&](uint32_t v) { return (v >> b) & 1; });
        row += std::to_string(rounded(1000 * ones)) + ",";
        if (ones == 0 || ones == pixels) constant[b] = ones == 0 ? 0 : 1;
    }
    std::string constants, equal;
    for (int a = static_cast<int>(bits) - 1; a >= 0; --a) {
        if (constant[a] >= 0) constants += (constants.empty() ? "b" : " b") + std::to_string(a) + "=" + std::to_string(constant[a]);
        for (int b = a - 1; b >= 0 && constant[a] < 0; --b) {
            const bool same = std::all_of(values.begin(), values.end(),
                                          [&](uint32_t v) { return ((v >> a) & 1) == ((v >> b) & 1); });
            if (constant[b] < 0 && same) {
                equal += (equal.empty() ? "b" : " b") + std::to_string(a) + "=b" + std::to_string(b);
            }
        }
    }
    return row + constants + "," + equal + "\n";
}

const char kLevelsHeader[] =
    "frame,slot,component,bits,pixels,min,max,mean,distinct,below,above,at_zero,at_top,b9,b8,b7,b6,b5,b4,b3,b2,b1,"
    "b0,constant,equal\n";

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

}  // namespace

std::vector<uint8_t> ExpectedLevels(const std::vector<FrameMemory>& frames) {
    std::string text = kLevelsHeader;
    for (size_t i = 0; i < frames.size(); ++i) {
        const FrameMemory& frame = frames[i];
        const uint32_t chromaScale = frame.layout.encodeMode == 4 ? 4 : 1;  // the 8-bit chroma as its byte
        std::vector<uint32_t> values[3];
        for (size_t l = 0; l < frame.luma.size(); ++l) {
            const std::vector<uint32_t> numbers =
                ExpectedPpmNumbers(frame.luma[l], frame.chroma[l], frame.layout, frame.width);
            for (size_t k = 0; k < numbers.size(); ++k) values[k % 3].push_back(numbers[k] / (k % 3 ? chromaScale : 1));
        }
        const uint32_t chromaBits = chromaScale == 4 ? 8 : 10;
        text += LevelsRow(static_cast<uint32_t>(i), frame.slot, "Y", 10, values[0], true) +
                LevelsRow(static_cast<uint32_t>(i), frame.slot, "Cb", chromaBits, values[1], false) +
                LevelsRow(static_cast<uint32_t>(i), frame.slot, "Cr", chromaBits, values[2], false);
    }
    return Bytes(text);
}

std::vector<uint8_t> ExpectedJpegLevels(const std::vector<std::vector<uint8_t>>& lines, uint32_t width) {
    std::vector<uint32_t> values[3];  // Y, Cb, Cr of the buffer's Cr, Cb, Y
    for (const auto& line : lines) {
        for (size_t j = 0; j < width; ++j) {
            for (size_t c = 0; c < 3; ++c) values[c].push_back(ByteAt(line, 3 * j + 2 - c));
        }
    }
    return Bytes(kLevelsHeader + LevelsRow(0, 0, "Y", 8, values[0], true) + LevelsRow(0, 0, "Cb", 8, values[1], false) +
                 LevelsRow(0, 0, "Cr", 8, values[2], false));
}

namespace {

std::vector<uint8_t> BmpFile(const FrameMemory& frame, bool yuv) {
    const uint32_t height = static_cast<uint32_t>(frame.luma.size());
    std::vector<uint8_t> out = BmpHeader(frame.width, height);
    for (uint32_t l = height; l-- > 0;) {
        const std::vector<uint8_t> row =
            BmpRow(ExpectedRgb(frame.luma[l], frame.chroma[l], frame.layout, frame.width, yuv));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

std::vector<uint8_t> ExpectedBmp(const std::vector<FrameMemory>& frames) { return BmpFile(frames.at(0), false); }
std::vector<uint8_t> ExpectedYuv(const std::vector<FrameMemory>& frames) { return BmpFile(frames.at(0), true); }

std::vector<uint8_t> ExpectedPpm(const std::vector<FrameMemory>& frames) {
    const FrameMemory& frame = frames.at(0);
    const uint32_t height = static_cast<uint32_t>(frame.luma.size());
    std::string text = PpmHeader(frame.width, height);
    for (uint32_t l = 0; l < height; ++l) {
        for (uint32_t n : ExpectedPpmNumbers(frame.luma[l], frame.chroma[l], frame.layout, frame.width)) {
            text += std::to_string(n);
            text += ' ';
        }
    }
    return std::vector<uint8_t>(text.begin(), text.end());
}

// The JPEG buffer as the BMP file the per-frame formats write of it.
std::vector<uint8_t> ExpectedJpegBmp(const std::vector<std::vector<uint8_t>>& lines, uint32_t width) {
    std::vector<uint8_t> out = BmpHeader(width, static_cast<uint32_t>(lines.size()));
    for (size_t l = lines.size(); l-- > 0;) {
        const std::vector<uint8_t> row = ExpectedJpegRow(lines[l], width);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

constexpr FormatOracle kOracles[] = {
    {".bmp", ExpectedBmp, ExpectedJpegBmp, "Write bmp header error!!\n", "Write error!!\n"},
    {".pbm", ExpectedPpm, ExpectedJpegBmp, "Write bmp header error!!\n", "Write error!!\n"},
    {".yuv", ExpectedYuv, ExpectedJpegBmp, "Write bmp header error!!\n", "Write error!!\n"},
    // The new stream says nothing itself: the capture names the file not written.
    {".y4m", ExpectedY4m, ExpectedJpegY4m, "", ""},
    {".csv", ExpectedLevels, ExpectedJpegLevels, "", ""},
};

}  // namespace

const FormatOracle* FindOracle(const std::string& ending) {
    for (const FormatOracle& oracle : kOracles) {
        if (ending == oracle.ending) return &oracle;
    }
    return nullptr;
}

void Put10(std::vector<uint8_t>* line, uint32_t n, uint32_t value) {
    line->resize(std::max<size_t>(line->size(), (10 * size_t{n} + 9) / 8 + 1), 0);
    for (uint32_t i = 0; i < 10; ++i) {
        const size_t k = 10 * size_t{n} + i;
        const uint8_t bit = static_cast<uint8_t>(1u << (k % 8));
        (*line)[k / 8] = static_cast<uint8_t>(((value >> i) & 1u) ? (*line)[k / 8] | bit : (*line)[k / 8] & ~bit);
    }
}

FrameBuffers SlotBuffers(const CaptureArea& area, bool interlaced, uint32_t group, uint32_t slot) {
    const uint32_t groupStride = (interlaced ? 6u : 3u) * (area.sizeY + area.sizeUV);
    return {slot, (area.addrY | kUncached) + group * groupStride + slot * area.sizeY,
            (area.addrUV | kUncached) + group * groupStride + slot * area.sizeUV};
}

FrameBuffers FrameBuffersOf(const CaptureArea& area, bool interlaced, uint32_t frame) {
    static const uint32_t kOrder[6] = {0, 3, 1, 4, 2, 5};
    const uint32_t slot = interlaced ? kOrder[frame % 6] : kOrder[2 * (frame % 3)];
    return SlotBuffers(area, interlaced, frame / (interlaced ? 6u : 3u), slot);
}

FrameProbe ProbeFrame(const RegisterRead& read) {
    FrameProbe p;
    p.interlaced = (RegisterByte(read, kRegCaptureControl) & 0x08u) != 0;
    p.lineOffsetY = RegisterByte(read, kRegLineOffsetY) * 256u;
    p.lineOffsetUV = RegisterByte(read, kRegLineOffsetUV) * 256u;
    p.height = read(kRegHeight) & 0xfffu;
    const uint32_t captureWidth = (read(kRegCaptureEnd) & 0xfffu) - (read(kRegCaptureStart) & 0xfffu);
    const uint32_t panelWidth = ((read(kRegPanelEnd) & 0x7ffu) - (read(kRegPanelStart) & 0x1ffu)) * 2u;
    p.width = std::min(captureWidth, panelWidth);
    static const Layout kLayouts[4] = {{1, 3}, {1, 4}, {2, 3}, {2, 4}};
    for (uint32_t k = 4; k-- > 0;) {
        if (RegisterByte(read, kRegFormatFlags + k) & 1u) {
            p.flags |= 1u << k;
            p.layout = kLayouts[k];  // the lowest flag set wins
        }
    }
    p.usable = p.lineOffsetY != 0 && p.height != 0 && p.flags != 0;
    return p;
}

JpegProbe ProbeJpeg(const RegisterRead& read) {
    JpegProbe p;
    p.base = 0x80000000u | ((read(kRegJpegBase) & 0xffffffu) * 16u);
    const uint32_t hStart = read(kRegJpegHStart) & 0x7ffu, hEnd = read(kRegJpegHEnd) & 0x7ffu;
    const uint32_t vStart = read(kRegJpegVStart) & 0x7ffu, vEnd = read(kRegJpegVEnd) & 0x7ffu;
    p.valid = hStart <= hEnd + 1 && vStart <= vEnd;
    if (p.valid) {
        p.width = (hEnd + 1 - hStart) * 2;
        p.height = vEnd - vStart;
    }
    p.lineOffset = (read(kRegJpegLineOffset) & 0xffu) * 256u;
    return p;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
    return text;
}

std::string WordLines(uint32_t address, const std::vector<uint8_t>& bytes) {
    std::string lines;
    for (size_t i = 0; i < bytes.size(); i += 4) {
        uint32_t word = 0;
        for (size_t k = 0; k < 4 && i + k < bytes.size(); ++k) word |= uint32_t{bytes[i + k]} << (8 * k);
        lines += "word " + Hex(address + static_cast<uint32_t>(i)) + " " + Hex(word) + "\n";
    }
    return lines;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string ReadFile(const std::string& path) {
    // No stdio: the fuzz drivers read every file they make, and a stream's buffer is one
    // more allocation each time.
    std::string bytes;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return bytes;
    char chunk[8192];
    for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;) bytes.append(chunk, static_cast<size_t>(n));
    close(fd);
    return bytes;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    return !out.fail();
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    for (dirent* entry = dir ? readdir(dir) : nullptr; entry != nullptr; entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    if (dir != nullptr) {
        closedir(dir);
    }
    return names;
}

std::map<std::string, std::string> FolderFiles(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const std::string& name : FolderNames(folder)) {
        files[name] = ReadFile(folder + "/" + name);
    }
    return files;
}

void EmptyFolder(const std::string& folder) { nftw(folder.c_str(), RemoveBelowTop, 16, FTW_DEPTH | FTW_PHYS); }

TempDir::TempDir(const std::string& parent) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = !parent.empty() ? parent : tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    std::string pattern = base + "/avrig-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
    }
}

TempDir::~TempDir() {
    if (!path_.empty()) {
        EmptyFolder(path_);
        rmdir(path_.c_str());
    }
}

}  // namespace support
