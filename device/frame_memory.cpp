// The two roads to frame memory. Addresses and geometry come from the driver and the
// registers, so nothing here maps a range it has not bounded: at most line offset x height
// bytes of a plane, word-aligned, wholly inside the 512 MiB physical window.
#include "device/frame_memory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device/mmio.h"
#include "device/path_policy.h"
#include "device/seam.h"
#include "device/watch.h"
#include "device/words.h"
#include "report/report.h"

namespace {

enum class Road : uint8_t { kUndecided, kDriver, kMapped };

struct Mapped {
    const uint8_t* base;  // physical `offset`
    uint32_t offset;
    uint32_t length;
    uint32_t first;  // the used bytes, physical
    uint32_t span;
};

Road g_road = Road::kUndecided;
bool g_checked = false;
int g_node = -1;
const char* g_path = nullptr;
Mapped g_maps[kMaxFramePlanes];
size_t g_mapCount = 0;

void UnmapAll() {
    for (size_t i = 0; i < g_mapCount; ++i) {
        DeviceUnmap(g_node, g_maps[i].base, g_maps[i].offset, g_maps[i].length);
    }
    g_mapCount = 0;
}

void CloseNode() {
    UnmapAll();
    if (g_node != -1) {
        DeviceClose(g_node);
        g_node = -1;
    }
}

// The one line that says why, then the driver's road for the rest of the capture.
void FallBack(const char* format, ...) __attribute__((format(printf, 1, 2)));
void FallBack(const char* format, ...) {
    char reason[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
    CloseNode();
    g_road = Road::kDriver;
    Complain("AVRIG_MEM=%s: %s; frame memory is read through the register driver", Printable(g_path).c_str(),
             reason);
}

void OpenNode() {
    const char* path = std::getenv("AVRIG_MEM");
    if (path == nullptr || *path == '\0') {
        g_road = Road::kDriver;
        return;
    }
    g_path = path;
    // Judged before it is opened: only the physical memory device is, since opening another
    // node may act (a watchdog starts), and one that reads as zeros (/dev/zero) could pass
    // the check and give black frames.
    struct stat node {};
    if (SeamStat(path, -1, &node) != 0) {
        FallBack("%s", std::strerror(errno));
        return;
    }
    if (g_watching && !S_ISLNK(node.st_mode)) {
        WatchMemoryNode(path, S_ISCHR(node.st_mode));
    }
    const char* refused = Refusal(node, Rule::kMemory, 0, false);
    if (refused != nullptr) {
        FallBack("%s", refused);
        return;
    }
    // O_SYNC: on MIPS the kernel then maps the pages uncached, so every load reaches the
    // memory as the driver's reads do; a cached view could show lines the capture block
    // has written since. The rest is root's caution: no link followed, no terminal taken,
    // no wait on a FIFO planted at the name.
    g_node = DeviceOpen(path, O_RDONLY | O_SYNC | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK);
    if (g_node == -1) {
        const int error = errno;
        FallBack("%s", error == ELOOP ? kLink : std::strerror(error));
        return;
    }
    struct stat opened {};
    if (SeamStat(path, g_node, &opened) != 0) {
        FallBack("%s", std::strerror(errno));
        return;
    }
    if (opened.st_dev != node.st_dev || opened.st_ino != node.st_ino || opened.st_rdev != node.st_rdev) {
        FallBack("%s", kSwapped);
        return;
    }
    g_road = Road::kMapped;
}

uint32_t PageSize() {
    const long size = sysconf(_SC_PAGESIZE);
    const bool usable = size > 0 && size <= (1L << 24) && (size & (size - 1)) == 0;
    return usable ? static_cast<uint32_t>(size) : 0;
}

const Mapped* MappingOf(uint32_t address, uint32_t bytes) {
    const uint32_t first = address & kPhysicalMask;
    const uint32_t words = (bytes + 3u) & ~3u;
    for (size_t i = 0; i < g_mapCount; ++i) {
        const Mapped& m = g_maps[i];
        if (first >= m.first && first - m.first <= m.span && words <= m.span - (first - m.first)) {
            return &m;
        }
    }
    return nullptr;
}

const volatile uint32_t* WordAt(const Mapped& m, uint32_t address) {
    return reinterpret_cast<const volatile uint32_t*>(m.base + ((address & kPhysicalMask) - m.offset));
}

// One volatile 32-bit load per word, the words the driver's road would request: the
// compiler may neither widen, merge nor repeat them.
template <bool kAligned>
void LoadWords(const volatile uint32_t* word, uint8_t* out, const uint8_t* end) {
#pragma GCC unroll 8
    for (; out != end; out += 4, ++word) {
        StoreWord(kAligned ? static_cast<uint8_t*>(__builtin_assume_aligned(out, 4)) : out, *word);
    }
}

// A watched line: each word is handed to the watch as it is read. Out of line, so that
// the plain road below, run once a line, saves fewer registers.
__attribute__((noinline)) void LoadWatchedLine(const volatile uint32_t* word, uint32_t address, uint8_t* buffer,
                                               uint32_t bytes) {
    for (uint32_t offset = 0; offset < bytes; offset += 4u, ++word) {
        const uint32_t value = *word;
        WatchMappedWord(address + offset, value);
        StoreWordBytes(buffer + offset, value, bytes - offset < 4u ? bytes - offset : 4u);
    }
}

void LoadLine(const Mapped& m, uint32_t address, uint8_t* buffer, uint32_t bytes) {
    const volatile uint32_t* word = WordAt(m, address);
    if (g_watching) {
        LoadWatchedLine(word, address, buffer, bytes);
        return;
    }
    const uint8_t* end = buffer + (bytes & ~3u);
    if ((reinterpret_cast<uintptr_t>(buffer) & 3u) == 0) {
        LoadWords<true>(word, buffer, end);
    } else {
        LoadWords<false>(word, buffer, end);
    }
    if ((bytes & 3u) != 0) {
        StoreWordBytes(buffer + (bytes & ~3u), word[bytes / 4u], bytes & 3u);
    }
}

// Words of each plane read both ways before the mapping is trusted: on a diagonal from the
// plane's first used word to its last, each on a line and at a place in the line of its
// own where the plane has that many, so a mapping that shows other memory (a node full of
// zeros, another window) is caught by more than its ends.
constexpr uint32_t kCheckedWords = 8;

// The checked words of every plane, read both ways. False after the fallback line.
bool MappingAgrees(const FramePlane* planes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const FramePlane& plane = planes[i];
        if (plane.height == 0 || plane.fetch == 0) {
            continue;
        }
        const uint32_t lastWord = (plane.fetch + 3u) / 4u - 1u;
        uint32_t previous = 0;
        for (uint32_t k = 0; k < kCheckedWords; ++k) {
            const uint32_t line = static_cast<uint32_t>(uint64_t{plane.height - 1u} * k / (kCheckedWords - 1u));
            const uint32_t word = static_cast<uint32_t>(uint64_t{lastWord} * k / (kCheckedWords - 1u));
            const uint32_t address = plane.address + line * plane.lineOffset + word * 4u;
            if (k != 0 && address == previous) {
                continue;  // a plane of few lines or words: each word once
            }
            previous = address;
            uint32_t driver = 0;
            RegReadWord(address, &driver);
            const Mapped* m = MappingOf(address, 4);
            const uint32_t mapped = m != nullptr ? *WordAt(*m, address) : ~driver;
            if (mapped != driver) {
                if (g_watching) {
                    WatchMappingDiffers(address, mapped);
                }
                FallBack("the mapping shows 0x%08x at 0x%08x where the driver reads 0x%08x",
                         static_cast<unsigned>(mapped), static_cast<unsigned>(address), static_cast<unsigned>(driver));
                return false;
            }
        }
    }
    return true;
}

}  // namespace

