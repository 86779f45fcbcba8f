#include "device/mmio.h"

#include <fcntl.h>

#include "device/seam.h"

int fd = -1;

namespace {

// A refused read leaves the record as we filled it, so it delivers 0 rather than
// whatever was on the stack. Returns whether the driver accepted the request.
bool IssueRead(MmioRegRequest* request) {
    return SeamIoctl(fd, MMIO_REG_READ, reinterpret_cast<uintptr_t>(request)) != -1;
}

}  // namespace

int MmioOpen() {
    fd = SeamOpen(kMmioDebugDevice, O_RDWR);
    if (fd == -1) {
        fd = SeamOpen(kMmioDevice, O_RDWR);
    }
    return fd;
}

int MmioClose() {
    if (fd == -1) {
        return -1;
    }
    const int result = SeamClose(fd);
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

int RegWriteWord(uint32_t address, const uint32_t* value) {
    if (fd == -1) {
        return 0;
    }
    MmioRegRequest request{address, *value};
    SeamIoctl(fd, MMIO_REG_WRITE, reinterpret_cast<uintptr_t>(&request));
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
    SeamIoctl(fd, MMIO_REG_WRITE, reinterpret_cast<uintptr_t>(&request));
    return 1;
}
