// One capture on arbitrary capture registers and frame memory: the request checks, the
// probe, the frame loop, the writer of every output format and the JPEG buffer dump, run
// in-process through VIP_MemoryCatch against the simulated target.
//
// Input (words little-endian; bytes past the end read as 0):
//   byte 0     mode: bits 0-1 the low bits of the name's ending (byte 3), bits 2-3 the
//              register device (/dev/zormmio, /dev/zormmio-dbg, none, every read
//              refused), bit 4 JPEG buffer active, bits 5-7 name length
//   byte 1     frame count: below 0xe0 the byte mod 9, else one of kSpecialCounts
//   byte 2     trap: bits 0-1 what stands in the run folder under the name of frame
//              bits 2-7 (the requested name on the JPEG road) before the capture: nothing,
//              a folder (the file cannot be given its name), a link to /dev/full (never
//              written through: the frame's file replaces it)
//   byte 3     the name's ending, with byte 0's bits 0-1 below it: modulo one more than
//              the rows of the output format table, row k's ending, or the last value
//              one the request refuses
//   4 words    Y address, UV address, Y size, UV size, as the VIP driver reports them
//   15 words   the registers of kRegisters, in that order
//   9 bytes    per frame-memory word, up to kMaxMemoryWords: where (bits 0-1 plane: Y,
//              UV, JPEG buffer; bits 2-4 buffer slot; bits 5-7 group), line (16 bits),
//              word within the line (16 bits), value (32 bits)
//
// Frame memory is read one request per word, and each file costs some system calls, so
// the work is bounded: where the registers ask for more than kBudget words, pixels and
// files, the height (on the JPEG road the vertical end) is lowered, and then the frame
// count. A capture that reports success must have
// met no trap and written one file per frame under the frame's name, or the one stream
// under the name, each byte for byte what the tests' oracle (tests/support.h) makes of
// frame memory for the format of the name's ending. Whatever the result, no temporary
// file stays behind.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "device/mmio.h"
#include "fuzz/fuzz_support.h"
#include "memget/capture.h"
#include "memget/capture_names.h"
#include "memget/capture_registers.h"
#include "memget/output_formats.h"
#include "sim/memory.h"
#include "sim/sim.h"
#include "sim/state.h"
#include "tests/support.h"

