// The one door to the outside world. Every device-node and shell access of the tool goes
// through these calls, so the same code links either against the real system
// (seam_posix.cpp, the avrig binary) or against the simulated target (sim/, avrig-sim).
#pragma once

#include <sys/stat.h>

#include <cstdint>

// open(2): returns a descriptor, or -1 with errno set.
int SeamOpen(const char* path, int flags);

// close(2): returns 0, or -1 with errno set.
int SeamClose(int fd);

// ioctl(2). `arg` is the request's number, or the address of its record; requests whose
// code says "no payload" (direction bits 31..29 == 1) are issued without it.
// Returns what ioctl returns (-1 with errno set on failure).
int SeamIoctl(int fd, uint32_t code, uintptr_t arg);

// system(3): hands a command line to the shell; returns what system returns.
int SeamSystem(const char* command);

// lstat(2) of `path` when `fd` is -1, else fstat(2) of the node open as `fd`: 0, or -1
// with errno set. The memory node is judged by it before it is opened, and again after.
int SeamStat(const char* path, int fd, struct stat* info);

// mmap(2): `length` bytes of the node open as `fd` from byte `offset` on, read-only and
// shared. Returns the mapping's first byte, or nullptr with errno set.
const void* SeamMap(int fd, uint32_t offset, uint32_t length);

// munmap(2) of what SeamMap returned; 0, or -1 with errno set.
int SeamUnmap(const void* address, uint32_t length);
