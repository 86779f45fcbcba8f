// Every row of the output format table end to end against the simulated target, and the
// YUV4MPEG2 stream: slots, samples, what ffmpeg makes of it, its refusals.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

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
using support::Hex;
using support::ReadFile;

constexpr support::CaptureArea kArea{0x100000, 0x180000, 0x1000, 0x800};
constexpr support::Layout kLayouts[] = {{1, 3}, {1, 4}, {2, 3}, {2, 4}};  // format flag bytes 0..3

// A capture of `count` width x 3 frames in layout k (256-byte lines), random lines in every
// buffer of two groups; `frames` gets what each frame of the capture holds.
std::string Capture(uint32_t k, uint32_t width, bool interlaced, int count, std::vector<FrameMemory>* frames) {
    std::string target = "nodes /dev/zorvip /dev/zormmio\ncapture " + Hex(kArea.addrY) + " " + Hex(kArea.addrUV) +
                         " " + Hex(kArea.sizeY) + " " + Hex(kArea.sizeUV) + " " + std::to_string(count) +
                         "\nword 0xbe1c6000 " + (interlaced ? "0x8" : "0x0") +
                         "\nword 0xbe1c61b0 0x00010001\nword 0xbe1c61a0 0x3\nword 0xbe1cfcc8 " + Hex(width) +
                         "\nword 0xbe1cc048 " + Hex(width) + "\nword 0xbe1c4030 " + Hex(1u << (8 * k)) + "\n";
    std::mt19937 rng(width * 8 + k * 2 + interlaced);
    const uint32_t groupSize = interlaced ? 6 : 3;
    std::vector<FrameMemory> buffers(2 * groupSize, FrameMemory{width, kLayouts[k], {}, {}});
    for (uint32_t buffer = 0; buffer < 2 * groupSize; ++buffer) {
        const auto at = support::SlotBuffers(kArea, interlaced, buffer / groupSize, buffer % groupSize);
        for (uint32_t line = 0; line < 3; ++line) {
            std::vector<uint8_t> y(256), c(256);
            std::generate(y.begin(), y.end(), [&] { return static_cast<uint8_t>(rng()); });
            std::generate(c.begin(), c.end(), [&] { return static_cast<uint8_t>(rng()); });
            target += support::WordLines(at.y + line * 256, y) + support::WordLines(at.uv + line * 256, c);
            buffers[buffer].luma.push_back(y);
            buffers[buffer].chroma.push_back(c);
        }
    }
    for (int i = 0; i < count; ++i) {
        const uint32_t slot = support::FrameBuffersOf(kArea, interlaced, i).slot;
        frames->push_back(buffers[i / groupSize * groupSize + slot]);
        frames->back().slot = slot;
    }
    return target;
}

// A JPEG buffer of width x height at physical 0x10000, lines 256 bytes apart.
std::string JpegRegisters(uint32_t width, uint32_t height) {
    return "nodes /dev/zorvip /dev/zormmio\ncapture 0x100000 0x180000 0x1000 0x800 1\nword 0xbe1c8044 0x1\n"
           "word 0xbe1c8060 0x1000\nword 0xbe1c8074 0x1\nword 0xbe1cc408 " + Hex(width / 2 - 1) +
           "\nword 0xbe1cc40c " + Hex(height) + "\n";
}

