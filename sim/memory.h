// The simulated target's memory: one space of 32-bit words keyed by physical address
// (ADDRESS & 0x1fffffff), so the uncached view, the cached view and the register
// addresses reach the same words.
//
// Two kinds of content, consulted in this order:
//   1. explicit words (`word`, `load`, register programming, runtime writes), kept in
//      4 KiB pages found through a two-level page table, whose blocks are made only
//      where words are written (a flat table for all of physical space would be 1 MiB
//      to make and free for every target);
//   2. computed buffers (pattern frame planes, the JPEG buffer): their bytes are made
//      from the address when read, a line at a time, so a long capture needs no storage.
// A computed buffer added later hides explicit words already in its area; explicit words
// written later hide the buffer. Where computed buffers overlap, the later one wins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace sim {

constexpr uint32_t kPhysMask = 0x1fffffffu;
constexpr uint32_t kPhysSpace = 0x20000000u;  // bytes of physical space
constexpr uint32_t kPageBytes = 4096;
constexpr uint32_t kPageWords = kPageBytes / 4;
constexpr uint32_t kPageCount = kPhysSpace / kPageBytes;

enum class Layout : uint8_t { kYuv444C10, kYuv444C8, kYuv422C10, kYuv422C8 };

enum class Plane : uint8_t { kLuma, kChroma, kJpeg };

// A data line fault planted in every sample of one component as frame memory stores it
// (10 bits, or the byte of 8-bit chroma), packed in one word: kind (0 none, 1 stuck at 0,
// 2 stuck at 1, 3 bridged: the bit takes the other bit's value), component (0 Y, 1 Cb,
// 2 Cr), bit, other bit; one byte each from the least significant.
enum FaultKind : uint32_t { kNoFault, kStuckAt0, kStuckAt1, kBridged };
constexpr uint32_t PackFault(uint32_t kind, uint32_t component, uint32_t bit, uint32_t other) {
    return kind | component << 8 | bit << 16 | other << 24;
}

// One computed picture plane: `height` lines of `lineOffset` bytes from `base`.
struct ComputedBuffer {
    uint32_t base;        // physical, a multiple of 4
    uint32_t size;        // lineOffset * height, below kPhysSpace
    uint32_t lineOffset;  // a multiple of 4
    uint32_t width;
    uint32_t height;
    uint32_t frame;  // picture number: decides the marker and the frame code
    Plane plane;
    Layout layout;
    uint32_t fault = 0;  // PackFault, 0 for none
};

// Physical range [start, end) whose bytes come from buffers[buffer].
struct Segment {
    uint32_t start;
    uint32_t end;
    uint32_t buffer;
};

struct Page {
    uint32_t words[kPageWords];
    uint32_t present[kPageWords / 32];  // bit set: the word was written
};

constexpr uint32_t kBlockPages = 1024;  // pages per block of the page table: 4 MiB of space
constexpr uint32_t kBlockCount = kPageCount / kBlockPages;

struct PageBlock {
    std::unique_ptr<Page> pages[kBlockPages];
};

// A line made from a computed buffer, kept for every later row with the same content.
struct CachedLine {
    bool used = false;
    Plane plane = Plane::kLuma;
    Layout layout = Layout::kYuv444C10;
    uint32_t width = 0;
    uint32_t lineOffset = 0;
    uint32_t key[3] = {};  // the row's content key (see picture.h)
    uint32_t fault = 0;
    std::vector<uint8_t> bytes;
};

// The physical range that the current line answers for, and the lines made so far.
struct LineCache {
    uint32_t validStart = 0;
    uint32_t validLength = 0;  // 0: nothing answers
    uint32_t byteAtValidStart = 0;
    const uint8_t* bytes = nullptr;
    std::vector<CachedLine> lines;  // reused round robin
    size_t next = 0;
};

struct Memory {
    std::unique_ptr<PageBlock> blocks[kBlockCount];  // null where no word was written
    std::vector<ComputedBuffer> buffers;       // in the order added: later wins
    std::vector<Segment> segments;             // sorted, disjoint
    bool segmentsStale = false;                // buffers added since they were made
    LineCache cache;
};

void MemoryClear(Memory* memory);

// The word at `address` with its two low bits cleared; 0 where nothing was put.
uint32_t MemoryRead(Memory* memory, uint32_t address);

// Stores an explicit word at `address` with its two low bits cleared.
void MemoryWrite(Memory* memory, uint32_t address, uint32_t value);

// Stores `size` bytes from `address` (a multiple of 4) on as explicit little-endian words,
// a last partial word zero-filled; the bytes end within physical space.
void MemoryWriteBytes(Memory* memory, uint32_t address, const uint8_t* bytes, size_t size);

// Adds computed buffers (in priority order, after every buffer already there) and drops
// the explicit words they cover.
void MemoryAddBuffers(Memory* memory, const std::vector<ComputedBuffer>& buffers);

}  // namespace sim
