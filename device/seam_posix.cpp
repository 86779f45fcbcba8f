// The seam against the real system calls: linked into the production avrig only.
#include "device/seam.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

int SeamOpen(const char* path, int flags) { return open(path, flags); }

int SeamClose(int fd) { return close(fd); }

int SeamIoctl(int fd, uint32_t code, uintptr_t arg) {
    if ((code >> 29) == 1u) {  // direction "none": the driver expects no argument
        return ioctl(fd, static_cast<unsigned long>(code));
    }
    return ioctl(fd, static_cast<unsigned long>(code), arg);
}

int SeamSystem(const char* command) { return std::system(command); }

int SeamStat(const char* path, int fd, struct stat* info) { return fd == -1 ? lstat(path, info) : fstat(fd, info); }

const void* SeamMap(int fd, uint32_t offset, uint32_t length) {
    void* address = mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, static_cast<off_t>(offset));
    return address == MAP_FAILED ? nullptr : address;
}

int SeamUnmap(const void* address, uint32_t length) { return munmap(const_cast<void*>(address), length); }
