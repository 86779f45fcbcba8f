// What a target file describes: which device nodes exist, the VIP driver's answers and
// refusals, and the memory behind the register-access driver.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/memory.h"

namespace sim {

enum Node : uint32_t {
    kNodeVip = 1u << 0,        // /dev/zorvip
    kNodeMmioDebug = 1u << 1,  // /dev/zormmio-dbg
    kNodeMmio = 1u << 2,       // /dev/zormmio
    kNodeMemory = 1u << 3,     // /dev/mem: frame memory mapped read-only
    kNodeFile = 1u << 4,       // the regular file a `file` line names
};

// A word the memory node's mapping shows differently from the register-access driver:
// memory changed behind the driver's back.
struct MappedWord {
    uint32_t phys;  // a multiple of 4
    uint32_t value;
};

struct CaptureAnswer {
    uint32_t addrY;
    uint32_t addrUV;
    uint32_t sizeY;
    uint32_t sizeUV;
    int32_t count;
};

struct PanelAnswer {
    uint32_t hres;
    uint32_t vres;
    uint32_t pages[6];
};

// Requests with `code` fail with `error`.
struct Refusal {
    uint32_t code;
    int error;
};

struct Target {
    uint32_t nodes = kNodeVip | kNodeMmio;
    bool hasCapture = false;
    CaptureAnswer capture{};
    bool hasZoom = false;
    int8_t zoom = 0;
    bool hasBorder = false;
    int32_t border[4] = {};
    bool hasPanel = false;
    PanelAnswer panel{};
    std::vector<Refusal> refused;  // sorted by code, one entry per code
    std::string file;                   // `file PATH`: a regular file there
    std::vector<MappedWord> mappedWords;  // in file order: a later line wins
    int mapError = 0;                     // `maprefuse`: maps of the memory node fail so
    Memory memory;
};

// Back to a target with no file applied (every field at its default).
void TargetClear(Target* target);

// Where `load` names are found: the folder open at `fd`, or, while `fd` is -1, the folder
// at `path` ("" for the current one), opened at the first `load` line. `path` is also
// what messages call it.
struct LoadFolder {
    std::string path;
    int fd = -1;
};

// Applies target text to an empty target. `name` is what error messages call the file.
// A `load` name must be relative, free of `..` and links, and name a regular file beneath
// `folder`. On failure `*error` is "NAME:LINE: REASON" and the target must be thrown away.
bool ParseTarget(const std::string& name, const LoadFolder& folder, const std::string& text,
                 Target* target, std::string* error);

// One line of target text as the parser reads it: the `#` comment dropped, the rest cut
// at blanks (space, tab, carriage return). fields[0] is the directive; none on a blank line.
std::vector<std::string> TargetLineFields(const std::string& line);

// Maps a device path to its Node bit; 0 for any other path.
uint32_t NodeOfPath(const char* path);

struct PatternRequest {
    Layout layout;
    uint32_t width;
    uint32_t height;
    bool interlaced;
    uint32_t fault;  // PackFault (sim/memory.h), 0 for none
};

// Programs the capture registers for a pattern and lays a test picture into every frame
// slot the capture answer's count reaches. On failure `*reason` says why and the target
// is unchanged.
bool ApplyPattern(Target* target, const PatternRequest& request, std::string* reason);

// Programs the JPEG-buffer registers and lays the test picture into the buffer.
bool ApplyJpeg(Target* target, uint32_t width, uint32_t height, std::string* reason);

// Where `jpeg` puts its buffer (physical).
constexpr uint32_t kJpegBufferBase = 0x04000000;

}  // namespace sim
