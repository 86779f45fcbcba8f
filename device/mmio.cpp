#include "device/mmio.h"

#include <fcntl.h>

#include "device/watch.h"
#include "device/words.h"

int fd = -1;

namespace {

// A refused read leaves the record as we filled it, so it delivers 0 rather than
// whatever was on the stack. Returns whether the driver accepted the request.
bool IssueRead(MmioRegRequest* request) {
    return DeviceIoctl(fd, MMIO_REG_READ, reinterpret_cast<uintptr_t>(request)) != -1;
}

}  // namespace

int MmioOpen() {
    // Close-on-exec: the capture runs a shell command, which must not inherit the device.
    fd = DeviceOpen(kMmioDebugDevice, O_RDWR | O_CLOEXEC);
    if (fd == -1) {
        fd = DeviceOpen(kMmioDevice, O_RDWR | O_CLOEXEC);
    }
    return fd;
}

int MmioClose() {
    if (fd == -1) {
        return -1;
    }
    const int result = DeviceClose(fd);
    fd = -1;  // never act on a descriptor that is gone
    return result;
}

int RegReadWord(uint32_t address, uint32_t* value) {
    if (fd == -1) {
        return 0;
    }
    MmioRegRequest request{address, 0};
    IssueRead(&request);
    *value = request.uiValue;
    return 1;
}

int RegReadByte(uint32_t address, uint8_t* value) {
    if (fd == -1) {
        return 0;
    }
    MmioRegRequest request{address & 0xfffffffcu, 0};
    IssueRead(&request);
    *value = static_cast<uint8_t>(request.uiValue >> (8u * (address & 3u)));
    return 1;
}

namespace {

// The same reads, each one traced or recorded; kept apart so that the plain loop below
// tests for watching once a line, not once a word.
void ReadLineWatched(int device, uint32_t address, uint8_t* buffer, uint32_t bytes) {
    MmioRegRequest request{address, 0};
    for (uint32_t offset = 0; offset < bytes; offset += 4u) {
        request.uiAddr = address + offset;
        request.uiValue = 0;
        WatchFrameRead(device, &request);
        StoreWordBytes(buffer + offset, request.uiValue, bytes - offset < 4u ? bytes - offset : 4u);
    }
}

// One read request per word from `address` on, each word stored at out, out + 4, ... up to
// `end`. With kAligned `out` is word-aligned: a core without cheap unaligned stores then
// stores each word at once.
template <bool kAligned>
void ReadWords(int device, MmioRegRequest* request, uint32_t address, uint8_t* out, const uint8_t* end) {
    const uintptr_t arg = reinterpret_cast<uintptr_t>(request);
#pragma GCC unroll 2
    for (; out != end; out += 4, address += 4u) {
        request->uiAddr = address;
        request->uiValue = 0;  // what a refused read delivers
        SeamIoctl(device, MMIO_REG_READ, arg);
        StoreWord(kAligned ? static_cast<uint8_t*>(__builtin_assume_aligned(out, 4)) : out, request->uiValue);
    }
}

}  // namespace

int RegReadLine(uint32_t address, uint8_t* buffer, uint32_t bytes) {
    const int device = fd;
    if (device == -1) {
        return 0;
    }
    if (g_watching) {
        ReadLineWatched(device, address, buffer, bytes);
        return 1;
    }
    // Frame lines are read this way: one record for the whole line and the device
    // checked once, still one request per word.
    MmioRegRequest request{address, 0};
    const uintptr_t arg = reinterpret_cast<uintptr_t>(&request);
    const uint8_t* end = buffer + (bytes & ~3u);
    if ((reinterpret_cast<uintptr_t>(buffer) & 3u) == 0) {
        ReadWords<true>(device, &request, address, buffer, end);
    } else {
        ReadWords<false>(device, &request, address, buffer, end);
    }
    const uint32_t whole = bytes / 4u;
    const uint32_t rest = bytes % 4u;
    if (rest != 0) {
        request.uiAddr = address + 4u * whole;
        request.uiValue = 0;
        SeamIoctl(device, MMIO_REG_READ, arg);
        StoreWordBytes(buffer + 4u * whole, request.uiValue, rest);
    }
    return 1;
}

int RegWriteWord(uint32_t address, const uint32_t* value) {
    if (fd == -1) {
        return 0;
    }
    MmioRegRequest request{address, *value};
    DeviceIoctl(fd, MMIO_REG_WRITE, reinterpret_cast<uintptr_t>(&request));
    return 1;
}

int RegWriteByte(uint32_t address, const uint8_t* value) {
    if (fd == -1) {
        return 0;
    }
    MmioRegRequest request{address & 0xfffffffcu, 0};
    // Writing back after a refused read would set the other three lanes to a value
    // nobody read, so the word is left alone then.
    if (!IssueRead(&request)) {
        return 1;
    }
    const uint32_t shift = 8u * (address & 3u);
    request.uiValue = (request.uiValue & ~(0xffu << shift)) | (static_cast<uint32_t>(*value) << shift);
    DeviceIoctl(fd, MMIO_REG_WRITE, reinterpret_cast<uintptr_t>(&request));
    return 1;
}