// ffprobe's "width,height,pix_fmt,frames", with "decodes" after it when ffmpeg decodes
// every frame without a complaint.
std::string Probe(const std::string& path) {
    std::string out;
    FILE* pipe = popen(("ffprobe -v error -count_frames -show_entries stream=width,height,pix_fmt,nb_read_frames "
                        "-of csv=p=0 '" + path + "' 2>&1").c_str(), "r");
    char chunk[256];
    for (size_t n; pipe != nullptr && (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
    if (pipe != nullptr) pclose(pipe);
    const std::string decode = "test -z \"$(ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1)\"";
    return out + (system(decode.c_str()) == 0 ? "decodes" : "");
}

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// A format the oracle (and so fuzz_capture) or bench/run does not know fails here, not
// in a fuzz or benchmark run: bench/run --list reads the table as the benchmark does.
TEST(OutputFormats, EveryRowIsKnownToTheOracleAndTheBench) {
    std::string listed;
    FILE* pipe = popen(AVRIG_SOURCE_DIR "/bench/run --list 2>&1", "r");
    ASSERT_NE(pipe, nullptr);
    char chunk[256];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) listed.append(chunk, n);
    EXPECT_EQ(pclose(pipe), 0) << listed;
    for (const OutputFormat& format : kOutputFormats) {
        const support::FormatOracle* oracle = support::FindOracle(format.ending);
        EXPECT_TRUE(oracle != nullptr && oracle->file != nullptr && oracle->jpeg != nullptr) << format.ending;
        EXPECT_NE(("\n" + listed).find(std::string("\n") + format.ending + " "), std::string::npos)
            << format.ending << " has no goals in bench/goals:\n" << listed;
    }
}

// Each row makes, from frame memory of every layout and scan and from the JPEG buffer,
// what the oracle expects (a row without a writer or without expected bytes fails here);
// ffmpeg reads the streams; "-.y4m" puts the same stream on standard output.
TEST(OutputFormats, EveryRowIsServedEndToEnd) {
    ASSERT_EQ(system("command -v ffprobe >/dev/null && command -v ffmpeg >/dev/null"), 0) << "apt-get install ffmpeg";
    // Six pixels: the BMP row's last two bytes are the line's, unconverted.
    const std::vector<uint8_t> jpegLine{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    for (const OutputFormat& format : kOutputFormats) {
        const support::FormatOracle* oracle = support::FindOracle(format.ending);
        ASSERT_NE(oracle, nullptr) << format.ending;
        const bool stream = format.streamHeader != nullptr;
        const std::string name = std::string("f") + format.ending;
        for (uint32_t k = 0; k < 4; ++k) {
            for (const bool interlaced : {false, true}) {
                for (const uint32_t width : {1u, 7u, 12u}) {
                    const int count = interlaced ? 8 : 4;  // into the second group
                    std::vector<FrameMemory> frames;
                    simrun::Options options;
                    options.target = Capture(k, width, interlaced, count, &frames);
                    const simrun::Result run = simrun::Run({"memget", name}, options);
                    SCOPED_TRACE(name + " layout " + std::to_string(k) + (interlaced ? " interlaced" : "") +
                                 " width " + std::to_string(width));
                    EXPECT_EQ(run.status, 0) << run.err;
                    const int32_t files = FileCount(format, count);
                    ASSERT_EQ(support::FolderNames(run.workDir).size(), static_cast<size_t>(files));
                    for (int32_t i = 0; i < files; ++i) {
                        char file[kFileNameSize];
                        FrameName(file, name.c_str(), i, files);
                        EXPECT_EQ(ReadFile(run.workDir + "/" + file),
                                  Text(oracle->file(stream ? frames : std::vector<FrameMemory>{frames[i]})));
                    }
                    if (!stream) continue;
                    EXPECT_EQ(simrun::Run({"memget", format.standardOutput}, options).out,
                              ReadFile(run.workDir + "/" + name));
                    const std::string banner = "Output name: " + name + "\n";  // each frame's, the stream's name
                    size_t blocks = 0;
                    for (size_t at = 0; (at = run.out.find(banner, at)) != std::string::npos; ++at) ++blocks;
                    EXPECT_EQ(blocks, static_cast<size_t>(count));
                    if (width == 7 && format.sampleBytes != 0) {  // ffmpeg takes a second a file
                        const std::string probed = k < 2 ? "7,3,yuv444p10le," : "7,3,yuv422p10le,";
                        EXPECT_EQ(Probe(run.workDir + "/" + name), probed + std::to_string(count) + "\ndecodes");
                    }
                }
            }
        }

        simrun::Options options;
        options.target = JpegRegisters(6, 1) + support::WordLines(0x80010000u, jpegLine);
        const simrun::Result jpeg = simrun::Run({"memget", name}, options);
        EXPECT_EQ(jpeg.status, 0) << jpeg.err;
        EXPECT_EQ(ReadFile(jpeg.workDir + "/" + name), Text(oracle->jpeg({jpegLine}, 6))) << name;
        if (stream) {
            if (format.sampleBytes != 0) {
                EXPECT_EQ(Probe(jpeg.workDir + "/" + name), "6,1,yuv444p,1\ndecodes");
            }
            EXPECT_EQ(simrun::Run({"memget", format.standardOutput}, options).out, ReadFile(jpeg.workDir + "/" + name));
        }
    }
}

// The BMP dump goes out in bands of rows that reuse one buffer: 4096-pixel rows of
// 12288 bytes make bands of five, and each 256-byte line leaves the rest of its row to
// be cleared of the row converted there a band before.
TEST(OutputFormats, TheJpegDumpKeepsItsRowsAcrossBands) {
    constexpr uint32_t kWidth = 4096;
    simrun::Options options;
    options.target = JpegRegisters(kWidth, 12);
    std::vector<std::vector<uint8_t>> lines;
    for (uint32_t n = 0; n < 12; ++n) {
        std::vector<uint8_t> line(256);
        for (size_t j = 0; j < line.size(); ++j) line[j] = static_cast<uint8_t>(n * 37 + j * 11);
        options.target += support::WordLines(0x80010000u + 256u * n, line);
        lines.push_back(line);
    }
    const simrun::Result run = simrun::Run({"memget", "j.bmp"}, options);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(run.workDir + "/j.bmp"), Text(support::FindOracle(".bmp")->jpeg(lines, kWidth)));
}

TEST(Y4mCapture, RefusalsAndFailuresLeaveTheNameAsItWas) {
    std::vector<FrameMemory> unused;
    const std::string name39 = std::string(35, 'n') + ".y4m";
    const struct {
        std::string target, name;
        uint64_t sizeLimit;
        std::string err;  // the one line on standard error; none: status 0
        bool written;
    } cases[] = {
        {Capture(2, 5, true, 9, &unused), name39, 0, "", true},  // 39 characters whatever the count
        {Capture(2, 5, true, 9, &unused), "x" + name39, 0,
         "avrig: the file name is too long: x" + name39 + " (at most 39 characters for 9 frame(s))\n", false},
        {Capture(2, 5, true, 0, &unused), "cap.y4m", 0, "", false},  // no frame, no file
        {Capture(0, 0, false, 2, &unused), "cap.y4m", 0, "avrig: a YUV4MPEG2 stream cannot hold a 0x3 picture\n",
         false},
        {JpegRegisters(6, 0), "cap.y4m", 0, "avrig: a YUV4MPEG2 stream cannot hold a 6x0 picture\n", false},
        {Capture(0, 64, false, 3, &unused), "cap.y4m", 2000, "avrig: cap.y4m was not written: File too large\n", false},
    };
    for (const auto& c : cases) {
        const support::TempDir dir;
        ASSERT_TRUE(support::WriteFile(dir.Path() + "/" + c.name, "earlier"));
        simrun::Options options;
        options.target = c.target;
        options.workDir = dir.Path();
        options.fileSizeLimit = c.sizeLimit;
        const simrun::Result run = simrun::Run({"memget", c.name}, options);
        EXPECT_EQ(run.status, c.err.empty() ? 0 : 1) << c.err;
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(support::FolderNames(dir.Path()), std::vector<std::string>{c.name});
        EXPECT_EQ(ReadFile(dir.Path() + "/" + c.name) != "earlier", c.written) << c.err;
    }
}

// Fields of each line of a CSV text, empty ones kept.
std::vector<std::vector<std::string>> CsvFields(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : support::Lines(text)) {
        rows.emplace_back(1);
        for (char c : line) {
            if (c == ',') {
                rows.back().emplace_back();
            } else {
                rows.back().back().push_back(c);
            }
        }
    }
    return rows;
}

