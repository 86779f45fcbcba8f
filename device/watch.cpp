// The trace (AVRIG_TRACE) and the hooks of the recorder. Each event is one line in the
// simulated target's log format; what that log has no line for follows on lines that
// begin with two blanks. A request's line is written before the request goes out, so a
// board that hangs in it leaves the request it hung in.
#include "device/watch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "device/append_file.h"
#include "device/record.h"
#include "report/report.h"
#include "device/requests.h"

bool g_watching = false;

namespace {

std::FILE* g_trace = nullptr;
const char* g_tracePath = nullptr;
bool g_traceWhole = true;  // every line written so far reached the file
bool g_traceMmio = false;
bool g_recording = false;

enum class Node : uint8_t { kVip, kMmio, kMemory };

struct Opened {
    int fd = -1;
    Node node = Node::kVip;
    const char* path = nullptr;  // one of the device path constants, or AVRIG_MEM's
    unsigned long long reads = 0;
    unsigned long long writes = 0;
};

// The tool holds at most three nodes at once.
Opened g_opened[4];

// A trace with a hole in it is said once, the moment it happens; the run goes on.
void TraceLost(int error) {
    g_traceWhole = false;
    Complain("the trace %s is incomplete: %s", Printable(g_tracePath).c_str(), std::strerror(error));
}

void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Trace(const char* format, ...) {
    if (g_trace == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::vfprintf(g_trace, format, args);
    va_end(args);
    std::fputc('\n', g_trace);  // line buffered: the line is out before the request
    if (g_traceWhole && std::ferror(g_trace) != 0) {
        TraceLost(errno);
    }
}

void TraceFailure(int error) { Trace("  failed: %s", std::strerror(error)); }

const char* KnownPath(const char* path) {
    for (const char* known : {kVipDevice, kMmioDebugDevice, kMmioDevice}) {
        if (std::strcmp(path, known) == 0) {
            return known;
        }
    }
    return nullptr;
}

Opened* Find(int fd) {
    for (Opened& entry : g_opened) {
        if (entry.path != nullptr && entry.fd == fd) {
            return &entry;
        }
    }
    return nullptr;
}

// Lower-case hex of `size` bytes into `text` (2 * size + 1 bytes).
void Hex(const uint8_t* bytes, uint32_t size, char* text) {
    static const char kDigits[] = "0123456789abcdef";
    for (uint32_t i = 0; i < size; ++i) {
        text[2 * i] = kDigits[bytes[i] >> 4];
        text[2 * i + 1] = kDigits[bytes[i] & 0xf];
    }
    text[2 * size] = '\0';
}

constexpr uint32_t kLargestRecord = 128;

int VipRequestWatched(const Opened& node, uint32_t code, uintptr_t arg) {
    const VipRequest* request = FindVipRequest(code);
    const unsigned shown = static_cast<unsigned>(code);
    const uint32_t size = VipPayloadSize(code);
    uint8_t* record = nullptr;
    uint8_t before[kLargestRecord];
    char hex[2 * kLargestRecord + 1];
    if (request == nullptr) {
        Trace("ioctl %s 0x%08x unknown", node.path, shown);
    } else if (request->arg == VipArg::kValue) {
        Trace("ioctl %s 0x%08x value 0x%08x", node.path, shown, static_cast<unsigned>(arg & 0xffffffffu));
    } else if (request->arg == VipArg::kNone) {
        Trace("ioctl %s 0x%08x none", node.path, shown);
    } else if (arg == 0 || size > kLargestRecord) {
        Trace("ioctl %s 0x%08x record fault", node.path, shown);
    } else {
        record = reinterpret_cast<uint8_t*>(arg);
        std::memcpy(before, record, size);
        Hex(record, size, hex);
        Trace("ioctl %s 0x%08x record %s", node.path, shown, hex);
    }
    if (request != nullptr) {
        Trace("  request %s", request->name);
    }
    const int result = SeamIoctl(node.fd, code, arg);
    const int error = result == -1 ? errno : 0;
    if (result == -1) {
        TraceFailure(error);
    } else if (record != nullptr && std::memcmp(before, record, size) != 0) {
        Hex(record, size, hex);
        Trace("  answer %s", hex);
    }
    if (g_recording) {
        RecordOutcome(code, error);
        if (record != nullptr) {
            RecordAnswer(code, before, record, size, result != -1);
        }
    }
    errno = error;
    return result;
}

int MmioRequestWatched(Opened* node, uint32_t code, uintptr_t arg, bool frame) {
    const bool read = code == MMIO_REG_READ;
    if (!read && code != MMIO_REG_WRITE) {
        Trace("ioctl %s 0x%08x unknown", node->path, static_cast<unsigned>(code));
        return SeamIoctl(node->fd, code, arg);
    }
    if (read) {
        ++node->reads;
    } else {
        ++node->writes;
    }
    auto* request = reinterpret_cast<MmioRegRequest*>(arg);
    const int result = SeamIoctl(node->fd, code, arg);
    const int error = result == -1 ? errno : 0;
    const char* verb = read ? "read" : "write";
    if (g_traceMmio && request != nullptr) {
        const unsigned address = static_cast<unsigned>(request->uiAddr);
        if (result == -1) {
            Trace("mmio %s 0x%08x refused", verb, address);
            TraceFailure(error);
        } else {
            Trace(read ? "mmio %s 0x%08x -> 0x%08x" : "mmio %s 0x%08x <- 0x%08x", verb, address,
                  static_cast<unsigned>(request->uiValue));
        }
    }
    if (g_recording && request != nullptr) {
        RecordOutcome(code, error);
        if (read && result != -1) {
            if (frame) {
                RecordMemory(request->uiAddr, request->uiValue);
            } else {
                RecordRegister(request->uiAddr, request->uiValue);
            }
        }
    }
    errno = error;
    return result;
}

// Appends to `path`, under the rules every file of the run's own lines follows.
std::FILE* OpenTrace(const char* path) {
    const char* reason = nullptr;
    const int fd = OpenAppendFile(path, "the trace", &reason);
    std::FILE* file = fd != -1 ? fdopen(fd, "a") : nullptr;
    if (file != nullptr) {
        return file;
    }
    if (fd != -1) {
        reason = std::strerror(errno);
        ForgetAppendFile(fd);
        close(fd);
    }
    Complain("cannot open the trace %s: %s", Printable(path).c_str(), reason);
    return nullptr;
}

}  // namespace

bool WatchStart(int argc, char** argv) {
    WatchFinish();
    // The record first: its start can be taken back whole, so a trace refused after it
    // leaves neither behind, and a record refused leaves no trace.
    const char* record = std::getenv("AVRIG_RECORD");
    if (record != nullptr && *record != '\0') {
        if (!RecordStart(record, argc, argv)) {
            return false;
        }
        g_recording = true;
    }
    const char* trace = std::getenv("AVRIG_TRACE");
    if (trace != nullptr && *trace != '\0') {
        g_trace = OpenTrace(trace);
        // The record made its target file just now: a trace named at it would write amid
        // the record, and the record over it.
        struct stat opened {};
        if (g_trace != nullptr && g_recording && fstat(fileno(g_trace), &opened) == 0 &&
            RecordHolds(opened.st_dev, opened.st_ino)) {
            Complain("cannot open the trace %s: it is the record's target file", Printable(trace).c_str());
            ForgetAppendFile(fileno(g_trace));
            std::fclose(g_trace);
            g_trace = nullptr;
        }
        if (g_trace == nullptr) {
            if (g_recording) {
                RecordDiscard();
                g_recording = false;
            }
            return false;
        }
        g_tracePath = trace;
        std::setvbuf(g_trace, nullptr, _IOLBF, BUFSIZ);
        const char* mmio = std::getenv("AVRIG_TRACE_MMIO");
        g_traceMmio = mmio != nullptr && std::strcmp(mmio, "1") == 0;
    }
    g_watching = g_trace != nullptr || g_recording;
    return true;
}

bool WatchFinish() {
    bool whole = true;
    // The record first, while the trace is still known as the trace: a record would not
    // take its name.
    if (g_recording) {
        whole = RecordFinish();
        g_recording = false;
    }
    if (g_trace != nullptr) {
        ForgetAppendFile(fileno(g_trace));
        if (std::fclose(g_trace) != 0 && g_traceWhole) {
            TraceLost(errno);
        }
        whole = g_traceWhole && whole;
        g_trace = nullptr;
    }
    g_traceWhole = true;
    g_traceMmio = false;
    g_watching = false;
    for (Opened& entry : g_opened) {
        entry = Opened{};
    }
    return whole;
}

int WatchOpen(const char* path, int flags) {
    const int fd = SeamOpen(path, flags);
    const int error = errno;
    if (fd == -1) {
        Trace("open %s missing", Printable(path).c_str());
        if (error != ENOENT) {
            TraceFailure(error);
        }
    } else {
        Trace("open %s", Printable(path).c_str());
        // Any other path is the memory node AVRIG_MEM names, held for the capture.
        const char* known = KnownPath(path);
        const Node node = known == nullptr ? Node::kMemory : known == kVipDevice ? Node::kVip : Node::kMmio;
        for (Opened& entry : g_opened) {
            if (entry.path == nullptr) {
                entry = Opened{fd, node, known != nullptr ? known : path, 0, 0};
                break;
            }
        }
    }
    if (g_recording) {
        RecordOpen(path, fd != -1);
    }
    errno = error;
    return fd;
}

int WatchClose(int fd) {
    Opened* entry = Find(fd);
    if (entry != nullptr && entry->node == Node::kMmio) {
        Trace("close %s reads=%llu writes=%llu", Printable(entry->path).c_str(), entry->reads, entry->writes);
    } else if (entry != nullptr) {
        Trace("close %s", Printable(entry->path).c_str());
    }
    const int result = SeamClose(fd);
    const int error = errno;
    if (result == -1) {
        TraceFailure(error);
    }
    if (entry != nullptr) {
        if (g_recording) {
            RecordClose(entry->node == Node::kVip, result != -1);
        }
        *entry = Opened{};
    }
    errno = error;
    return result;
}

int WatchIoctl(int fd, uint32_t code, uintptr_t arg) {
    Opened* entry = Find(fd);
    if (entry == nullptr) {
        return SeamIoctl(fd, code, arg);
    }
    if (entry->node == Node::kMmio) {
        return MmioRequestWatched(entry, code, arg, false);
    }
    return VipRequestWatched(*entry, code, arg);
}

int WatchFrameRead(int fd, MmioRegRequest* request) {
    const uintptr_t arg = reinterpret_cast<uintptr_t>(request);
    Opened* entry = Find(fd);
    if (entry == nullptr || entry->node != Node::kMmio) {
        return SeamIoctl(fd, MMIO_REG_READ, arg);
    }
    return MmioRequestWatched(entry, MMIO_REG_READ, arg, true);
}

const void* WatchMap(int fd, uint32_t offset, uint32_t length) {
    const Opened* entry = Find(fd);
    Trace("map %s 0x%08x 0x%x", Printable(entry != nullptr ? entry->path : "?").c_str(), static_cast<unsigned>(offset),
          static_cast<unsigned>(length));
    const void* address = SeamMap(fd, offset, length);
    const int error = errno;
    if (address == nullptr) {
        TraceFailure(error);
    }
    errno = error;
    return address;
}

int WatchUnmap(int fd, const void* address, uint32_t offset, uint32_t length) {
    const Opened* entry = Find(fd);
    Trace("unmap %s 0x%08x 0x%x", Printable(entry != nullptr ? entry->path : "?").c_str(), static_cast<unsigned>(offset),
          static_cast<unsigned>(length));
    const int result = SeamUnmap(address, length);
    const int error = errno;
    if (result == -1) {
        TraceFailure(error);
    }
    errno = error;
    return result;
}

void WatchMappedWord(uint32_t address, uint32_t value) {
    if (g_recording) {
        RecordMemory(address, value);
    }
}

void WatchMemoryNode(const char* path, bool characterDevice) {
    if (g_recording) {
        RecordMemoryNode(path, characterDevice);
    }
}

void WatchMapRefused(int error) {
    if (g_recording) {
        RecordMapRefused(error);
    }
}

void WatchMappingDiffers(uint32_t address, uint32_t value) {
    if (g_recording) {
        RecordMappedWord(address, value);
    }
}

int WatchSystem(const char* command) {
    if (command != nullptr) {
        // The log shows the command without its line end.
        size_t length = std::strlen(command);
        if (length > 0 && command[length - 1] == '\n') {
            --length;
            if (length > 0 && command[length - 1] == '\r') {
                --length;
            }
        }
        Trace("shell %.*s", static_cast<int>(length), command);
    }
    const int status = SeamSystem(command);
    const int error = errno;
    if (command != nullptr) {
        Trace("  status %d", status);
    }
    errno = error;
    return status;
}
