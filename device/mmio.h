// Register and frame-memory access through the register-access driver: one 32-bit word
// per request. Results: 1 = the request(s) were issued, 0 = the device is not open.
#pragma once

#include <cstdint>

constexpr const char* kMmioDebugDevice = "/dev/zormmio-dbg";
constexpr const char* kMmioDevice = "/dev/zormmio";

constexpr uint32_t MMIO_REG_READ = 0xc0086b00;
constexpr uint32_t MMIO_REG_WRITE = 0xc0086b01;

struct MmioRegRequest {
    uint32_t uiAddr;
    uint32_t uiValue;
};
static_assert(sizeof(MmioRegRequest) == 8, "MmioRegRequest is the driver's 8-byte record");

// The register-access device's descriptor; -1 while it is not open.
extern int fd;

int MmioOpen();
int MmioClose();
int RegReadWord(uint32_t address, uint32_t* value);
int RegReadByte(uint32_t address, uint8_t* value);
// Reads `bytes` of memory from `address` on into `buffer`: one read request per 32-bit
// word, each word stored least significant byte first, so the buffer holds the memory's
// bytes in address order (a last partial word stores only the bytes that fit). A refused
// read stores zeros. Returns 0 without touching the buffer when the device is not open.
int RegReadLine(uint32_t address, uint8_t* buffer, uint32_t bytes);
int RegWriteWord(uint32_t address, const uint32_t* value);
int RegWriteByte(uint32_t address, const uint8_t* value);