// The levels report beyond what every row shares: a terminal takes -.csv (it is text), a
// count of 0 writes nothing, and a data line planted stuck or bridged shows in its
// component's `constant` or `equal` field of every frame, and only with the fault planted.
TEST(LevelsReport, TerminalsCountZeroAndPlantedFaults) {
    const std::string capture = "nodes /dev/zorvip /dev/zormmio\ncapture 0x1000000 0x1800000 0x40000 0x40000 ";
    const struct {
        std::string pattern, fault;
        size_t component;   // row within a frame: Y, Cb, Cr
        size_t field;       // 23 constant, 24 equal
        std::string shows;  // one item of that field
    } faults[] = {
        {"YUV_444C10 33 5 interlaced", "stuck Y 6 1", 0, 23, "b6=1"},
        {"YUV_422C8 33 5 progressive", "stuck Cb 7 0", 1, 23, "b7=0"},
        {"YUV_422C10 33 5 progressive", "bridge Cr 9 4", 2, 24, "b9=b4"},
        {"YUV_444C8 32 4 interlaced", "bridge Cb 6 4", 1, 24, "b6=b4"},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.pattern + " " + f.fault);
        for (const bool planted : {false, true}) {
            simrun::Options options;
            options.target = capture + "2\npattern " + f.pattern + (planted ? " " + f.fault : "") + "\n";
            const simrun::Result run = simrun::Run({"memget", "-.csv"}, options);
            ASSERT_EQ(run.status, 0) << run.err;
            const auto rows = CsvFields(run.out);
            ASSERT_EQ(rows.size(), 7u);
            for (size_t frame = 0; frame < 2; ++frame) {
                const std::vector<std::string>& row = rows[1 + 3 * frame + f.component];
                ASSERT_EQ(row.size(), 25u);
                const std::string items = " " + row[f.field] + " ";
                EXPECT_EQ(items.find(" " + f.shows + " ") != std::string::npos, planted) << items;
            }
        }
    }

    const int terminal = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
    simrun::Options options;
    options.target = capture + "1\npattern YUV_422C10 16 2 progressive\n";
    options.stdoutPath = ptsname(terminal);
    const simrun::Result shown = simrun::Run({"memget", "-.csv"}, options);
    char screen[4096] = {};
    const ssize_t got = read(terminal, screen, sizeof screen - 1);
    close(terminal);
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(std::string(screen, got > 0 ? static_cast<size_t>(got) : 0).rfind("frame,slot,component,", 0), 0u);

    options = {};
    options.target = capture + "0\npattern YUV_422C10 16 2 progressive\n";
    for (const char* name : {"e.csv", "-.csv"}) {
        const simrun::Result none = simrun::Run({"memget", name}, options);
        EXPECT_EQ(none.status, 0) << name;
        EXPECT_EQ(none.out.find("frame,"), std::string::npos) << name;
        EXPECT_TRUE(support::FolderNames(none.workDir).empty()) << name;
    }
}