const char* PlaneMappingOf(const FramePlane& plane, uint32_t pageSize, PlaneMapping* mapping) {
    if (plane.height == 0 || plane.fetch == 0) {
        return "it uses no word";
    }
    if (((plane.address | plane.lineOffset) & 3u) != 0) {
        return "its lines do not start on a word";
    }
    const uint64_t fetched = (uint64_t{plane.fetch} + 3u) & ~uint64_t{3};
    const uint64_t span = uint64_t{plane.lineOffset} * (plane.height - 1u) + fetched;
    if (span > uint64_t{plane.lineOffset} * plane.height) {
        return "its lines are longer than their line offset";
    }
    const uint64_t first = plane.address & kPhysicalMask;
    const uint64_t page = pageSize;
    const uint64_t start = first & ~(page - 1u);
    const uint64_t end = (first + span + page - 1u) & ~(page - 1u);
    if (first + span > kPhysicalWindow || end > kPhysicalWindow) {
        return "it reaches past the 512 MiB physical window";
    }
    *mapping = PlaneMapping{static_cast<uint32_t>(start), static_cast<uint32_t>(end - start),
                            static_cast<uint32_t>(first), static_cast<uint32_t>(span)};
    return nullptr;
}

bool FrameMemoryMap(const FramePlane* planes, size_t count) {
    UnmapAll();
    if (g_road == Road::kUndecided) {
        OpenNode();
    }
    if (g_road != Road::kMapped) {
        return false;
    }
    const uint32_t pageSize = PageSize();
    for (size_t i = 0; i < count && i < kMaxFramePlanes; ++i) {
        const FramePlane& plane = planes[i];
        if (plane.height == 0 || plane.fetch == 0) {
            continue;  // nothing of it is read
        }
        PlaneMapping range{};
        const char* refused = pageSize == 0 ? "the page size is unknown" : PlaneMappingOf(plane, pageSize, &range);
        if (refused != nullptr) {
            FallBack("%u lines of %u bytes from 0x%08x, %u apart, are not mapped: %s",
                     static_cast<unsigned>(plane.height), static_cast<unsigned>(plane.fetch),
                     static_cast<unsigned>(plane.address), static_cast<unsigned>(plane.lineOffset), refused);
            return false;
        }
        const void* base = DeviceMap(g_node, range.offset, range.length);
        if (base == nullptr) {
            const int error = errno;
            if (g_watching) {
                WatchMapRefused(error);
            }
            FallBack("cannot map 0x%x bytes at 0x%08x: %s", static_cast<unsigned>(range.length),
                     static_cast<unsigned>(range.offset), std::strerror(error));
            return false;
        }
        g_maps[g_mapCount++] =
            Mapped{static_cast<const uint8_t*>(base), range.offset, range.length, range.first, range.span};
    }
    if (!g_checked) {
        if (!MappingAgrees(planes, count)) {
            return false;
        }
        g_checked = true;
    }
    return true;
}

void FrameMemoryUnmap() { UnmapAll(); }

void FrameMemoryClose() {
    CloseNode();
    g_road = Road::kUndecided;
    g_checked = false;
    g_path = nullptr;
}

int FrameMemoryReadLine(uint32_t address, uint8_t* buffer, uint32_t bytes) {
    if (g_mapCount != 0) {
        // Every line of a mapped frame lies in its planes' mappings; the driver's road
        // below is only for frames that were not mapped.
        const Mapped* m = MappingOf(address, bytes);
        if (m != nullptr) {
            LoadLine(*m, address, buffer, bytes);
            return 1;
        }
    }
    return RegReadLine(address, buffer, bytes);
}
