// What the tests and the fuzz drivers share: the one oracle of what a capture writes
// (worked out from frame memory with the reference operations Read10Bit and YuvToRgb),
// the order of the frame slots, the capture registers decoded, and a few plain tools.
// No GoogleTest here: the fuzz drivers compile it too.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace support {

// ---- What a capture writes

// Colour space 1 (4:4:4) or 2 (4:2:2); encode mode 3 (10-bit chroma) or 4 (8-bit chroma).
struct Layout {
    uint32_t colorSpace;
    uint32_t encodeMode;
};

// One frame line in the pixels a viewer shows, R, G, B each: the BMP writer's colour,
// or for the YUV dump Y, Cb, Cr on the 8-bit scale saturated at 255. `luma` and `chroma`
// are the line's bytes as far as frame memory gives them; samples past them read as 0.
std::vector<uint8_t> ExpectedRgb(const std::vector<uint8_t>& luma, const std::vector<uint8_t>& chroma,
                                 Layout layout, uint32_t width, bool yuv);

// The numbers the PPM writer prints for one line: Y, Cb, Cr per pixel on the 10-bit
// scale (8-bit chroma times 4).
std::vector<uint32_t> ExpectedPpmNumbers(const std::vector<uint8_t>& luma, const std::vector<uint8_t>& chroma,
                                         Layout layout, uint32_t width);

// A line of the JPEG engine's buffer (Cr, Cb, Y bytes per pixel, as far as memory gives
// them) as the BMP row the dump writes: B, G, R per pixel, then the padding bytes as the
// line holds them, unconverted (zero past its end).
std::vector<uint8_t> ExpectedJpegRow(const std::vector<uint8_t>& bytes, uint32_t width);

// The BMP container: rows of B, G, R padded with zeros to a multiple of 4, bottom row first.
uint64_t BmpRowBytes(uint32_t width);
std::vector<uint8_t> BmpHeader(uint32_t width, uint32_t height);
std::vector<uint8_t> BmpRow(const std::vector<uint8_t>& rgb);

// The PPM header: three lines, each ending in NUL and line feed.
std::string PpmHeader(uint32_t width, uint32_t height);

// A frame's lines in frame memory, top first.
struct FrameMemory {
    uint32_t width = 0;
    Layout layout{};
    std::vector<std::vector<uint8_t>> luma;
    std::vector<std::vector<uint8_t>> chroma;
    uint32_t slot = 0;  // in the frame order table, as its address line shows it
};

// The YUV4MPEG2 stream of `frames` (all of one geometry and layout): the header, then per
// frame "FRAME" and the Y, Cb, Cr planes of 16-bit little-endian samples, the numbers the
// PPM prints (a 4:2:2 pair's chroma once).
std::string Y4mHeader(uint32_t width, uint32_t height, const std::string& chroma);
std::vector<uint8_t> ExpectedY4m(const std::vector<FrameMemory>& frames);

// The JPEG engine's buffer (lines of Cr, Cb, Y bytes, as far as memory gives them) as a
// one-frame 8-bit 4:4:4 stream.
std::vector<uint8_t> ExpectedJpegY4m(const std::vector<std::vector<uint8_t>>& lines, uint32_t width);

// The levels report: its header line, then Y, Cb and Cr rows for each frame (frame i of
// `frames` is frame i of the capture), counted pixel by pixel.
std::vector<uint8_t> ExpectedLevels(const std::vector<FrameMemory>& frames);
// The JPEG engine's buffer (lines of Cr, Cb, Y bytes, as far as memory gives them) as its
// report: frame 0, slot 0, 8-bit components.
std::vector<uint8_t> ExpectedJpegLevels(const std::vector<std::vector<uint8_t>>& lines, uint32_t width);

// ---- Each output format's expected bytes, one entry per ending of the format table
// (memget/output_formats.h); the tests, fuzz_capture and the format table test read
// nothing else about a format.
struct FormatOracle {
    const char* ending;
    // The whole file: one frame's file (`frames` holds that frame), or the stream of all.
    std::vector<uint8_t> (*file)(const std::vector<FrameMemory>& frames);
    // The file the JPEG road writes of the engine's buffer: its lines of Cr, Cb, Y bytes
    // (as far as memory gives them), `width` pixels each.
    std::vector<uint8_t> (*jpeg)(const std::vector<std::vector<uint8_t>>& lines, uint32_t width);
    // What the writer prints on standard output when the first write of a frame fails,
    // and when one after the header does.
    const char* firstWriteError;
    const char* laterWriteError;
};

// The entry for `ending` (".bmp"); null when the oracle does not know it.
const FormatOracle* FindOracle(const std::string& ending);

// Sets 10-bit sample n of a packed line (least significant bit first), growing the line
// when it is too short.
void Put10(std::vector<uint8_t>* line, uint32_t n, uint32_t value);

// ---- Where a capture reads

// The frame buffers a capture reads, uncached, from the driver's figures: groups of
// three buffers (six when interlaced) follow one another, and within a group the frames
// take the slots in the order 0 3 1 4 2 5 (progressive frames every other one: 0 1 2).
struct CaptureArea {
    uint32_t addrY, addrUV, sizeY, sizeUV;
};
struct FrameBuffers {
    uint32_t slot;
    uint32_t y;
    uint32_t uv;
};
FrameBuffers SlotBuffers(const CaptureArea& area, bool interlaced, uint32_t group, uint32_t slot);
FrameBuffers FrameBuffersOf(const CaptureArea& area, bool interlaced, uint32_t frame);

// The capture registers decoded as the capture decodes them. `read` gives the word at an
// aligned register address.
using RegisterRead = std::function<uint32_t(uint32_t address)>;

struct FrameProbe {
    bool interlaced = false;
    uint32_t lineOffsetY = 0, lineOffsetUV = 0, height = 0, width = 0;
    uint32_t flags = 0;  // bit k: format flag byte k has bit 0 set
    Layout layout{};     // of the first flag set; {0, 0} when none is
    bool usable = false;  // line offset, height and a layout all present
};
FrameProbe ProbeFrame(const RegisterRead& read);

struct JpegProbe {
    bool valid = false;  // neither extent runs backwards (width and height are 0 otherwise)
    uint32_t base = 0, width = 0, height = 0, lineOffset = 0;
};
JpegProbe ProbeJpeg(const RegisterRead& read);

// ---- Tools

// "0x…" in lower case, as target files and the tool's messages write addresses.
std::string Hex(uint32_t value);

// Target-file `word` lines that put `bytes` into memory from `address` on (little-endian,
// the last word zero-filled).
std::string WordLines(uint32_t address, const std::vector<uint8_t>& bytes);

// Splits text (a log, a target file) into its lines.
std::vector<std::string> Lines(const std::string& text);

// The whole file ("" when it cannot be read); writing replaces the file.
std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& bytes);

// The names in `folder`, "." and ".." left out.
std::vector<std::string> FolderNames(const std::string& folder);

// Every name in `folder`, with its contents.
std::map<std::string, std::string> FolderFiles(const std::string& folder);

// Removes everything inside `folder`, not the folder itself; links are removed, not followed.
void EmptyFolder(const std::string& folder);

// A fresh empty folder under `parent` (empty: $TMPDIR, else /tmp), removed with all it
// holds when the object goes. Path() is empty when it could not be made.
class TempDir {
public:
    explicit TempDir(const std::string& parent = "");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace support
