// The target file: one directive per line, `#` comments, blank-separated fields.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "device/errnames.h"
#include "device/mmio.h"
#include "device/frame_memory.h"
#include "device/vip.h"
#include "report/report.h"
#include "sim/folder_file.h"
#include "sim/target.h"

namespace sim {

namespace {

// A `load` file may not grow the model past this: the biggest frame dumps are a few MiB.
constexpr uint64_t kMaxLoadBytes = 64u * 1024u * 1024u;
// All `load` lines together place at most what physical memory holds: a record loads each
// block it read once, and a file of lines that load the same file again and again would
// otherwise take minutes to replay.
constexpr uint64_t kMaxLoadedBytes = kPhysSpace;
// Each `load` line opens its name one part at a time: all of them together open at most
// this many, which bounds the replay of any target file to a few seconds. A record names
// memory-N.bin files beside it, one part, in a line per block of frame memory read (a
// line of a plane at worst).
constexpr uint64_t kMaxLoadParts = 1u << 18;
// Each `pattern`/`jpeg` line adds up to 2400 computed buffers.
constexpr int kMaxPictureLines = 64;

struct LoadFolderState {
    const LoadFolder* given;
    int fd;  // -1 until the first `load` line opens it
    Descriptor owned;
    uint64_t parts = 0;  // opened by the `load` lines so far
};

struct Line {
    const std::string* name;
    LoadFolderState* folder;
    int number;
    std::vector<std::string> fields;  // fields[0] is the directive
    std::string* error;
    int* pictureLines;
    uint64_t* loadedBytes;  // by the `load` lines so far
};

bool Fail(const Line& line, const std::string& reason) {
    // Control bytes from the file are shown as \xNN, so the message stays one printable line.
    *line.error = *line.name + ":" + std::to_string(line.number) + ": " + Printable(reason);
    return false;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The fields of the line text[start, end), up to a '#'. Cut in place: fuzz_capture loads a
// target per input, and copies of every line were a good part of its allocations.
std::vector<std::string> LineFields(const std::string& text, size_t start, size_t end) {
    end = static_cast<size_t>(std::find(text.begin() + start, text.begin() + end, '#') - text.begin());
    std::vector<std::string> fields;
    size_t i = start;
    while (i < end) {
        while (i < end && IsBlank(text[i])) {
            ++i;
        }
        const size_t first = i;
        while (i < end && !IsBlank(text[i])) {
            ++i;
        }
        if (i > first) {
            if (fields.empty()) {
                fields.reserve(5);  // as many as most directives take
            }
            fields.emplace_back(text, first, i - first);
        }
    }
    return fields;
}

// Digits of `base` from `text[pos]` on; false on anything else or more than 64 bits.
bool ParseDigits(const std::string& text, size_t pos, uint32_t base, uint64_t* value) {
    if (pos >= text.size()) {
        return false;
    }
    uint64_t result = 0;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint32_t>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<uint32_t>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<uint32_t>(c - 'A' + 10);
        } else {
            return false;
        }
        if (result > (UINT64_MAX - digit) / base) {
            result = UINT64_MAX;  // saturate: the range check reports it
        } else {
            result = result * base + digit;
        }
    }
    *value = result;
    return true;
}

bool IsHex(const std::string& text) { return text.size() > 2 && text[0] == '0' && text[1] == 'x'; }

enum class FieldType { kUnsigned32, kSigned32, kSigned8, kHexCode };

// Field `index` (1-based after the directive) named `what`. Hexadecimal gives the bit
// pattern of the field, so a signed field also takes 0xffffffff (or 0xff for a byte).
bool NumberField(const Line& line, size_t index, const char* what, FieldType type, int64_t* out) {
    const std::string directive = line.fields[0];
    if (index >= line.fields.size()) {
        return Fail(line, directive + ": missing " + what);
    }
    const std::string& text = line.fields[index];
    const std::string quoted = std::string(what) + " \"" + text + "\"";
    uint64_t magnitude = 0;
    bool negative = false;
    const bool hex = IsHex(text);
    if (type == FieldType::kHexCode && !hex) {
        return Fail(line, directive + ": " + quoted + " is not a hexadecimal number with 0x");
    }
    bool parsed = false;
    if (hex) {
        parsed = ParseDigits(text, 2, 16, &magnitude);
    } else if (!text.empty() && text[0] == '-' && (type == FieldType::kSigned32 || type == FieldType::kSigned8)) {
        negative = true;
        parsed = ParseDigits(text, 1, 10, &magnitude);
    } else {
        parsed = ParseDigits(text, 0, 10, &magnitude);
    }
    if (!parsed) {
        return Fail(line, directive + ": " + quoted + " is not a number");
    }
    int64_t low = 0;
    int64_t high = 0xffffffffLL;
    if (type == FieldType::kSigned32) {
        low = hex ? 0 : INT32_MIN;
        high = hex ? 0xffffffffLL : INT32_MAX;
    } else if (type == FieldType::kSigned8) {
        low = hex ? 0 : INT8_MIN;
        high = hex ? 0xff : INT8_MAX;
    }
    const bool tooBig = magnitude > static_cast<uint64_t>(INT64_MAX);
    const int64_t value = tooBig ? 0 : (negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude));
    if (tooBig || value < low || value > high) {
        return Fail(line, directive + ": " + quoted + " is out of range");
    }
    // Hexadecimal bit patterns of signed fields become the signed value they spell.
    if (hex && type == FieldType::kSigned32) {
        *out = static_cast<int32_t>(static_cast<uint32_t>(value));
    } else if (hex && type == FieldType::kSigned8) {
        *out = static_cast<int8_t>(static_cast<uint8_t>(value));
    } else {
        *out = value;
    }
    return true;
}

