#include "device/append_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

struct Appended {
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
    const char* what = nullptr;
};

// The trace and the simulated target's log, with room to spare.
Appended g_appended[4];

// Why a file of this kind is no place for the lines; nullptr for a regular file or a
// character device.
const char* RefusedKind(mode_t mode) {
    if (S_ISREG(mode) || S_ISCHR(mode)) {
        return nullptr;
    }
    if (S_ISLNK(mode)) {
        return "it is a link";
    }
    if (S_ISFIFO(mode)) {
        return "it is a FIFO";
    }
    if (S_ISSOCK(mode)) {
        return "it is a socket";
    }
    return S_ISDIR(mode) ? "it is a folder" : "it is not a regular file or a character device";
}

}  // namespace

int OpenAppendFile(const char* path, const char* what, const char** reason) {
    // Non-blocking, so a FIFO fails at once (ENXIO) or opens without waiting for a reader.
    const int fd =
        open(path, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    const int error = errno;
    struct stat info {};
    *reason = nullptr;
    if (fd == -1) {
        // A link fails as ELOOP, a FIFO or socket as ENXIO: name what is there instead.
        *reason = lstat(path, &info) == 0 ? RefusedKind(info.st_mode) : nullptr;
        *reason = *reason != nullptr ? *reason : std::strerror(error);
        return -1;
    }
    Appended* slot = nullptr;
    for (Appended& entry : g_appended) {
        slot = slot == nullptr && entry.what == nullptr ? &entry : slot;
    }
    if (fstat(fd, &info) != 0) {
        *reason = std::strerror(errno);
    } else if (S_ISREG(info.st_mode) && info.st_nlink > 1) {
        // O_NOFOLLOW stops a symbolic link, not a hard link planted to a file of root's.
        *reason = "it has other names (hard links)";
    } else if (S_ISREG(info.st_mode) && info.st_uid != geteuid()) {
        *reason = "it belongs to another user";
    } else if ((*reason = RefusedKind(info.st_mode)) == nullptr && fcntl(fd, F_SETFL, O_APPEND) != 0) {
        *reason = std::strerror(errno);  // blocking again for the writes, it was not
    }
    if (*reason == nullptr && slot == nullptr) {
        *reason = "too many files are appended to at once";
    }
    if (*reason != nullptr) {
        close(fd);
        return -1;
    }
    *slot = Appended{fd, info.st_dev, info.st_ino, what};
    return fd;
}

void ForgetAppendFile(int fd) {
    for (Appended& entry : g_appended) {
        if (entry.what != nullptr && entry.fd == fd) {
            entry = Appended{};
        }
    }
}

const char* AppendedFileAt(dev_t device, ino_t inode) {
    for (const Appended& entry : g_appended) {
        if (entry.what != nullptr && entry.device == device && entry.inode == inode) {
            return entry.what;
        }
    }
    return nullptr;
}
