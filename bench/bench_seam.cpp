// A seam that answers every register-access read at once from a few register values and
// a pattern computed from the address, so the writers' timing holds almost nothing else.
#include "bench/bench_seam.h"

#include <sys/sysmacros.h>

#include <cstring>
#include <map>
#include <vector>

#include "device/frame_memory.h"
#include "device/mmio.h"
#include "device/seam.h"

namespace {

constexpr int kMmioFd = 3;
constexpr int kMemoryFd = 4;
std::map<uint32_t, uint32_t> g_registers;  // by address with the two low bits cleared
uint64_t g_reads = 0;

// Varied samples, so no branch of the converters is always taken; the same word through
// either road, the mapping holding the uncached view's words.
uint32_t Sample(uint32_t address) {
    address = (address & kPhysicalMask) | 0xa0000000u;
    return (address * 2654435761u) ^ (address >> 7);
}

}  // namespace

void BenchSetRegister(uint32_t address, uint32_t value) { g_registers[address & ~3u] = value; }

uint64_t BenchReads() { return g_reads; }

int SeamOpen(const char* path, int) {
    if (std::strcmp(path, kMemoryDevice) == 0) {
        return kMemoryFd;
    }
    return std::strcmp(path, kMmioDevice) == 0 ? kMmioFd : -1;
}

int SeamClose(int) { return 0; }

int SeamIoctl(int handle, uint32_t code, uintptr_t arg) {
    if (handle != kMmioFd || code != MMIO_REG_READ) {
        return -1;
    }
    auto* request = reinterpret_cast<MmioRegRequest*>(arg);
    ++g_reads;
    const uint32_t address = request->uiAddr;
    if ((address >> 24) == 0xbe) {
        const auto found = g_registers.find(address & ~3u);
        request->uiValue = found == g_registers.end() ? 0 : found->second;
        return 0;
    }
    request->uiValue = Sample(address);
    return 0;
}

int SeamSystem(const char*) { return 0; }

int SeamStat(const char* path, int handle, struct stat* info) {
    *info = {};
    const bool memory = handle == -1 ? std::strcmp(path, kMemoryDevice) == 0 : handle == kMemoryFd;
    info->st_mode = memory ? S_IFCHR | 0640 : S_IFREG | 0644;
    info->st_rdev = memory ? makedev(1, 1) : 0;
    return 0;
}

const void* SeamMap(int, uint32_t offset, uint32_t length) {
    auto* words = new uint32_t[length / 4u];
    for (uint32_t k = 0; k < length / 4u; ++k) {
        words[k] = Sample(offset + 4u * k);
    }
    return words;
}

int SeamUnmap(const void* address, uint32_t) {
    delete[] static_cast<const uint32_t*>(address);
    return 0;
}