bool U32Field(const Line& line, size_t index, const char* what, uint32_t* out) {
    int64_t value = 0;
    if (!NumberField(line, index, what, FieldType::kUnsigned32, &value)) {
        return false;
    }
    *out = static_cast<uint32_t>(value);
    return true;
}

bool I32Field(const Line& line, size_t index, const char* what, int32_t* out) {
    int64_t value = 0;
    if (!NumberField(line, index, what, FieldType::kSigned32, &value)) {
        return false;
    }
    *out = static_cast<int32_t>(value);
    return true;
}

bool NoMoreFields(const Line& line, size_t count) {
    if (line.fields.size() > count) {
        return Fail(line, line.fields[0] + ": unexpected field \"" + line.fields[count] + "\"");
    }
    return true;
}

bool NeedField(const Line& line, size_t index, const char* what) {
    if (index >= line.fields.size()) {
        return Fail(line, line.fields[0] + ": missing " + what);
    }
    return true;
}

// A pattern's optional fault after SCAN: "stuck COMPONENT BIT VALUE" or "bridge COMPONENT
// BIT OTHER" (BIT takes OTHER's value), COMPONENT Y, Cb or Cr, bits within the samples
// frame memory stores of it (10, or 8 for the chroma of the 8-bit chroma layouts).
bool PlantedFault(const Line& line, Layout layout, uint32_t* fault) {
    *fault = 0;
    if (line.fields.size() <= 5) {
        return true;
    }
    const std::string& kind = line.fields[5];
    if (kind != "stuck" && kind != "bridge") {
        return Fail(line, "pattern: FAULT \"" + kind + "\" is not stuck or bridge");
    }
    if (!NeedField(line, 6, "COMPONENT")) {
        return false;
    }
    const char* const names[] = {"Y", "Cb", "Cr"};
    uint32_t component = 3;
    for (uint32_t c = 0; c < 3; ++c) {
        component = line.fields[6] == names[c] ? c : component;
    }
    if (component == 3) {
        return Fail(line, "pattern: COMPONENT \"" + line.fields[6] + "\" is not Y, Cb or Cr");
    }
    uint32_t bit = 0;
    uint32_t other = 0;
    if (!U32Field(line, 7, "BIT", &bit) || !U32Field(line, 8, kind == "stuck" ? "VALUE" : "OTHER", &other) ||
        !NoMoreFields(line, 9)) {
        return false;
    }
    const bool chroma8 = component != 0 && (layout == Layout::kYuv444C8 || layout == Layout::kYuv422C8);
    const uint32_t bits = chroma8 ? 8u : 10u;
    if (bit >= bits || (kind == "bridge" && (other >= bits || other == bit))) {
        return Fail(line, "pattern: the " + line.fields[6] + " samples have bits 0.." + std::to_string(bits - 1) +
                              (kind == "bridge" ? ", and a bridge joins two of them" : ""));
    }
    if (kind == "stuck" && other > 1) {
        return Fail(line, "pattern: a stuck bit's VALUE is 0 or 1");
    }
    *fault = PackFault(kind == "bridge" ? kBridged : other == 0 ? kStuckAt0 : kStuckAt1, component, bit,
                       kind == "bridge" ? other : 0);
    return true;
}

