// The recorder. The target file is written as the run goes: a `nodes` line each time a new
// node opens, a `refuse` line for each refused code, the driver's answers, a `word` line
// for each register word read, and a `load` line for each block of frame memory once the
// block is complete. Frame words go straight into memory-N.bin files: up to four blocks
// grow at once (a frame's luma and chroma lines interleave), each in its own file.
//
// The simulated target answers the same way every time; where the board did not (a
// register read twice with two values, a code refused once and accepted once), one
// stderr line says what board.target cannot say, once for each kind.
//
// Root may record in a folder others can reach: the record takes only a folder of the
// running user's that nobody else can write, and creates each file in it through the
// folder's descriptor, new, never through a link. The target file grows under a name no
// replay takes and becomes board.target only when the record is whole, so a record cut
// short by a signal or a failed write never replays as if it were complete.
#include "device/record.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "device/append_file.h"
#include "device/errnames.h"
#include "device/frame_memory.h"
#include "device/mmio.h"
#include "device/path_policy.h"
#include "report/report.h"
#include "device/requests.h"

namespace {

// The chip decodes the low 29 address bits: the cached and uncached views and the
// physical address reach the same word, as in the simulated target.
constexpr uint32_t kPhysMask = 0x1fffffffu;
constexpr uint32_t kPhysSpace = 0x20000000u;
// What one `load` line may place, and how large a memory file grows before the next.
constexpr uint32_t kMaxBlockBytes = 64u << 20;
constexpr uint32_t kMaxFileBytes = 1u << 30;

constexpr char kTargetName[] = "board.target";
constexpr char kUnfinishedName[] = "board.target.unfinished";
// Whatever the umask, nobody but the running user may change the record.
constexpr mode_t kFolderMode = 0755;
constexpr mode_t kFileMode = 0644;

char g_dir[4096];
int g_dirFd = -1;
bool g_madeFolder = false;  // this run made the folder, so it may take it back
bool g_whole = true;  // nothing failed to be created or written
std::FILE* g_target = nullptr;
unsigned g_gaps = 0;  // kinds already reported
uint32_t g_nodes = 0;

enum Gap : unsigned {
    kRegisterChanged = 1u << 0,
    kMemoryAgain = 1u << 1,
    kOutcomeChanged = 1u << 2,
    kAnswerUnsaid = 1u << 3,
    kErrorUnnamed = 1u << 4,
    kCloseFailed = 1u << 5,
    kMemoryNodeUnsaid = 1u << 6,
};

struct Register {
    uint32_t phys;
    uint32_t value;
};
Register g_registers[256];
size_t g_registerCount = 0;

struct Outcome {
    uint32_t code;
    int error;
};
Outcome g_outcomes[64];
size_t g_outcomeCount = 0;

// The answers a target file can give, once each.
struct Answer {
    uint32_t code;
    bool given;
};
Answer g_answers[] = {{VIP_CAPTURE_INFO, false}, {VIP_GET_ZOOM, false}, {VIP_GET_BORDER, false}, {VIP_GET_PANEL, false}};
uint8_t g_answerBytes[4][sizeof(PanelInfo)];

struct Stream {
    std::FILE* file = nullptr;
    unsigned number = 0;     // memory-N.bin
    uint32_t fileBytes = 0;
    bool active = false;     // a block is growing
    uint32_t address = 0;    // the block's first address as read
    uint32_t offset = 0;     // in the file
    uint32_t bytes = 0;
    uint32_t used = 0;       // when it last grew
};
Stream g_streams[4];
unsigned g_nextFile = 0;
uint32_t g_tick = 0;

// Physical ranges [start, end) already in memory files, sorted and merged.
struct Range {
    uint32_t start;
    uint32_t end;
};
std::vector<Range> g_ranges;

// The first file that could not be created or written: the record stops there, keeps no
// board.target, and says so once.
void Lost(const char* what, const char* name, const char* reason) {
    if (g_whole) {
        g_whole = false;
        Complain("record: cannot %s %s in %s: %s; the record is incomplete and has no %s", what, name,
                 Printable(g_dir).c_str(), reason, kTargetName);
    }
}

void Lost(const char* what, const char* name, int error) { Lost(what, name, std::strerror(error)); }

void CheckTarget() {
    if (g_whole && std::ferror(g_target) != 0) {
        Lost("write", kUnfinishedName, errno);
    }
}

void Directive(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Directive(const char* format, ...) {
    if (!g_whole) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::vfprintf(g_target, format, args);
    va_end(args);
    std::fputc('\n', g_target);
    CheckTarget();
}

struct MemoryName {
    char text[32];
    explicit MemoryName(unsigned number) { std::snprintf(text, sizeof text, "memory-%u.bin", number); }
};

// A new file in the record folder, created there and nowhere else: nothing already at
// the name is taken, a link least of all.
std::FILE* CreateInFolder(const char* name) {
    const int fd = openat(g_dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
    std::FILE* file = fd != -1 ? fdopen(fd, "wb") : nullptr;
    if (file == nullptr && fd != -1) {
        const int error = errno;
        close(fd);
        errno = error;
    }
    return file;
}

void ReportGap(unsigned kind, const char* format, ...) __attribute__((format(printf, 2, 3)));
void ReportGap(unsigned kind, const char* format, ...) {
    if ((g_gaps & kind) != 0) {
        return;
    }
    g_gaps |= kind;
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Complain("record: %s", text);
}

uint32_t Le32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

// Why the folder open as `fd`, which lstat showed as `before`, cannot take a record;
// nullptr when it can.
const char* Unfit(int fd, const struct stat& before) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return std::strerror(errno);
    }
    if (info.st_dev != before.st_dev || info.st_ino != before.st_ino) {
        return kSwapped;
    }
    const char* refused = PathRefusal(info, Rule::kFolder);
    if (refused != nullptr) {
        return refused;
    }
    const int listFd = openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* folder = listFd != -1 ? fdopendir(listFd) : nullptr;
    if (folder == nullptr) {
        const int error = errno;
        if (listFd != -1) {
            close(listFd);
        }
        return std::strerror(error);
    }
    const char* reason = nullptr;
    while (const dirent* entry = readdir(folder)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            reason = kNotEmptyFolder;
            break;
        }
    }
    closedir(folder);
    return reason;
}