// The README's "Is the input sound?", command by command: avrig-sim on the target the
// section writes; the report it shows is the one made, and gnuplot makes the chart.
TEST(LevelsReport, TheReadmeSectionRunsAsShown) {
    const std::string readme = ReadFile(AVRIG_SOURCE_DIR "/README.md");
    const size_t section = readme.find("\n## Is the input sound?\n");
    ASSERT_NE(section, std::string::npos);
    const std::vector<std::string> lines =
        support::Lines(readme.substr(section, readme.find("\n## ", section + 1) - section));
    const support::TempDir dir;
    const std::string sim = "AVRIG_SIM_TARGET=stuck.target avrig-sim memget -.csv 2>/dev/null > ";
    std::string shown;  // the block that is not commands
    int commands = 0;
    bool block = false;
    bool commandBlock = false;
    for (const std::string& line : lines) {
        if (line.rfind("```", 0) == 0) {
            commandBlock = !block && line == "```sh";
            block = !block;
            continue;
        }
        if (!block) continue;
        if (!commandBlock) {
            shown += line + "\n";
            continue;
        }
        if (line == "avrig memget -.csv") continue;  // the board's
        SCOPED_TRACE(line);
        ++commands;
        if (line.rfind(sim, 0) != 0) {
            EXPECT_EQ(system(("cd '" + dir.Path() + "' && " + line).c_str()), 0);
            continue;
        }
        simrun::Options options;
        options.workDir = dir.Path();
        options.useTargetPath = true;
        options.targetPath = dir.Path() + "/stuck.target";
        options.stdoutPath = dir.Path() + "/" + line.substr(sim.size());
        EXPECT_EQ(simrun::Run({"memget", "-.csv"}, options).status, 0);
    }
    EXPECT_EQ(commands, 4);
    EXPECT_EQ(shown, ReadFile(dir.Path() + "/levels.csv"));
    EXPECT_NE(ReadFile(dir.Path() + "/bits.dat").find("\nb6 1000\n"), std::string::npos);
    std::string probed;
    FILE* pipe = popen(("ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 '" + dir.Path() +
                        "/bits.png'").c_str(), "r");
    char chunk[256];
    for (size_t n; pipe != nullptr && (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) probed.append(chunk, n);
    if (pipe != nullptr) pclose(pipe);
    EXPECT_EQ(probed, "png,640,360\n");
}

// The board's layout cases capture into every ending the table has.
TEST(OutputFormats, TheBoxCasesNameEveryEnding) {
    const std::string cases = ReadFile(AVRIG_SOURCE_DIR "/box/cases/cases");
    for (const char* layout : {"\n444c10-", "\n444c8-", "\n422c10-", "\n422c8-", "\nmapped-444c10-", "\nmapped-444c8-",
                               "\nmapped-422c10-", "\nmapped-422c8-"}) {
        const size_t at = cases.find(layout);
        ASSERT_NE(at, std::string::npos) << layout;
        const std::string line = cases.substr(at, cases.find('\n', at + 1) - at) + " ";
        for (const OutputFormat& format : kOutputFormats) {
            EXPECT_NE(line.find(std::string(format.ending) + " "), std::string::npos) << line << format.ending;
        }
    }
}

}  // namespace