bool DoNodes(const Line& line, Target* target) {
    uint32_t nodes = 0;
    for (size_t i = 1; i < line.fields.size(); ++i) {
        const uint32_t node = NodeOfPath(line.fields[i].c_str());
        if (node == 0 || line.fields[i].find('\0') != std::string::npos) {
            return Fail(line, "nodes: unknown device node \"" + line.fields[i] + "\"");
        }
        nodes |= node;
    }
    target->nodes = nodes;
    return true;
}

bool DoFile(const Line& line, Target* target) {
    if (!NeedField(line, 1, "PATH") || !NoMoreFields(line, 2)) {
        return false;
    }
    if (NodeOfPath(line.fields[1].c_str()) != 0 || line.fields[1].find('\0') != std::string::npos) {
        return Fail(line, "file: \"" + line.fields[1] + "\" is a device node");
    }
    target->file = line.fields[1];
    return true;
}

bool DoMapWord(const Line& line, Target* target) {
    uint32_t address = 0;
    uint32_t value = 0;
    if (!U32Field(line, 1, "ADDRESS", &address) || !U32Field(line, 2, "VALUE", &value) || !NoMoreFields(line, 3)) {
        return false;
    }
    if ((address & 3u) != 0) {
        return Fail(line, "mapword: ADDRESS is not a multiple of 4");
    }
    target->mappedWords.push_back(MappedWord{address & kPhysMask, value});
    return true;
}

bool DoMapRefuse(const Line& line, Target* target) {
    if (!NeedField(line, 1, "ERROR") || !NoMoreFields(line, 2)) {
        return false;
    }
    for (const ErrorName& entry : kErrorNames) {
        if (line.fields[1] == entry.name) {
            target->mapError = entry.error;
            return true;
        }
    }
    return Fail(line, "maprefuse: ERROR \"" + line.fields[1] + "\" is not an error name this file knows");
}

bool DoCapture(const Line& line, Target* target) {
    CaptureAnswer answer{};
    if (!U32Field(line, 1, "ADDR_Y", &answer.addrY) || !U32Field(line, 2, "ADDR_UV", &answer.addrUV) ||
        !U32Field(line, 3, "SIZE_Y", &answer.sizeY) || !U32Field(line, 4, "SIZE_UV", &answer.sizeUV) ||
        !I32Field(line, 5, "COUNT", &answer.count) || !NoMoreFields(line, 6)) {
        return false;
    }
    target->capture = answer;
    target->hasCapture = true;
    return true;
}

bool DoZoom(const Line& line, Target* target) {
    int64_t value = 0;
    if (!NumberField(line, 1, "N", FieldType::kSigned8, &value) || !NoMoreFields(line, 2)) {
        return false;
    }
    target->zoom = static_cast<int8_t>(value);
    target->hasZoom = true;
    return true;
}

bool DoBorder(const Line& line, Target* target) {
    int32_t border[4] = {};
    const char* names[4] = {"TOP", "DOWN", "LEFT", "RIGHT"};
    for (size_t i = 0; i < 4; ++i) {
        if (!I32Field(line, i + 1, names[i], &border[i])) {
            return false;
        }
    }
    if (!NoMoreFields(line, 5)) {
        return false;
    }
    std::memcpy(target->border, border, sizeof border);
    target->hasBorder = true;
    return true;
}