// Opens the record folder at g_dir, making it when it is not there.
bool OpenFolder() {
    const char* reason = nullptr;
    // O_NOFOLLOW looks only at the last part: at "link/." or "link/.." it would pass through
    // a link another user planted, to a folder of their choice.
    const char* last = std::strrchr(g_dir, '/');
    last = last != nullptr ? last + 1 : g_dir;
    struct stat before {};
    g_madeFolder = false;
    if (std::strcmp(last, ".") == 0 || std::strcmp(last, "..") == 0) {
        reason = "it ends in \".\" or \"..\"";
    } else if (!(g_madeFolder = mkdir(g_dir, kFolderMode) == 0) && errno != EEXIST) {
        reason = std::strerror(errno);
    } else if (lstat(g_dir, &before) != 0) {
        reason = std::strerror(errno);
    } else if ((reason = PathRefusal(before, Rule::kFolder)) != nullptr) {
    } else if ((g_dirFd = open(g_dir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) == -1) {
        reason = std::strerror(errno);
    } else if ((reason = Unfit(g_dirFd, before)) == nullptr) {
        return true;
    }
    Complain("cannot record into %s: %s", Printable(g_dir).c_str(), reason);
    return false;
}

void WriteNodes() {
    if (!g_whole) {
        return;
    }
    std::fputs("nodes", g_target);
    for (const char* path : {kVipDevice, kMmioDebugDevice, kMmioDevice, kMemoryDevice}) {
        const uint32_t bit = path == kVipDevice ? 1u : path == kMmioDebugDevice ? 2u : path == kMmioDevice ? 4u : 8u;
        if ((g_nodes & bit) != 0) {
            std::fprintf(g_target, " %s", path);
        }
    }
    std::fputc('\n', g_target);
    CheckTarget();
}

// Which bytes of a record the target file's answer sets.
bool InAnswer(uint32_t code, uint32_t byte) {
    switch (code) {
        case VIP_CAPTURE_INFO: return byte < 20;
        case VIP_GET_ZOOM: return byte == 0;
        case VIP_GET_BORDER: return byte < 16;
        case VIP_GET_PANEL: return byte < 8 || (byte >= 40 && byte < 64);
        default: return false;
    }
}

void WriteAnswer(uint32_t code, const uint8_t* r) {
    auto word = [r](int n) { return static_cast<unsigned>(Le32(r + 4 * n)); };
    auto signedWord = [r](int n) { return static_cast<int>(static_cast<int32_t>(Le32(r + 4 * n))); };
    if (code == VIP_CAPTURE_INFO) {
        Directive("capture 0x%08x 0x%08x 0x%08x 0x%08x %d", word(0), word(1), word(2), word(3), signedWord(4));
    } else if (code == VIP_GET_ZOOM) {
        Directive("zoom %d", static_cast<int>(static_cast<int8_t>(r[0])));
    } else if (code == VIP_GET_BORDER) {
        Directive("border %d %d %d %d", signedWord(0), signedWord(1), signedWord(2), signedWord(3));
    } else {
        Directive("panel %u %u 0x%08x 0x%08x 0x%08x 0x%08x 0x%08x 0x%08x", word(0), word(1), word(10), word(11),
                  word(12), word(13), word(14), word(15));
    }
}

const char* ErrorText(int error) {
    if (error == 0) {
        return "accepted";
    }
    const char* name = NameOfError(error);
    return name != nullptr ? name : "refused";
}

bool Covered(uint32_t phys) {
    size_t low = 0;
    size_t high = g_ranges.size();
    while (low < high) {  // the first range that starts above phys
        const size_t middle = (low + high) / 2;
        if (g_ranges[middle].start <= phys) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (low > 0 && phys < g_ranges[low - 1].end) {
        return true;
    }
    for (const Stream& s : g_streams) {
        const uint32_t start = s.address & kPhysMask;
        if (s.active && phys >= start && phys - start < s.bytes) {
            return true;
        }
    }
    return false;
}

void AddRange(uint32_t start, uint32_t end) {
    size_t i = 0;
    while (i < g_ranges.size() && g_ranges[i].end < start) {
        ++i;
    }
    // Merge every range that touches [start, end).
    size_t last = i;
    while (last < g_ranges.size() && g_ranges[last].start <= end) {
        start = g_ranges[last].start < start ? g_ranges[last].start : start;
        end = g_ranges[last].end > end ? g_ranges[last].end : end;
        ++last;
    }
    g_ranges.erase(g_ranges.begin() + static_cast<std::ptrdiff_t>(i), g_ranges.begin() + static_cast<std::ptrdiff_t>(last));
    g_ranges.insert(g_ranges.begin() + static_cast<std::ptrdiff_t>(i), Range{start, end});
}

void EndBlock(Stream* s) {
    if (!s->active) {
        return;
    }
    s->active = false;
    Directive("load 0x%08x memory-%u.bin %u %u", static_cast<unsigned>(s->address), s->number,
              static_cast<unsigned>(s->offset), static_cast<unsigned>(s->bytes));
    const uint32_t start = s->address & kPhysMask;
    AddRange(start, start + s->bytes);
}

// Synced before it is closed: board.target is named only when everything it names is on
// the device, so a power cut cannot leave a record that looks whole with short files.
void CloseFile(std::FILE* file, const char* name) {
    if (file == nullptr) {
        return;
    }
    const bool synced = std::fflush(file) == 0 && fsync(fileno(file)) == 0;
    const int syncError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!synced || !closed) {
        Lost("write", name, synced ? errno : syncError);
    }
}

// A stream ready for a new block at `address`: an idle one, else the one unused longest.
Stream* StartBlock(uint32_t address) {
    Stream* chosen = &g_streams[0];
    for (Stream& s : g_streams) {
        if (!s.active) {
            chosen = &s;
            break;
        }
        if (s.used < chosen->used) {
            chosen = &s;
        }
    }
    EndBlock(chosen);
    if (chosen->file == nullptr || chosen->fileBytes >= kMaxFileBytes) {
        CloseFile(chosen->file, MemoryName(chosen->number).text);
        chosen->number = g_nextFile++;
        const MemoryName name(chosen->number);
        chosen->file = CreateInFolder(name.text);
        chosen->fileBytes = 0;
        if (chosen->file == nullptr) {
            Lost("create", name.text, errno);
            return nullptr;
        }
    }
    chosen->active = true;
    chosen->address = address;
    chosen->offset = chosen->fileBytes;
    chosen->bytes = 0;
    return chosen;
}

}  // namespace

