// The one door to the outside world. Every device-node and shell access of the tool goes
// through these four calls, so the same code links either against the real system
// (seam_posix.cpp, the avrig binary) or against the simulated target (sim/, avrig-sim).
#pragma once

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