bool DoPanel(const Line& line, Target* target) {
    PanelAnswer panel{};
    const char* names[6] = {"P0", "P1", "P2", "P3", "P4", "P5"};
    if (!U32Field(line, 1, "HRES", &panel.hres) || !U32Field(line, 2, "VRES", &panel.vres)) {
        return false;
    }
    for (size_t i = 0; i < 6; ++i) {
        if (!U32Field(line, i + 3, names[i], &panel.pages[i])) {
            return false;
        }
    }
    if (!NoMoreFields(line, 9)) {
        return false;
    }
    target->panel = panel;
    target->hasPanel = true;
    return true;
}

bool AlignedAddress(const Line& line, uint32_t address) {
    if ((address & 3u) != 0) {
        char text[32];
        std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(address));
        return Fail(line, line.fields[0] + ": ADDRESS " + text + " is not a multiple of 4");
    }
    return true;
}

bool DoWord(const Line& line, Target* target) {
    uint32_t address = 0;
    uint32_t value = 0;
    if (!U32Field(line, 1, "ADDRESS", &address) || !U32Field(line, 2, "VALUE", &value) ||
        !NoMoreFields(line, 3) || !AlignedAddress(line, address)) {
        return false;
    }
    MemoryWrite(&target->memory, address, value);
    return true;
}