bool RecordStart(const char* dir, int argc, char** argv) {
    g_gaps = 0;
    g_nodes = 0;
    g_registerCount = 0;
    g_outcomeCount = 0;
    for (Answer& answer : g_answers) {
        answer.given = false;
    }
    for (Stream& s : g_streams) {
        s = Stream{};
    }
    g_nextFile = 0;
    g_tick = 0;
    g_ranges.clear();
    g_whole = true;
    if (std::strlen(dir) >= sizeof g_dir) {
        Complain("cannot record into %s: the name is too long", Printable(dir).c_str());
        return false;
    }
    std::strcpy(g_dir, dir);
    // A slash at the end would have the open follow a link at the name.
    for (size_t end = std::strlen(g_dir); end > 1 && g_dir[end - 1] == '/'; --end) {
        g_dir[end - 1] = '\0';
    }
    // An existing folder is taken as it is, owner and mode kept.
    if (!OpenFolder()) {
        RecordFinish();
        return false;
    }
    g_target = CreateInFolder(kUnfinishedName);
    if (g_target == nullptr) {
        Complain("cannot record into %s: cannot create %s: %s", Printable(g_dir).c_str(), kUnfinishedName,
                 std::strerror(errno));
        g_whole = false;
        RecordFinish();
        return false;
    }
    std::fputs("# What a board's drivers answered to this run, recorded by avrig:\n#", g_target);
    for (int i = 0; i < argc; ++i) {
        std::fputc(' ', g_target);
        for (const char* c = argv[i]; *c != '\0'; ++c) {
            std::fputc(static_cast<unsigned char>(*c) < 0x20 ? '?' : *c, g_target);
        }
    }
    std::fputs("\n# Replay on a PC: avrig-sim with this file as its target and the same arguments.\n", g_target);
    CheckTarget();
    WriteNodes();
    return true;
}

