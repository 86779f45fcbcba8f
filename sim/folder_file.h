// Reading the files a target names: each one a regular file found beneath the target
// file's folder, so a record copied from someone else's board reaches nothing else.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

// A descriptor closed when it goes out of scope (-1: none).
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor();
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void reset(int fd);

private:
    int fd_;
};

// Opens `name` (relative, components separated by '/') beneath the folder open at
// `folder` without following a link in any component: -1 with errno set (ELOOP for a
// link). Close-on-exec and non-blocking, so a FIFO planted there does not hang the open.
int OpenBeneath(int folder, const std::string& name);

enum class ReadStatus { kRead, kNotRegular, kTooBig, kShort, kFailed };

// Up to `length` bytes from `offset` of the regular file open at `fd`, or with `whole`
// the file from `offset` to its end. Anything past `limit` bytes is kTooBig, found from
// the file's size before reading where it can be; kShort: the file ended before `length`
// bytes; kFailed leaves errno set.
ReadStatus ReadRegular(int fd, uint64_t offset, uint64_t length, bool whole, uint64_t limit, std::string* bytes);

}  // namespace sim
