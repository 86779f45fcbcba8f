#include "device/mmio.h"

#include <fcntl.h>

#include <cstring>

#include "device/watch.h"

int fd = -1;

namespace {

// A refused read leaves the record as we filled it, so it delivers 0 rather than
// whatever was on the stack. Returns whether the driver accepted the request.
bool IssueRead(MmioRegRequest* request) {
    return DeviceIoctl(fd, MMIO_REG_READ, reinterpret_cast<uintptr_t>(request)) != -1;
}

}  // namespace

int MmioOpen() {
    fd = DeviceOpen(kMmioDebugDevice, O_RDWR);
    if (fd == -1) {
        fd = DeviceOpen(kMmioDevice, O_RDWR);
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

void StoreLittleEndian(uint8_t* out, const uint32_t& word) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::memcpy(out, &word, 4);
#else
    out[0] = static_cast<uint8_t>(word);
    out[1] = static_cast<uint8_t>(word >> 8);
    out[2] = static_cast<uint8_t>(word >> 16);
    out[3] = static_cast<uint8_t>(word >> 24);
#endif
}

// The same reads, each one traced or recorded; kept apart so that the plain loop below
// tests for watching once a line, not once a word.
void ReadLineWatched(int device, uint32_t address, uint8_t* buffer, uint32_t bytes) {
    MmioRegRequest request{address, 0};
    for (uint32_t offset = 0; offset < bytes; offset += 4u) {
        request.uiAddr = address + offset;
        request.uiValue = 0;
        WatchFrameRead(device, &request);
        const uint32_t count = bytes - offset < 4u ? bytes - offset : 4u;
        for (uint32_t k = 0; k < count; ++k) {
            buffer[offset + k] = static_cast<uint8_t>(request.uiValue >> (8u * k));
        }
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
    // Pointer and address step together, so the loop costs little beside the request.
    uint8_t* out = buffer;
    uint8_t* const end = buffer + (bytes & ~3u);
    for (uint32_t at = address; out != end; out += 4, at += 4u) {
        request.uiAddr = at;
        request.uiValue = 0;
        SeamIoctl(device, MMIO_REG_READ, arg);
        StoreLittleEndian(out, request.uiValue);
    }
    const uint32_t whole = bytes / 4u;
    const uint32_t rest = bytes % 4u;
    if (rest != 0) {
        request.uiAddr = address + 4u * whole;
        request.uiValue = 0;
        SeamIoctl(device, MMIO_REG_READ, arg);
        for (uint32_t k = 0; k < rest; ++k) {
            buffer[4u * whole + k] = static_cast<uint8_t>(request.uiValue >> (8u * k));
        }
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