bool RecordFinish() {
    for (Stream& s : g_streams) {
        EndBlock(&s);
        CloseFile(s.file, MemoryName(s.number).text);
        s = Stream{};
    }
    if (g_target != nullptr) {
        CheckTarget();
        CloseFile(g_target, kUnfinishedName);
        g_target = nullptr;
        // The folder was empty at the start: what holds the name now is the run's own (the
        // trace, the log, a frame written there), and the rename would unlink it.
        struct stat there {};
        if (g_whole && fstatat(g_dirFd, kTargetName, &there, AT_SYMLINK_NOFOLLOW) == 0) {
            const char* appended = AppendedFileAt(there.st_dev, there.st_ino);
            Lost("name", kTargetName, appended != nullptr ? (std::string("it is ") + appended).c_str()
                                                          : std::strerror(EEXIST));
        }
        if (g_whole && renameat(g_dirFd, kUnfinishedName, g_dirFd, kTargetName) != 0) {
            Lost("name", kTargetName, errno);
        }
    }
    if (g_dirFd != -1) {
        close(g_dirFd);
        g_dirFd = -1;
    }
    g_ranges.clear();
    g_ranges.shrink_to_fit();
    return g_whole;
}

bool RecordHolds(dev_t device, ino_t inode) {
    struct stat own {};
    return g_target != nullptr && fstat(fileno(g_target), &own) == 0 && own.st_dev == device && own.st_ino == inode;
}

