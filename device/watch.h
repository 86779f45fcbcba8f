// Trace and record: what the tool asked the devices and the shell, and what came back.
// The tool's device and shell calls go through the Device* calls below; while neither
// AVRIG_TRACE nor AVRIG_RECORD is set they are the seam's calls and one flag test. The
// same code runs in avrig and avrig-sim, so a board's trace reads like a simulated log.
#pragma once

#include <cstdint>

#include "device/mmio.h"
#include "device/seam.h"

// True while a trace or a record is being written.
extern bool g_watching;

// Reads AVRIG_TRACE, AVRIG_TRACE_MMIO and AVRIG_RECORD and opens what they name. A
// trace file or record folder that cannot be opened: one line on standard error and
// false, before any device is touched. `argc`/`argv` go into the record's first lines.
bool WatchStart(int argc, char** argv);

// Closes the trace and finishes the record; nothing is watched after it. False when the
// trace or the record could not be written whole (one line on standard error said so).
bool WatchFinish();

int WatchOpen(const char* path, int flags);
int WatchClose(int fd);
int WatchIoctl(int fd, uint32_t code, uintptr_t arg);
int WatchSystem(const char* command);

// A frame-memory word read for RegReadLine: traced as any read, recorded as memory
// rather than as a register.
int WatchFrameRead(int fd, MmioRegRequest* request);

// The memory node's mappings: each map and unmap traced with its physical offset and
// length, as the simulated target logs them.
const void* WatchMap(int fd, uint32_t offset, uint32_t length);
int WatchUnmap(int fd, const void* address, uint32_t offset, uint32_t length);

// A frame-memory word loaded from a mapping: recorded as memory, not traced (the trace's
// map line says where the frame came from).
void WatchMappedWord(uint32_t address, uint32_t value);

// What AVRIG_MEM opened and why its mapping was not used, for the record: so a replay
// takes the same road.
void WatchMemoryNode(const char* path, bool characterDevice);
void WatchMapRefused(int error);
void WatchMappingDiffers(uint32_t address, uint32_t value);

inline int DeviceOpen(const char* path, int flags) {
    return g_watching ? WatchOpen(path, flags) : SeamOpen(path, flags);
}
inline int DeviceClose(int fd) { return g_watching ? WatchClose(fd) : SeamClose(fd); }
inline int DeviceIoctl(int fd, uint32_t code, uintptr_t arg) {
    return g_watching ? WatchIoctl(fd, code, arg) : SeamIoctl(fd, code, arg);
}
inline int DeviceSystem(const char* command) {
    return g_watching ? WatchSystem(command) : SeamSystem(command);
}
inline const void* DeviceMap(int fd, uint32_t offset, uint32_t length) {
    return g_watching ? WatchMap(fd, offset, length) : SeamMap(fd, offset, length);
}
inline int DeviceUnmap(int fd, const void* address, uint32_t offset, uint32_t length) {
    return g_watching ? WatchUnmap(fd, address, offset, length) : SeamUnmap(address, length);
}
