// The capture's output formats, one row each, chosen by the requested name's ending.
//
// Adding a per-frame output format touches these ten files and no others:
//  1. image/NAME.cpp: the writer (FILE*, FrameFormat*, LineSource), built on the row
//     builders and plane helpers of image/frame_rows.h;
//  2. image/writers.h: its declaration (and its FrameCheck, if it refuses frames none
//     of the others' checks does);
//  3. image/CMakeLists.txt: the source;
//  4. memget/frame_writers.h and 5. memget/frame_writers.cpp: WriteXxx(CaptureDescriptor*)
//     over it (a stream also gets its header writer; a JPEG-road writer goes in
//     memget/jpeg_dump.* only if the JPEG buffer needs bytes none of them writes);
//  6. this file: its row in kOutputFormats. The request check, the writer choice, the
//     refusal before any file, the name limits, fuzz_capture and bench/run read the table;
//  7. tests/support.cpp: its entry in the oracle (the file's bytes, the JPEG road's, the
//     short-write messages), which the writer tests, the end-to-end test and
//     fuzz_capture compare with;
//  8. bench/goals: its case name and goals;
//  9. box/cases/cases: the ending in the four layout cases;
// 10. README.md: its line in the output table.
// The format table tests fail for a row without a writer, an oracle entry, bench goals
// or box cases.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "image/writers.h"
#include "memget/capture_descriptor.h"
#include "memget/frame_writers.h"
#include "memget/jpeg_dump.h"

// The planes a writer fetches of every line.
enum PlaneSet : uint8_t { kLumaPlane = 1, kChromaPlane = 2, kBothPlanes = kLumaPlane | kChromaPlane };

struct OutputFormat {
    const char* ending;  // four characters, the dot first
    // Writes the frame the descriptor points at into desc->pFile: a whole file, or the
    // stream's next frame.
    int (*write)(CaptureDescriptor* desc);
    uint8_t planes;       // PlaneSet
    // What its file cannot hold beyond the geometry every writer checks, asked before the
    // file is created: of each frame's format, and of the JPEG buffer's picture.
    FrameCheck accepts;
    uint8_t sampleBytes;  // bytes of each sample in the file; 0 for decimal text
    // Null: one file per frame (NAME_NNN.ext from two frames on). Otherwise the capture is
    // one stream under NAME, this its header, written before the first frame.
    int (*streamHeader)(CaptureDescriptor* desc);
    // The JPEG engine's buffer into desc->pFile, when that is the picture; null: such a
    // capture is refused.
    int (*jpeg)(CaptureDescriptor* desc, const JpegBuffer& jpeg);
    // The name that writes the stream to standard output instead ("-" and the ending); null
    // for none. A terminal there is refused unless the samples are text (sampleBytes 0).
    const char* standardOutput;
};

inline constexpr OutputFormat kOutputFormats[] = {
    {".bmp", WriteBmp, kBothPlanes, BmpAccepts, 1, nullptr, WriteJpegRows, nullptr},
    {".pbm", WritePbm, kBothPlanes, AnyAccepts, 0, nullptr, WriteJpegRows, nullptr},
    {".yuv", WriteYUV, kBothPlanes, BmpAccepts, 1, nullptr, WriteJpegRows, nullptr},
    {".y4m", WriteY4m, kBothPlanes, Y4mAccepts, 2, WriteY4mStream, WriteJpegPlanes, "-.y4m"},
    {".csv", WriteCsv, kBothPlanes, LevelsAccepts, 0, WriteCsvStream, WriteCsvJpeg, "-.csv"},
};

// The four characters of an ending packed first-in-most-significant-byte, as the
// descriptor's uiFileType holds them.
constexpr uint32_t PackEnding(const char* ending) {
    return (uint32_t{static_cast<unsigned char>(ending[0])} << 24) |
           (uint32_t{static_cast<unsigned char>(ending[1])} << 16) |
           (uint32_t{static_cast<unsigned char>(ending[2])} << 8) | uint32_t{static_cast<unsigned char>(ending[3])};
}

// The row of a packed ending; null when no format has it.
constexpr const OutputFormat* FindOutputFormat(uint32_t packedEnding) {
    for (const OutputFormat& format : kOutputFormats) {
        if (PackEnding(format.ending) == packedEnding) {
            return &format;
        }
    }
    return nullptr;
}

// Files a capture of `count` frames leaves: one per frame, or the one stream (none for
// no frames).
constexpr int32_t FileCount(const OutputFormat& format, int32_t count) {
    return format.streamHeader == nullptr ? count : (count > 0 ? 1 : 0);
}

// The row whose standard-output name `name` is; null for any other name.
inline const OutputFormat* StandardOutputFormat(const char* name) {
    for (const OutputFormat& format : kOutputFormats) {
        if (format.standardOutput != nullptr && std::strcmp(format.standardOutput, name) == 0) {
            return &format;
        }
    }
    return nullptr;
}

constexpr bool EndingsDiffer() {
    for (const OutputFormat& a : kOutputFormats) {
        if (a.ending[0] != '.' || a.ending[1] == 0 || a.ending[2] == 0 || a.ending[3] == 0 || a.ending[4] != 0 ||
            FindOutputFormat(PackEnding(a.ending)) != &a) {
            return false;
        }
        const char* name = a.standardOutput;
        if (name != nullptr && (name[0] != '-' || name[5] != 0 || PackEnding(name + 1) != PackEnding(a.ending))) {
            return false;
        }
    }
    return true;
}
static_assert(EndingsDiffer(), "every ending is a dot and three characters, each in one row; a standard-output "
                               "name is the ending after a dash");