void RecordDiscard() {
    if (g_target != nullptr) {
        std::fclose(g_target);
        g_target = nullptr;
        unlinkat(g_dirFd, kUnfinishedName, 0);
    }
    RecordFinish();
    if (g_madeFolder) {
        rmdir(g_dir);  // only while empty: nothing of anyone else's goes
        g_madeFolder = false;
    }
}

void RecordOpen(const char* path, bool opened) {
    uint32_t bit = 0;
    if (std::strcmp(path, kVipDevice) == 0) {
        bit = 1;
    } else if (std::strcmp(path, kMmioDebugDevice) == 0) {
        bit = 2;
    } else if (std::strcmp(path, kMmioDevice) == 0) {
        bit = 4;
    } else if (std::strcmp(path, kMemoryDevice) == 0) {
        bit = 8;  // the memory node AVRIG_MEM may name
    }

    if (opened && (g_nodes & bit) == 0) {
        g_nodes |= bit;
        WriteNodes();  // the last `nodes` line is the one that counts
    }
}

void RecordClose(bool vip, bool closed) {
    if (!closed) {
        ReportGap(kCloseFailed, "closing %s failed; the simulated target always closes", vip ? kVipDevice : kMmioDevice);
    }
}

void RecordOutcome(uint32_t code, int error) {
    for (size_t i = 0; i < g_outcomeCount; ++i) {
        if (g_outcomes[i].code == code) {
            if (g_outcomes[i].error != error) {
                ReportGap(kOutcomeChanged, "request 0x%08x was %s and later %s; board.target says %s",
                          static_cast<unsigned>(code), ErrorText(g_outcomes[i].error), ErrorText(error),
                          ErrorText(g_outcomes[i].error));
            }
            return;
        }
    }
    if (g_outcomeCount < sizeof g_outcomes / sizeof g_outcomes[0]) {
        g_outcomes[g_outcomeCount++] = Outcome{code, error};
    }
    if (error == 0) {
        return;
    }
    const char* name = NameOfError(error);
    if (name != nullptr) {
        Directive("refuse 0x%08x %s", static_cast<unsigned>(code), name);
    } else {
        Directive("refuse 0x%08x", static_cast<unsigned>(code));
        ReportGap(kErrorUnnamed, "request 0x%08x failed with error %d, which board.target cannot name (it says EINVAL)",
                  static_cast<unsigned>(code), error);
    }
}

void RecordAnswer(uint32_t code, const uint8_t* before, const uint8_t* after, uint32_t size, bool accepted) {
    size_t slot = 0;
    while (slot < 4 && g_answers[slot].code != code) {
        ++slot;
    }
    const bool answerable = accepted && slot < 4 && size <= sizeof g_answerBytes[0];
    // What the simulated driver would leave in the record.
    bool same = true;
    bool onlyAnswer = true;
    for (uint32_t i = 0; i < size; ++i) {
        const bool set = answerable && InAnswer(code, i);
        const uint8_t predicted = set && g_answers[slot].given ? g_answerBytes[slot][i] : before[i];
        if (predicted != after[i]) {
            same = false;
            onlyAnswer = onlyAnswer && set;
        }
    }
    if (same) {
        return;
    }
    if (answerable && !g_answers[slot].given && onlyAnswer) {
        g_answers[slot].given = true;
        std::memcpy(g_answerBytes[slot], after, size);
        WriteAnswer(code, after);
        return;
    }
    const VipRequest* request = FindVipRequest(code);
    ReportGap(kAnswerUnsaid, "board.target cannot say how the driver answered request 0x%08x (%s)",
              static_cast<unsigned>(code), request != nullptr ? request->name : "unknown");
}