namespace {

// Words read plus pixels converted plus files written, per input: under a millisecond
// under the sanitizers, so the driver runs over a thousand inputs a second. The budget
// holds a frame line as wide as the writers take, and eight files: one costs about as
// much as a few hundred pixels (creating, syncing, renaming, reading back, removing).
// Frame numbers from 1000 on are the tests' (and a stream's) to reach.
constexpr uint64_t kBudget = 1u << 11;
constexpr uint64_t kFileCost = 256;
// The writers refuse wider frames before they read anything.
constexpr uint32_t kWidestFrame = 16384;
constexpr size_t kMaxMemoryWords = 48;

enum Register : size_t {
    kControl,
    kJpegBuffer,
    kLineOffsets,
    kHeight,
    kCaptureStart,
    kCaptureEnd,
    kPanelStart,
    kPanelEnd,
    kFormatFlags,
    kJpegBase,
    kJpegHStart,
    kJpegVStart,
    kJpegHEnd,
    kJpegVEnd,
    kJpegLineOffset,
    kRegisterCount,
};

constexpr uint32_t kRegisters[kRegisterCount] = {
    kRegCaptureControl, kRegJpegBuffer, kRegLineOffsetY, kRegHeight,     kRegCaptureStart,
    kRegCaptureEnd,     kRegPanelStart, kRegPanelEnd,    kRegFormatFlags, kRegJpegBase,
    kRegJpegHStart,     kRegJpegVStart, kRegJpegHEnd,    kRegJpegVEnd,    kRegJpegLineOffset,
};

constexpr uint32_t kFormatCount = static_cast<uint32_t>(std::size(kOutputFormats));
// Names the request refuses: case, missing dot, short, longer, nothing at all.
constexpr const char* kOddNames[] = {"f.BMP", "fbmp", "f", "bmp", "f.bm", "f.bmpx", "f.pbm.", ".jpg"};
// Stem lengths around the limits: 39 characters for one frame, 35 for several, 34 from
// 1001 frames on.
constexpr size_t kStemLengths[] = {1, 0, 8, 30, 31, 32, 35, 36};
constexpr int32_t kSpecialCounts[] = {
    -1,   1201, 1200,      1199,      1001, 1000, 999,  998,  9,    10,         11,        12,   13, 17, 18, 100,
    101,  255,  256,       1024,      1025, 2047, 4096, 4097, 65536, INT32_MAX, INT32_MIN, -1200, -2, 6, 7, 3,
};

bool g_fullDevice = false;  // /dev/full is there to link to

enum class Device { kMmio, kMmioDebug, kNone, kRefused };
enum class Trap { kNone, kFolder, kFullDevice };

struct MemoryWord {
    uint8_t where;
    uint16_t line;
    uint16_t column;
    uint32_t value;
};

struct Case {
    uint32_t fileType;  // index into kOutputFormats, or kFormatCount for an odd name
    Device device;
    bool jpeg;
    size_t nameClass;
    int32_t count;
    Trap trap;
    int32_t trapFrame;
    uint32_t addrY, addrUV, sizeY, sizeUV;
    uint32_t reg[kRegisterCount];
    std::vector<MemoryWord> words;
};

// The input, read front to back; past its end every byte is 0.
struct Input {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

uint8_t U8(Input* in) { return in->pos < in->size ? in->data[in->pos++] : 0; }

uint16_t U16(Input* in) {
    const uint32_t low = U8(in);
    return static_cast<uint16_t>(low | (static_cast<uint32_t>(U8(in)) << 8));
}

uint32_t U32(Input* in) {
    const uint32_t low = U16(in);
    return low | (static_cast<uint32_t>(U16(in)) << 16);
}

Case Decode(const uint8_t* data, size_t size) {
    Input input{data, size, 0};
    Input* in = &input;
    Case c{};
    const uint8_t mode = U8(in);
    c.device = static_cast<Device>((mode >> 2) & 3u);
    c.jpeg = (mode & 0x10u) != 0;
    c.nameClass = mode >> 5;
    const uint8_t count = U8(in);
    c.count = count < 0xe0 ? count % 9 : kSpecialCounts[(count - 0xe0) % std::size(kSpecialCounts)];
    const uint8_t trap = U8(in);
    c.trap = (trap & 3u) == 3u ? Trap::kNone : static_cast<Trap>(trap & 3u);
    if (c.trap == Trap::kFullDevice && !g_fullDevice) {
        c.trap = Trap::kNone;  // a link to nothing would create the file it names
    }
    c.trapFrame = trap >> 2;
    c.fileType = ((uint32_t{U8(in)} << 2) | (mode & 3u)) % (kFormatCount + 1);
    c.addrY = U32(in);
    c.addrUV = U32(in);
    c.sizeY = U32(in);
    c.sizeUV = U32(in);
    for (uint32_t& value : c.reg) {
        value = U32(in);
    }
    // Only zero or not matters; the mode bit decides, the word gives the value.
    if (!c.jpeg) {
        c.reg[kJpegBuffer] = 0;
    } else if (c.reg[kJpegBuffer] == 0) {
        c.reg[kJpegBuffer] = 1;
    }
    while (in->pos < in->size && c.words.size() < kMaxMemoryWords) {
        MemoryWord w{};
        w.where = U8(in);
        w.line = U16(in);
        w.column = U16(in);
        w.value = U32(in);
        c.words.push_back(w);
    }
    return c;
}

bool OddName(const Case& c) { return c.fileType == kFormatCount; }

// The row of the name's ending; null for an odd name.
const OutputFormat* Format(const Case& c) { return OddName(c) ? nullptr : &kOutputFormats[c.fileType]; }

bool Streamed(const Case& c) { return !OddName(c) && Format(c)->streamHeader != nullptr; }

std::string Name(const Case& c) {
    if (OddName(c)) {
        return kOddNames[c.nameClass];
    }
    return std::string(kStemLengths[c.nameClass], 'f') + Format(c)->ending;
}

// Frame i's name: with several frames "_NNN" (four digits from 1000 on) before the ending;
// a stream's one name.
std::string FrameFileName(const Case& c, int32_t i) {
    const std::string name = Name(c);
    if (c.count < 2 || name.size() < 4 || Streamed(c)) {
        return name;
    }
    char number[16];
    std::snprintf(number, sizeof number, "_%03d", static_cast<int>(i));
    return name.substr(0, name.size() - 4) + number + name.substr(name.size() - 4);
}

// The file the trap stands in for.
std::string TrapName(const Case& c) { return c.jpeg || Streamed(c) ? Name(c) : FrameFileName(c, c.trapFrame); }

// True when the capture must fail on the trap, should it get as far as writing files.
bool TrapReached(const Case& c) {
    return c.trap == Trap::kFolder && (c.jpeg || c.count == 1 || (Streamed(c) && c.count > 0) ||
                                       (c.count > 1 && c.trapFrame < c.count));
}

// Inside the run folder.
void SetTrap(const Case& c) {
    const std::string name = TrapName(c);
    if (c.trap == Trap::kFolder && mkdir(name.c_str(), 0700) != 0) {
        std::abort();
    }
    if (c.trap == Trap::kFullDevice && symlink("/dev/full", name.c_str()) != 0) {
        std::abort();
    }
}

// The capture registers as the input sets them, for the tests' shared probe.
support::RegisterRead Registers(const uint32_t* reg) {
    return [reg](uint32_t address) {
        const uint32_t* at = std::find(kRegisters, kRegisters + kRegisterCount, address);
        return at != kRegisters + kRegisterCount ? reg[at - kRegisters] : 0u;
    };
}

support::FrameProbe ProbeFrame(const uint32_t* reg) { return support::ProbeFrame(Registers(reg)); }
support::JpegProbe ProbeJpeg(const uint32_t* reg) { return support::ProbeJpeg(Registers(reg)); }

support::CaptureArea Area(const Case& c) { return {c.addrY, c.addrUV, c.sizeY, c.sizeUV}; }

bool RegistersReadable(const Case& c) { return c.device == Device::kMmio || c.device == Device::kMmioDebug; }

bool CountAccepted(int32_t count) { return count >= 0 && count <= kMaxFrameCount; }

// Bytes of a line the oracle reads for `width` pixels (it takes the rest as zeros): 10
// bits a luma sample, at most 20 bits of chroma a pixel, 3 bytes a JPEG pixel and the
// BMP row's padding.
uint64_t LumaBytes(uint32_t width) { return (10 * uint64_t{width} + 7) / 8; }
uint64_t ChromaBytes(uint32_t width) { return (20 * uint64_t{width} + 7) / 8; }
uint64_t JpegBytes(uint32_t width) { return 3 * uint64_t{width} + 3; }

// Lowers the height, then the frame count, until the capture fits kBudget. A capture
// whose name is refused for its frame count writes nothing and keeps its count.
void Bound(Case* c) {
    if (!RegistersReadable(*c)) {
        return;  // nothing is read
    }
    if (c->jpeg) {
        const support::JpegProbe g = ProbeJpeg(c->reg);
        const uint64_t perLine = 1 + std::min<uint64_t>(g.lineOffset, JpegBytes(g.width)) / 2 + g.width;
        if (!g.valid || uint64_t{g.height} * perLine <= kBudget) {
            return;
        }
        const uint32_t height = static_cast<uint32_t>(kBudget / perLine);
        const uint32_t vEnd = (c->reg[kJpegVStart] & 0x7ffu) + height;  // below the old end
        c->reg[kJpegVEnd] = (c->reg[kJpegVEnd] & ~0x7ffu) | vEnd;
        return;
    }
    const support::FrameProbe g = ProbeFrame(c->reg);
    if (!g.usable || !CountAccepted(c->count) || c->count == 0 || g.width > kWidestFrame || OddName(*c) ||
        Name(*c).size() > LongestRequestName(FileCount(*Format(*c), c->count))) {
        return;
    }
    // A line costs the words read (by the capture and again for the oracle) and its
    // pixels; a PPM pixel is up to 15 bytes of text, written and checked: it counts twice.
    const bool text = Format(*c)->sampleBytes == 0;
    const uint64_t perLine = 1 +
                             (std::min<uint64_t>(g.lineOffsetY, LumaBytes(g.width)) +
                              std::min<uint64_t>(g.lineOffsetUV, ChromaBytes(g.width))) / 2 +
                             g.width * (text ? 2u : 1u);
    const uint64_t perFile = Streamed(*c) ? 0 : kFileCost;
    const auto cost = [&](uint64_t frames, uint64_t height) {
        return frames * (height * perLine + perFile) + (Streamed(*c) ? kFileCost : 0);
    };
    const uint64_t frames = static_cast<uint64_t>(c->count);
    if (cost(frames, g.height) <= kBudget) {
        return;
    }
    uint64_t height = 1;
    if (cost(frames, 1) < kBudget) {
        height = std::max<uint64_t>(1, ((kBudget - cost(0, 0)) / frames - perFile) / perLine);
    }
    c->reg[kHeight] = (c->reg[kHeight] & ~0xfffu) | static_cast<uint32_t>(height);
    if (cost(frames, height) > kBudget) {
        c->count = static_cast<int32_t>(std::max<uint64_t>(1, (kBudget - cost(0, 0)) / (perLine + perFile)));
    }
}

std::string TargetText(const Case& c) {
    static const char* const kNodes[] = {"nodes /dev/zormmio\n", "nodes /dev/zormmio-dbg\n", "nodes\n",
                                         "nodes /dev/zormmio\nrefuse 0xc0086b00\n"};
    std::string text = kNodes[static_cast<size_t>(c.device)];
    // Frame memory first: a word that lands on a register is overwritten below, so the
    // registers hold what Bound() worked with.
    const support::FrameProbe frame = ProbeFrame(c.reg);
    const support::JpegProbe jpeg = ProbeJpeg(c.reg);
    for (const MemoryWord& w : c.words) {
        const support::FrameBuffers buffers =
            support::SlotBuffers(Area(c), frame.interlaced, w.where >> 5, (w.where >> 2) & 7u);
        uint32_t address = 0;
        switch (w.where & 3u) {
            case 0:
            case 3:
                address = buffers.y + w.line * frame.lineOffsetY;
                break;
            case 1:
                address = buffers.uv + w.line * frame.lineOffsetUV;
                break;
            default:
                address = jpeg.base + w.line * jpeg.lineOffset;
                break;
        }
        address = (address + 4u * w.column) & ~3u;
        text += "word " + support::Hex(address) + " " + support::Hex(w.value) + "\n";
    }
    for (size_t r = 0; r < kRegisterCount; ++r) {
        text += "word " + support::Hex(kRegisters[r]) + " " + support::Hex(c.reg[r]) + "\n";
    }
    return text;
}

[[noreturn]] void Fail(const std::string& file, const char* what) {
    std::fprintf(stderr, "fuzz_capture: %s: %s\n", file.c_str(), what);
    std::abort();
}

// Everything in the run folder but the trap, where that still stands.
std::vector<std::string> OutputFiles(const Case& c) {
    const std::string trap = c.trap == Trap::kNone ? std::string() : TrapName(c);
    struct stat trapInfo {};
    const bool trapStands = !trap.empty() && lstat(trap.c_str(), &trapInfo) == 0 && !S_ISREG(trapInfo.st_mode);
    std::vector<std::string> names;
    DIR* dir = opendir(".");
    if (dir == nullptr) {
        Fail(".", "cannot list the run folder");
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && !(trapStands && name == trap)) {
            names.push_back(name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// The first `used` bytes of a line of frame memory at `address` in whole words, no
// further than the line offset.
std::vector<uint8_t> MemoryLine(uint32_t address, uint32_t lineOffset, uint64_t used) {
    std::vector<uint8_t> line(static_cast<size_t>(std::min<uint64_t>(lineOffset & ~3u, (used + 3) & ~uint64_t{3})));
    sim::Memory* memory = &sim::GetState().target.memory;
    for (uint32_t at = 0; at < line.size(); at += 4) {
        const uint32_t word = sim::MemoryRead(memory, address + at);
        for (uint32_t k = 0; k < 4; ++k) {
            line[at + k] = static_cast<uint8_t>(word >> (8 * k));
        }
    }
    return line;
}

// Frame i of the capture as frame memory holds it.
support::FrameMemory FrameOf(const Case& c, const support::FrameProbe& g, int32_t i) {
    const support::FrameBuffers at = support::FrameBuffersOf(Area(c), g.interlaced, static_cast<uint32_t>(i));
    support::FrameMemory frame{g.width, g.layout, {}, {}, at.slot};
    frame.luma.reserve(g.height);
    frame.chroma.reserve(g.height);
    for (uint32_t line = 0; line < g.height; ++line) {
        frame.luma.push_back(MemoryLine(at.y + g.lineOffsetY * line, g.lineOffsetY, LumaBytes(g.width)));
        frame.chroma.push_back(MemoryLine(at.uv + g.lineOffsetUV * line, g.lineOffsetUV, ChromaBytes(g.width)));
    }
    return frame;
}

// A file is compared whole with the oracle's bytes: its cost is that of the capture,
// which Bound() keeps small.
void Compare(const std::string& name, const std::vector<uint8_t>& expected) {
    const std::string file = support::ReadFile(name);
    if (file.size() != expected.size() || std::memcmp(file.data(), expected.data(), file.size()) != 0) {
        Fail(name, "the file differs from what the oracle makes of memory");
    }
}

// Run inside the run folder, after a capture that reported success; `files` is what
// OutputFiles() found there.
void CheckOutputs(const Case& c, const std::vector<std::string>& files) {
    if (!RegistersReadable(c)) {
        Fail(Name(c), "a capture without readable registers reported success");
    }
    if (OddName(c)) {
        Fail(Name(c), "a capture under a refused name reported success");
    }
    if (TrapReached(c)) {
        Fail(TrapName(c), "a capture whose file could not be written reported success");
    }
    const support::FormatOracle* oracle = support::FindOracle(Format(c)->ending);
    if (oracle == nullptr) {
        Fail(Name(c), "the oracle does not know this format");
    }
    if (c.jpeg) {
        const support::JpegProbe g = ProbeJpeg(c.reg);
        if (files.size() != 1 || files[0] != Name(c)) {
            Fail(Name(c), "the JPEG road must write exactly the requested file");
        }
        std::vector<std::vector<uint8_t>> lines;
        for (uint32_t line = 0; line < g.height; ++line) {
            lines.push_back(MemoryLine(g.base + g.lineOffset * line, g.lineOffset, JpegBytes(g.width)));
        }
        Compare(files[0], oracle->jpeg(lines, g.width));
        return;
    }
    const support::FrameProbe g = ProbeFrame(c.reg);
    if (files.size() != static_cast<size_t>(FileCount(*Format(c), c.count))) {
        Fail(Name(c), "not one file per frame, or the one stream (none for no frames)");
    }
    if (Streamed(c)) {
        std::vector<support::FrameMemory> frames;
        for (int32_t i = 0; i < c.count; ++i) {
            frames.push_back(FrameOf(c, g, i));
        }
        if (c.count > 0) {
            Compare(Name(c), oracle->file(frames));
        }
        return;
    }
    for (int32_t i = 0; i < c.count; ++i) {
        const std::string file = FrameFileName(c, i);
        if (!std::binary_search(files.begin(), files.end(), file)) {
            Fail(file, "a frame's file is missing");
        }
        std::vector<support::FrameMemory> frame(1);
        frame[0] = FrameOf(c, g, i);
        Compare(file, oracle->file(frame));
    }
}

bool g_show = false;  // FUZZ_CAPTURE_SHOW=1: the tool's output and the target text stay visible

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::SetUp(argc, argv);
    struct stat device {};
    g_fullDevice = stat("/dev/full", &device) == 0 && S_ISCHR(device.st_mode);
    const char* show = std::getenv("FUZZ_CAPTURE_SHOW");
    g_show = show != nullptr && std::strcmp(show, "1") == 0;
    if (!g_show) {
        fuzz::SilenceStdout();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Case c = Decode(data, size);
    Bound(&c);
    const std::string text = TargetText(c);
    if (g_show) {
        std::printf("--- target\n%s---\n", text.c_str());
    }

    sim::Reset();
    std::string error;
    if (!sim::LoadTargetText("fuzz_capture.target", "", text, &error)) {
        std::fprintf(stderr, "fuzz_capture: the driver's own target text was refused: %s\n", error.c_str());
        std::abort();
    }
    std::string log;  // the simulated target's events: opens, closes, the shell command
    sim::LogToMemory(&log);
    fd = -1;  // the register-access device is closed between captures
    {
        fuzz::RunFolder inRunFolder;
        SetTrap(c);
        const std::string name = Name(c);
        const bool success = VIP_MemoryCatch(c.addrY, c.addrUV, c.sizeY, c.sizeUV, c.count, name.c_str()) == 1;
        const std::vector<std::string> files = OutputFiles(c);
        if (success) {
            CheckOutputs(c, files);
        }
        const std::string ending = name.size() >= 4 ? name.substr(name.size() - 4) : name;
        for (const std::string& file : files) {
            if (file.size() < ending.size() || file.compare(file.size() - ending.size(), ending.size(), ending) != 0) {
                Fail(file, "a temporary file was left behind");
            }
        }
    }
    std::fflush(stdout);
    // Nothing of this input may stay allocated: libFuzzer runs an input again, looking
    // for leaks, whenever it ends with more allocations than frees.
    sim::Reset();
    sim::GetState() = sim::State{};
    return 0;
}
