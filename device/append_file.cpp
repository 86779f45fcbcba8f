#include "device/append_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "device/path_policy.h"

namespace {

struct Appended {
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
    const char* what = nullptr;
};

// The trace and the simulated target's log, with room to spare.
Appended g_appended[4];

}  // namespace

// The node at `path` is judged before it is opened, so a device refused is never opened:
// opening some acts (a watchdog starts). A new file is created exclusively, so nothing
// planted at the name after the lstat is opened in its place.
int OpenAppendFile(const char* path, const char* what, const char** reason) {
    struct stat before {};
    const bool present = lstat(path, &before) == 0;
    *reason = present ? PathRefusal(before, Rule::kLines) : errno != ENOENT ? std::strerror(errno) : nullptr;
    if (*reason != nullptr) {
        return -1;
    }
    // Non-blocking, so a FIFO swapped in fails at once (ENXIO) or opens without waiting.
    const int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const int fd = open(path, present ? flags : flags | O_CREAT | O_EXCL, 0644);
    if (fd == -1) {
        *reason = std::strerror(errno);
        return -1;
    }
    Appended* slot = nullptr;
    for (Appended& entry : g_appended) {
        slot = slot == nullptr && entry.what == nullptr ? &entry : slot;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        *reason = std::strerror(errno);
    } else if (present && (info.st_dev != before.st_dev || info.st_ino != before.st_ino)) {
        *reason = kSwapped;
    } else if ((*reason = PathRefusal(info, Rule::kLines)) == nullptr && S_ISCHR(info.st_mode) &&
               !Numbered(info.st_rdev, 1, 3) && isatty(fd) == 0) {
        *reason = kNotTerminal;  // isatty confirms what the numbers said
    } else if (*reason == nullptr && fcntl(fd, F_SETFL, O_APPEND) != 0) {
        *reason = std::strerror(errno);  // blocking again for the writes
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