// The folder `load` names are found in, opened at the first `load` line when the caller
// gave only its path.
int FolderOf(const Line& line) {
    LoadFolderState* folder = line.folder;
    if (folder->fd < 0) {
        const std::string& path = folder->given->path;
        folder->owned.reset(open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        folder->fd = folder->owned.get();
    }
    return folder->fd;
}

// A record comes from someone else's board: its `load` names stay beneath the target
// file's folder and name regular files, so replaying it reads nothing else.
bool StaysInFolder(const Line& line, const std::string& file) {
    if (file[0] == '/') {
        return Fail(line, "load: \"" + file + "\" is absolute; FILE is relative to the target file's folder");
    }
    line.folder->parts += static_cast<uint64_t>(std::count(file.begin(), file.end(), '/')) + 1u;
    if (line.folder->parts > kMaxLoadParts) {
        return Fail(line, "load: the load lines open more than " + std::to_string(kMaxLoadParts) +
                              " files and folders in all");
    }
    for (size_t start = 0; start <= file.size();) {
        size_t end = file.find('/', start);
        end = end == std::string::npos ? file.size() : end;
        if (file.compare(start, end - start, "..") == 0) {
            return Fail(line, "load: \"" + file + "\" leaves the target file's folder (a .. component)");
        }
        start = end + 1;
    }
    return true;
}

bool DoLoad(const Line& line, Target* target) {
    uint32_t address = 0;
    if (!U32Field(line, 1, "ADDRESS", &address) || !NeedField(line, 2, "FILE") || !NoMoreFields(line, 5) ||
        !AlignedAddress(line, address)) {
        return false;
    }
    // OFFSET and LENGTH pick a part of the file; without them the whole file is loaded.
    const bool part = line.fields.size() > 3;
    uint32_t start = 0;
    uint32_t length = 0;
    if (part && (!U32Field(line, 3, "OFFSET", &start) || !U32Field(line, 4, "LENGTH", &length))) {
        return false;
    }
    if (part && length > kMaxLoadBytes) {
        return Fail(line, "load: LENGTH is larger than 64 MiB");
    }
    const std::string& file = line.fields[2];
    if (file.find('\0') != std::string::npos) {
        return Fail(line, "load: cannot read \"" + file + "\"");
    }
    if (!StaysInFolder(line, file)) {
        return false;
    }
    const int folder = FolderOf(line);
    if (folder < 0) {
        return Fail(line, "load: cannot open the folder \"" + line.folder->given->path + "\": " + std::strerror(errno));
    }
    const Descriptor in(OpenBeneath(folder, file));
    if (in.get() < 0 && errno == ELOOP) {
        return Fail(line, "load: \"" + file + "\" is or passes through a symbolic link, which is not followed");
    }
    if (in.get() < 0) {
        return Fail(line, "load: cannot read \"" + file + "\": " + std::strerror(errno));
    }
    struct stat info {};
    const bool regular = fstat(in.get(), &info) == 0 && S_ISREG(info.st_mode);
    if (regular && info.st_nlink > 1) {
        // A hard link in the folder could name any file of the replaying user's wherever the
        // system lets links to others' files be made: replay reads none.
        return Fail(line, "load: \"" + file + "\" has other names (hard links)");
    }
    if (regular && static_cast<uint64_t>(info.st_size) > kMaxLoadBytes) {  // even for a part of it
        return Fail(line, "load: \"" + file + "\" is larger than 64 MiB");
    }
    // Refused before it is read, from its size; the read below stays within kMaxLoadBytes.
    const uint64_t adding = part ? length : regular ? static_cast<uint64_t>(info.st_size) : 0;
    if (adding > kMaxLoadedBytes - *line.loadedBytes) {
        return Fail(line, "load: the load lines place more than 512 MiB in all");
    }
    // Read whole before storing anything past the checks, so a failure leaves no part.
    std::string bytes;
    switch (ReadRegular(in.get(), start, length, !part, kMaxLoadBytes, &bytes)) {
    case ReadStatus::kRead:
        break;
    case ReadStatus::kNotRegular:
        return Fail(line, "load: \"" + file + "\" is not a regular file");
    case ReadStatus::kTooBig:
        return Fail(line, "load: \"" + file + "\" is larger than 64 MiB");
    case ReadStatus::kShort:
        return Fail(line, "load: \"" + file + "\" ends before OFFSET + LENGTH");
    case ReadStatus::kFailed:
        return Fail(line, "load: cannot read \"" + file + "\"");
    }
    const uint32_t phys = address & kPhysMask;
    if (bytes.size() > kPhysSpace - phys) {
        return Fail(line, "load: \"" + file + "\" runs past the end of physical memory");
    }
    if (bytes.size() > kMaxLoadedBytes - *line.loadedBytes) {  // it grew while it was read
        return Fail(line, "load: the load lines place more than 512 MiB in all");
    }
    *line.loadedBytes += bytes.size();
    MemoryWriteBytes(&target->memory, phys, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return true;
}

bool CountPictureLine(const Line& line) {
    if (++*line.pictureLines > kMaxPictureLines) {
        return Fail(line, line.fields[0] + ": more than 64 pattern and jpeg lines");
    }
    return true;
}

bool DoPattern(const Line& line, Target* target) {
    static const struct {
        const char* name;
        Layout layout;
    } kLayouts[] = {
        {"YUV_444C10", Layout::kYuv444C10},
        {"YUV_444C8", Layout::kYuv444C8},
        {"YUV_422C10", Layout::kYuv422C10},
        {"YUV_422C8", Layout::kYuv422C8},
    };
    if (!NeedField(line, 1, "LAYOUT")) {
        return false;
    }
    PatternRequest request{};
    bool known = false;
    for (const auto& entry : kLayouts) {
        if (line.fields[1] == entry.name) {
            request.layout = entry.layout;
            known = true;
        }
    }
    if (!known) {
        return Fail(line, "pattern: LAYOUT \"" + line.fields[1] +
                              "\" is not YUV_444C10, YUV_444C8, YUV_422C10 or YUV_422C8");
    }
    if (!U32Field(line, 2, "WIDTH", &request.width) || !U32Field(line, 3, "HEIGHT", &request.height) ||
        !NeedField(line, 4, "SCAN") || !PlantedFault(line, request.layout, &request.fault)) {
        return false;
    }
    if (line.fields[4] == "interlaced") {
        request.interlaced = true;
    } else if (line.fields[4] != "progressive") {
        return Fail(line, "pattern: SCAN \"" + line.fields[4] + "\" is not progressive or interlaced");
    }
    if (!CountPictureLine(line)) {
        return false;
    }
    std::string reason;
    if (!ApplyPattern(target, request, &reason)) {
        return Fail(line, reason);
    }
    return true;
}

bool DoJpeg(const Line& line, Target* target) {
    uint32_t width = 0;
    uint32_t height = 0;
    if (!U32Field(line, 1, "WIDTH", &width) || !U32Field(line, 2, "HEIGHT", &height) || !NoMoreFields(line, 3) ||
        !CountPictureLine(line)) {
        return false;
    }
    std::string reason;
    if (!ApplyJpeg(target, width, height, &reason)) {
        return Fail(line, reason);
    }
    return true;
}

bool DoRefuse(const Line& line, Target* target) {
    if (!NeedField(line, 1, "CODE")) {
        return false;
    }
    // A last field that names an error says what the codes fail with.
    size_t count = line.fields.size();
    int error = EINVAL;
    const std::string& last = line.fields.back();
    if (count > 2 && !last.empty() && last[0] == 'E') {
        bool known = false;
        for (const ErrorName& entry : kErrorNames) {
            if (last == entry.name) {
                error = entry.error;
                known = true;
            }
        }
        if (!known) {
            return Fail(line, "refuse: ERROR \"" + last + "\" is not an error name this file knows");
        }
        --count;
    }
    std::vector<Refusal> refusals;
    for (size_t i = 1; i < count; ++i) {
        int64_t code = 0;
        if (!NumberField(line, i, "CODE", FieldType::kHexCode, &code)) {
            return false;
        }
        refusals.push_back(Refusal{static_cast<uint32_t>(code), error});
    }
    target->refused.insert(target->refused.end(), refusals.begin(), refusals.end());
    return true;
}

bool ApplyLine(const Line& line, Target* target) {
    static const struct {
        const char* name;
        bool (*apply)(const Line&, Target*);
    } kDirectives[] = {
        {"nodes", DoNodes}, {"capture", DoCapture}, {"zoom", DoZoom},       {"border", DoBorder},
        {"panel", DoPanel}, {"word", DoWord},       {"load", DoLoad},       {"pattern", DoPattern},
        {"jpeg", DoJpeg},   {"refuse", DoRefuse},   {"file", DoFile},       {"mapword", DoMapWord},
        {"maprefuse", DoMapRefuse},
    };
    for (const auto& directive : kDirectives) {
        if (line.fields[0] == directive.name) {
            return directive.apply(line, target);
        }
    }
    return Fail(line, "unknown directive \"" + line.fields[0] + "\"");
}

}  // namespace

std::vector<std::string> TargetLineFields(const std::string& line) {
    return LineFields(line, 0, line.size());
}

uint32_t NodeOfPath(const char* path) {
    if (std::strcmp(path, kVipDevice) == 0) {
        return kNodeVip;
    }
    if (std::strcmp(path, kMmioDebugDevice) == 0) {
        return kNodeMmioDebug;
    }
    if (std::strcmp(path, kMmioDevice) == 0) {
        return kNodeMmio;
    }
    if (std::strcmp(path, kMemoryDevice) == 0) {
        return kNodeMemory;
    }
    return 0;
}

void TargetClear(Target* target) {
    target->nodes = kNodeVip | kNodeMmio;
    target->hasCapture = false;
    target->capture = CaptureAnswer{};
    target->hasZoom = false;
    target->zoom = 0;
    target->hasBorder = false;
    std::memset(target->border, 0, sizeof target->border);
    target->hasPanel = false;
    target->panel = PanelAnswer{};
    target->refused.clear();
    target->file.clear();
    target->mappedWords.clear();
    target->mapError = 0;
    MemoryClear(&target->memory);
}

bool ParseTarget(const std::string& name, const LoadFolder& folder, const std::string& text, Target* target,
                 std::string* error) {
    LoadFolderState loadFolder{&folder, folder.fd, Descriptor()};
    int pictureLines = 0;
    uint64_t loadedBytes = 0;
    int number = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        ++number;
        Line line{&name, &loadFolder, number, LineFields(text, start, end), error, &pictureLines,
                  &loadedBytes};
        start = end + 1;
        if (line.fields.empty()) {
            continue;
        }
        if (!ApplyLine(line, target)) {
            return false;
        }
    }
    // Sorted once, so a register read finds its refusal in log time however many codes
    // the target lists; where a code is listed twice the first line says how it fails.
    std::vector<Refusal>& refused = target->refused;
    std::stable_sort(refused.begin(), refused.end(),
                     [](const Refusal& a, const Refusal& b) { return a.code < b.code; });
    refused.erase(std::unique(refused.begin(), refused.end(),
                              [](const Refusal& a, const Refusal& b) { return a.code == b.code; }),
                  refused.end());
    return true;
}

}  // namespace sim