void RecordRegister(uint32_t address, uint32_t value) {
    const uint32_t phys = address & kPhysMask & ~3u;
    for (size_t i = 0; i < g_registerCount; ++i) {
        if (g_registers[i].phys == phys) {
            if (g_registers[i].value != value) {
                ReportGap(kRegisterChanged, "register 0x%08x read as 0x%08x and later as 0x%08x; board.target says 0x%08x",
                          static_cast<unsigned>(address), static_cast<unsigned>(g_registers[i].value),
                          static_cast<unsigned>(value), static_cast<unsigned>(g_registers[i].value));
            }
            return;
        }
    }
    if (g_registerCount < sizeof g_registers / sizeof g_registers[0]) {
        g_registers[g_registerCount++] = Register{phys, value};
    }
    Directive("word 0x%08x 0x%08x", static_cast<unsigned>(address & ~3u), static_cast<unsigned>(value));
}

void RecordMemoryNode(const char* path, bool characterDevice) {
    if (characterDevice) {
        if (std::strcmp(path, kMemoryDevice) != 0) {
            ReportGap(kMemoryNodeUnsaid, "AVRIG_MEM named another node than %s; board.target offers only that one",
                      kMemoryDevice);
        }
        return;
    }
    // A target file's fields end at a blank or a `#`, and its `file` is never a device's name.
    bool plain = *path != '\0';
    for (const char* c = path; *c != '\0'; ++c) {
        plain = plain && static_cast<unsigned char>(*c) > 0x20 && *c != '#';
    }
    for (const char* device : {kVipDevice, kMmioDebugDevice, kMmioDevice, kMemoryDevice}) {
        plain = plain && std::strcmp(path, device) != 0;
    }
    if (plain) {
        Directive("file %s", path);
    } else {
        ReportGap(kMemoryNodeUnsaid, "board.target cannot name the file AVRIG_MEM named");
    }
}

void RecordMapRefused(int error) {
    const char* name = NameOfError(error);
    if (name != nullptr) {
        Directive("maprefuse %s", name);
    } else {
        Directive("maprefuse EINVAL");
        ReportGap(kErrorUnnamed, "a map of the memory node failed with error %d, which board.target cannot name "
                                 "(it says EINVAL)", error);
    }
}

void RecordMappedWord(uint32_t address, uint32_t value) {
    Directive("mapword 0x%08x 0x%08x", static_cast<unsigned>(address & ~3u), static_cast<unsigned>(value));
}

void RecordMemory(uint32_t address, uint32_t value) {
    if (!g_whole) {
        return;  // the record is lost; its files grow no further
    }
    const uint32_t phys = address & kPhysMask;
    if ((address & 3u) != 0) {
        RecordRegister(address, value);  // a `load` starts on a word
        return;
    }
    Stream* stream = nullptr;
    for (Stream& s : g_streams) {
        const uint32_t start = s.address & kPhysMask;
        if (s.active && start + s.bytes == phys && s.bytes < kMaxBlockBytes) {
            stream = &s;
            break;
        }
    }
    if (Covered(phys)) {
        ReportGap(kMemoryAgain, "frame memory at 0x%08x was read again; board.target holds the first reading",
                  static_cast<unsigned>(address));
        return;
    }
    if (stream == nullptr) {
        stream = StartBlock(address);
        if (stream == nullptr) {
            return;
        }
    }
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    if (std::fwrite(bytes, 1, 4, stream->file) != 4) {
        Lost("write", MemoryName(stream->number).text, errno);
    }
    stream->bytes += 4;
    stream->fileBytes += 4;
    stream->used = ++g_tick;
    if ((stream->address & kPhysMask) + stream->bytes >= kPhysSpace) {
        EndBlock(stream);  // the next word is another block, at the start of the space
    }
}
