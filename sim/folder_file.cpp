#include "sim/folder_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace sim {

Descriptor::~Descriptor() { reset(-1); }

void Descriptor::reset(int fd) {
    if (fd_ >= 0) {
        close(fd_);
    }
    fd_ = fd;
}

int OpenBeneath(int folder, const std::string& name) {
    // One component at a time: O_NOFOLLOW alone guards only the last one.
    Descriptor current;
    int at = folder;
    size_t start = 0;
    for (;;) {
        const size_t slash = name.find('/', start);
        const std::string part = name.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (slash == std::string::npos) {
            return openat(at, part.empty() ? "." : part.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        }
        start = slash + 1;
        if (part.empty() || part == ".") {
            continue;
        }
        const int next = openat(at, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat info {};
        if (next < 0 && errno == ENOTDIR && fstatat(at, part.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(info.st_mode)) {
            errno = ELOOP;  // a link to a folder fails as "not a folder" under O_DIRECTORY
        }
        if (next < 0) {
            return -1;
        }
        current.reset(next);
        at = next;
    }
}

ReadStatus ReadRegular(int fd, uint64_t offset, uint64_t length, bool whole, uint64_t limit, std::string* bytes) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return ReadStatus::kFailed;
    }
    if (!S_ISREG(info.st_mode)) {
        return ReadStatus::kNotRegular;
    }
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    if (whole && size > offset && size - offset > limit) {
        return ReadStatus::kTooBig;
    }
    if (offset != 0 && lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        return ReadStatus::kFailed;
    }
    // The size can change while we read: the limit still holds then.
    const uint64_t wanted = whole ? limit + 1 : length;
    bytes->clear();
    bytes->reserve(static_cast<size_t>(whole ? std::min(size - std::min(size, offset), limit) : length));
    char chunk[65536];
    while (bytes->size() < wanted) {
        const uint64_t left = wanted - bytes->size();
        const ssize_t got = read(fd, chunk, left < sizeof chunk ? static_cast<size_t>(left) : sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return ReadStatus::kFailed;
        }
        if (got == 0) {
            break;
        }
        bytes->append(chunk, static_cast<size_t>(got));
    }
    if (bytes->size() > limit) {
        return ReadStatus::kTooBig;
    }
    return !whole && bytes->size() < length ? ReadStatus::kShort : ReadStatus::kRead;
}

}  // namespace sim
