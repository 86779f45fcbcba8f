// Every output format end to end against the simulated target, and the YUV4MPEG2 stream
// in detail: frames, slots, samples, what real readers make of it, and its refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "memget/capture_names.h"
#include "memget/output_formats.h"
#include "tests/sim_runner.h"

namespace {

using support::FrameMemory;
using support::ReadFile;

constexpr support::CaptureArea kArea{0x100000, 0x180000, 0x1000, 0x800};
constexpr uint32_t kLineOffset = 256;

struct Layout {
    support::Layout layout;
    uint32_t flag;  // the format flag byte that selects it
    const char* name;
};
constexpr Layout kLayouts[] = {
    {{1, 3}, 0, "444C10"}, {{1, 4}, 1, "444C8"}, {{2, 3}, 2, "422C10"}, {{2, 4}, 3, "422C8"}};

// Capture registers for width x height in `layout`, 256-byte line offsets.
std::string Registers(const Layout& layout, uint32_t width, uint32_t height, bool interlaced, int count) {
    using support::Hex;
    return "nodes /dev/zorvip /dev/zormmio\ncapture " + Hex(kArea.addrY) + " " + Hex(kArea.addrUV) + " " +
           Hex(kArea.sizeY) + " " + Hex(kArea.sizeUV) + " " + std::to_string(count) + "\n" +
           "word 0xbe1c6000 " + (interlaced ? "0x8" : "0x0") + "\nword 0xbe1c61b0 0x00010001\n" +
           "word 0xbe1c61a0 " + Hex(height) + "\nword 0xbe1cfcc8 " + Hex(width) + "\nword 0xbe1cfcc0 0x0\n" +
           "word 0xbe1cc048 " + Hex(width) + "\nword 0xbe1cc040 0x0\nword 0xbe1c4030 " + Hex(1u << (8 * layout.flag)) +
           "\n";
}

// Random lines in every buffer of the first two groups; returns the frames in buffer order.
std::vector<FrameMemory> FillBuffers(const Layout& layout, uint32_t width, uint32_t height, bool interlaced,
                                     std::string* target) {
    std::mt19937 rng(width * 31 + layout.flag * 7 + (interlaced ? 1 : 0));
    const uint32_t groupSize = interlaced ? 6 : 3;
    std::vector<FrameMemory> buffers;
    for (uint32_t group = 0; group < 2; ++group) {
        for (uint32_t slot = 0; slot < groupSize; ++slot) {
            FrameMemory frame;
            frame.width = width;
            frame.layout = layout.layout;
            const support::FrameBuffers at = support::SlotBuffers(kArea, interlaced, group, slot);
            for (uint32_t line = 0; line < height; ++line) {
                std::vector<uint8_t> y(kLineOffset), c(kLineOffset);
                for (auto& b : y) b = static_cast<uint8_t>(rng());
                for (auto& b : c) b = static_cast<uint8_t>(rng());
                *target += support::WordLines(at.y + line * kLineOffset, y) +
                           support::WordLines(at.uv + line * kLineOffset, c);
                frame.luma.push_back(y);
                frame.chroma.push_back(c);
            }
            buffers.push_back(frame);
        }
    }
    return buffers;
}

// The frames a capture of `count` writes, in order, from the buffers of FillBuffers.
std::vector<FrameMemory> CapturedFrames(const std::vector<FrameMemory>& buffers, bool interlaced, int count) {
    std::vector<FrameMemory> frames;
    for (int i = 0; i < count; ++i) {
        const support::FrameBuffers at = support::FrameBuffersOf(kArea, interlaced, static_cast<uint32_t>(i));
        frames.push_back(buffers[(i / (interlaced ? 6 : 3)) * (interlaced ? 6 : 3) + at.slot]);
    }
    return frames;
}

// What a real reader makes of the stream: "width,height,pix_fmt,frames" from ffprobe, and
// whether ffmpeg decodes every frame without a complaint.
std::string Probe(const std::string& path, bool* decodes) {
    std::string out;
    FILE* pipe = popen(("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                        "stream=width,height,pix_fmt,nb_read_frames -of csv=p=0 '" + path + "' 2>&1").c_str(), "r");
    if (pipe == nullptr) return out;
    char chunk[256];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
    pclose(pipe);
    *decodes = system(("test -z \"$(ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1)\"").c_str()) == 0;
    return out;
}

TEST(Y4mCapture, EveryLayoutAndScanIsOneExactStream) {
    ASSERT_EQ(system("command -v ffprobe >/dev/null && command -v ffmpeg >/dev/null"), 0)
        << "ffmpeg is missing: apt-get install ffmpeg";
    for (const Layout& layout : kLayouts) {
        for (const bool interlaced : {false, true}) {
            for (const uint32_t width : {1u, 7u, 12u}) {
                const int count = interlaced ? 8 : 4;  // into the second group
                std::string target = Registers(layout, width, 3, interlaced, count);
                const auto frames = CapturedFrames(FillBuffers(layout, width, 3, interlaced, &target), interlaced, count);
                simrun::Options options;
                options.target = target;
                const simrun::Result run = simrun::Run({"memget", "cap.y4m"}, options);
                SCOPED_TRACE(std::string(layout.name) + (interlaced ? " interlaced" : " progressive") + " width " +
                             std::to_string(width));
                EXPECT_EQ(run.status, 0) << run.err;
                EXPECT_EQ(support::FolderNames(run.workDir), std::vector<std::string>{"cap.y4m"});
                const std::string file = ReadFile(run.workDir + "/cap.y4m");
                const std::vector<uint8_t> expected = support::ExpectedY4m(frames);
                EXPECT_EQ(file, std::string(expected.begin(), expected.end()));
                const bool is422 = layout.layout.colorSpace == 2;
                const uint32_t chromaWidth = is422 ? (width + 1) / 2 : width;
                const std::string header = "YUV4MPEG2 W" + std::to_string(width) + " H3 F25:1 Ip A0:0 C" +
                                           (is422 ? "422p10" : "444p10") + "\n";
                EXPECT_EQ(file.size(), header.size() + count * (6 + 2 * 3 * (width + 2 * chromaWidth)));
                EXPECT_EQ(file.compare(0, header.size(), header), 0);
                EXPECT_EQ(file.compare(header.size(), 6, "FRAME\n"), 0);
                // Every frame is announced under the stream's name.
                size_t blocks = 0;
                for (size_t at = 0; (at = run.out.find("Output name: cap.y4m\n", at)) != std::string::npos; ++at) ++blocks;
                EXPECT_EQ(blocks, static_cast<size_t>(count));
                if (width != 7) {
                    continue;  // the readers take a second a file: one odd width each
                }
                bool decodes = false;
                const std::string probed = Probe(run.workDir + "/cap.y4m", &decodes);
                EXPECT_EQ(probed, std::to_string(width) + ",3," + (is422 ? "yuv422p10le" : "yuv444p10le") +
                                      "," + std::to_string(count) + "\n");
                EXPECT_TRUE(decodes);
            }
        }
    }
}

// JPEG-buffer registers for a width x height picture at physical 0x10000, lines 256 bytes.
std::string JpegRegisters(uint32_t width, uint32_t height) {
    using support::Hex;
    return "nodes /dev/zorvip /dev/zormmio\ncapture 0x100000 0x180000 0x1000 0x800 1\n"
           "word 0xbe1c8044 0x1\nword 0xbe1c8060 0x1000\nword 0xbe1c8074 0x1\nword 0xbe1cc400 0x0\n"
           "word 0xbe1cc404 0x0\nword 0xbe1cc408 " + Hex(width / 2 - 1) + "\nword 0xbe1cc40c " + Hex(height) + "\n";
}

TEST(Y4mCapture, TheJpegBufferIsOneEightBitFrameOfItsOwnBytes) {
    std::string target = JpegRegisters(6, 2);
    std::vector<std::vector<uint8_t>> lines;
    std::mt19937 rng(5);
    for (uint32_t line = 0; line < 2; ++line) {
        std::vector<uint8_t> bytes(kLineOffset);
        for (auto& b : bytes) b = static_cast<uint8_t>(rng());
        target += support::WordLines(0x80010000u + line * kLineOffset, bytes);
        lines.push_back(bytes);
    }
    simrun::Options options;
    options.target = target;
    const simrun::Result run = simrun::Run({"memget", "j.y4m"}, options);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<uint8_t> expected = support::ExpectedJpegY4m(lines, 6);
    EXPECT_EQ(ReadFile(run.workDir + "/j.y4m"), std::string(expected.begin(), expected.end()));
    bool decodes = false;
    EXPECT_EQ(Probe(run.workDir + "/j.y4m", &decodes), "6,2,yuv444p,1\n");
    EXPECT_TRUE(decodes);
}

TEST(Y4mCapture, RefusalsAndFailuresLeaveTheNameAsItWas) {
    const std::string name39 = std::string(35, 'n') + ".y4m";
    struct Case {
        std::string target;
        std::string name;
        uint64_t sizeLimit;
        int status;
        std::string err;   // the one line on standard error
        bool written;      // NAME holds a new stream
    };
    const Case cases[] = {
        // 39 characters whatever the count; 40 refused, with the stream's own limit
        {Registers(kLayouts[2], 5, 2, true, 9), name39, 0, 0, "", true},
        {Registers(kLayouts[2], 5, 2, true, 9), "x" + name39, 0, 1,
         "avrig: the file name is too long: x" + name39 + " (at most 39 characters for 9 frame(s))\n", false},
        {Registers(kLayouts[2], 5, 2, true, 0), "cap.y4m", 0, 0, "", false},  // no frame, no file
        {Registers(kLayouts[0], 0, 2, false, 2), "cap.y4m", 0, 1,
         "avrig: a YUV4MPEG2 stream cannot hold a 0x2 picture\n", false},
        {JpegRegisters(6, 0), "cap.y4m", 0, 1, "avrig: a YUV4MPEG2 stream cannot hold a 6x0 picture\n", false},
        // the third frame meets a full disk: the whole stream is not written
        {Registers(kLayouts[0], 64, 2, false, 3), "cap.y4m", 1400, 1,
         "avrig: cap.y4m was not written: File too large\n", false},
    };
    for (const Case& c : cases) {
        const support::TempDir dir;
        ASSERT_TRUE(support::WriteFile(dir.Path() + "/" + c.name, "earlier"));
        simrun::Options options;
        options.target = c.target;
        options.workDir = dir.Path();
        options.fileSizeLimit = c.sizeLimit;
        const simrun::Result run = simrun::Run({"memget", c.name}, options);
        SCOPED_TRACE(c.name + " " + c.err);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(support::FolderNames(dir.Path()), std::vector<std::string>{c.name});
        EXPECT_EQ(ReadFile(dir.Path() + "/" + c.name) != "earlier", c.written);
    }
}

// Each row of the format table makes, from the frame road and from the JPEG road, the
// files the oracle expects: a row without a writer or without expected bytes fails here.
TEST(OutputFormats, EveryRowIsServedEndToEnd) {
    for (const OutputFormat& format : kOutputFormats) {
        SCOPED_TRACE(format.ending);
        support::Output output{};
        ASSERT_TRUE(support::OutputOfEnding(format.ending, &output)) << "no expected bytes for this ending";
        ASSERT_NE(format.write, nullptr);
        std::string target = Registers(kLayouts[2], 5, 2, false, 2);
        const auto frames = CapturedFrames(FillBuffers(kLayouts[2], 5, 2, false, &target), false, 2);
        simrun::Options options;
        options.target = target;
        const std::string name = std::string("f") + format.ending;
        const simrun::Result run = simrun::Run({"memget", name}, options);
        EXPECT_EQ(run.status, 0) << run.err;
        std::vector<std::vector<uint8_t>> files;
        if (format.streamHeader != nullptr) {
            files.push_back(support::ExpectedY4m(frames));
        } else {
            for (const FrameMemory& frame : frames) files.push_back(support::ExpectedFile(frame, output));
        }
        const std::vector<std::string> names = support::FolderNames(run.workDir);
        ASSERT_EQ(names.size(), files.size());
        for (size_t i = 0; i < files.size(); ++i) {
            char frameName[kFileNameSize];
            FrameName(frameName, name.c_str(), static_cast<int32_t>(i), static_cast<int32_t>(files.size()));
            EXPECT_EQ(ReadFile(run.workDir + "/" + frameName), std::string(files[i].begin(), files[i].end()));
        }

        options.target = JpegRegisters(4, 1) + support::WordLines(0x80010000u, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
        const simrun::Result jpeg = simrun::Run({"memget", name}, options);
        EXPECT_EQ(jpeg.status, 0) << jpeg.err;
        const std::vector<uint8_t> line{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        std::vector<uint8_t> expected = support::ExpectedJpegY4m({line}, 4);
        if (output != support::Output::kY4m) {
            expected = support::BmpHeader(4, 1);
            const auto row = support::BmpRow(support::ExpectedJpegRgb(line, 4));
            expected.insert(expected.end(), row.begin(), row.end());
        }
        EXPECT_EQ(ReadFile(jpeg.workDir + "/" + name), std::string(expected.begin(), expected.end()));
    }
}

// The board's layout cases capture into every ending the table has.
TEST(OutputFormats, TheBoxCasesNameEveryEnding) {
    const std::vector<std::string> lines = support::Lines(ReadFile(AVRIG_SOURCE_DIR "/box/cases/cases"));
    for (const char* layout : {"444c10-", "444c8-", "422c10-", "422c8-"}) {
        const auto line =
            std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(layout, 0) == 0; });
        ASSERT_NE(line, lines.end()) << layout;
        for (const OutputFormat& format : kOutputFormats) {
            EXPECT_NE((*line + " ").find(std::string(format.ending) + " "), std::string::npos)
                << *line << " lacks " << format.ending;
        }
    }
}

}  // namespace
