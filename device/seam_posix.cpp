// The seam against the real system calls: linked into the production avrig only.
#include "device/seam.h"

#include <fcntl.h>
#include <sys/ioctl.h>
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
