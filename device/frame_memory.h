// Frame memory, read one of two ways: one 32-bit word per request through the
// register-access driver (device/mmio.h), or, when AVRIG_MEM names a memory node (normally
// /dev/mem), with one uncached load per word from a read-only mapping of the frame's
// planes. Registers always go through the driver. A frame is read one way or the other,
// never both; the mapping is trusted only once its words matched the driver's.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr const char* kMemoryDevice = "/dev/mem";

// The chip decodes the low 29 address bits: a mapping reaches physical address & this.
constexpr uint32_t kPhysicalMask = 0x1fffffffu;
constexpr uint64_t kPhysicalWindow = 0x20000000u;

// What a frame reads of one plane: the first `fetch` bytes (at most `lineOffset`) of
// `height` lines `lineOffset` apart from `address` on.
struct FramePlane {
    uint32_t address;
    uint32_t lineOffset;
    uint32_t height;
    uint32_t fetch;
};

// The pages a plane's mapping covers: physical [offset, offset + length), and the used
// bytes [first, first + span) within them.
struct PlaneMapping {
    uint32_t offset;
    uint32_t length;
    uint32_t first;
    uint32_t span;
};

// The mapping for `plane` with pages of `pageSize` bytes (a power of two): nullptr, or why
// the plane is not mapped (it uses no word, its lines do not start on a word, they would
// need more than lineOffset x height bytes, or reach past the 512 MiB physical window).
const char* PlaneMappingOf(const FramePlane& plane, uint32_t pageSize, PlaneMapping* mapping);

constexpr size_t kMaxFramePlanes = 2;

// Before a frame is read. Unless AVRIG_MEM is unset or empty: opens the node at the
// capture's first frame, maps the planes and, at that first frame, compares eight words
// spread through each plane, its first and last used among them, with the driver's. Anything refused or unequal prints
// "avrig: AVRIG_MEM=PATH: REASON; frame memory is read through the register driver" once,
// and the capture goes on through the driver. True when this frame is read from the mapping.
bool FrameMemoryMap(const FramePlane* planes, size_t count);

// After the frame: removes its mappings.
void FrameMemoryUnmap();

// After the capture: closes the node; the next capture looks at AVRIG_MEM afresh.
void FrameMemoryClose();

// Reads `bytes` of frame memory from `address` into `buffer` as RegReadLine does, from
// the frame's mapping while there is one. Returns 0, the buffer untouched, when neither
// road can read.
int FrameMemoryReadLine(uint32_t address, uint8_t* buffer, uint32_t bytes);
