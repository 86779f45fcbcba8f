// Frame memory through a mapping of AVRIG_MEM, end to end against the simulated target:
// the same bytes as the driver's road in every layout, scan and format, and one line and
// the driver's road whenever the mapping cannot be made or trusted.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "device/frame_memory.h"
#include "device/vip.h"
#include "tests/sim_runner.h"

namespace {

using support::Lines;
using support::ReadFile;


const simrun::Options WithMemory(const std::string& target, const std::string& path = "/dev/mem") {
    simrun::Options options;
    options.target = target;
    options.traceMmio = true;
    options.env = {{"AVRIG_MEM", path}};
    return options;
}

// The register reads of one capture: the probe, the JPEG probe and the check's words.
constexpr int kMostRegisterReads = 32;

void ExpectFewRegisterReads(const std::string& log, const std::string& name) {
    for (const std::string& line : Lines(log)) {
        if (line.rfind("close /dev/zormmio reads=", 0) == 0) {
            EXPECT_LT(std::stoi(line.substr(25)), kMostRegisterReads) << name << ": " << line;
        }
    }
}

const std::string kNodes = "nodes /dev/zorvip /dev/zormmio /dev/mem\n";
const std::string kCapture = "capture 0x01000000 0x01100000 0x8000 0x8000 ";

TEST(Mapped, EveryLayoutScanAndFormatGivesTheDriversBytes) {
    const std::vector<std::string> frames = {"memget", "a.bmp", "memget", "b.pbm",
                                             "memget", "c.yuv", "memget", "d.y4m"};
    struct Case {
        std::string name;
        std::string target;
        std::vector<std::string> args;
    };
    std::vector<Case> cases;
    for (const char* layout : {"YUV_444C10", "YUV_444C8", "YUV_422C10", "YUV_422C8"}) {
        // Eight interlaced frames cross into the second group of slots.
        cases.push_back({std::string(layout) + " progressive",
                         kNodes + kCapture + "3\npattern " + layout + " 21 5 progressive\n", frames});
        cases.push_back({std::string(layout) + " interlaced",
                         kNodes + kCapture + "8\npattern " + layout + " 22 3 interlaced\n", frames});
    }
    cases.push_back({"jpeg buffer", kNodes + kCapture + "0\njpeg 18 5\n", {"memget", "j.bmp", "memget", "k.y4m"}});
    for (const Case& c : cases) {
        simrun::Options options = WithMemory(c.target);
        const simrun::Result mapped = simrun::Run(c.args, options);
        options.env.clear();
        const simrun::Result driven = simrun::Run(c.args, options);
        EXPECT_EQ(mapped.status, 0) << c.name << mapped.err;
        EXPECT_EQ(mapped.status, driven.status) << c.name;
        EXPECT_EQ(mapped.out, driven.out) << c.name;
        EXPECT_EQ(mapped.err, driven.err) << c.name;
        EXPECT_EQ(support::FolderFiles(mapped.workDir), support::FolderFiles(driven.workDir)) << c.name;
        EXPECT_NE(mapped.log.find("\nmap /dev/mem "), std::string::npos) << c.name;
        ExpectFewRegisterReads(mapped.log, c.name);
    }
}

// 4x2 YUV_444C8 frames with 256-byte line offsets from their registers, so the addresses
// may be anything.
std::string SmallFrames(uint32_t addrY, uint32_t sizeY, int count) {
    char capture[96];
    std::snprintf(capture, sizeof capture, "capture 0x%08x 0x00100000 0x%x 0x100 %d\n", static_cast<unsigned>(addrY),
                  static_cast<unsigned>(sizeY), count);
    return kNodes + capture +
           "word 0xbe1c61b0 0x00010001\n"
           "word 0xbe1c61a0 0x2\n"
           "word 0xbe1cfcc8 0x4\n"
           "word 0xbe1cc048 0x3\n"
           "word 0xbe1c4030 0x00000100\n"
           "word 0x00100000 0x01020304\n";
}

TEST(Mapped, EachRefusalIsOneLineAndTheDriversCapture) {
    const std::string tail = "; frame memory is read through the register driver\n";
    const std::string pattern = kCapture + "2\npattern YUV_422C10 20 6 progressive\n";
    struct Case {
        std::string target;
        std::string path;
        std::string reason;
    };
    const Case cases[] = {
        {"nodes /dev/zorvip /dev/zormmio\n" + pattern, "/dev/mem", "No such file or directory"},
        {kNodes + "file /tmp/frames.bin\n" + pattern, "/tmp/frames.bin", "it is not a character device"},
        {kNodes + pattern, kVipDevice, "it is not the physical memory device"},
        {kNodes + pattern, "/dev/zero", "it is not the physical memory device"},
        {kNodes + pattern + "maprefuse EPERM\n", "/dev/mem",
         "cannot map 0x1000 bytes at 0x01000000: Operation not permitted"},
        // Memory changed behind the driver's back at the first and at the last word read.
        {kNodes + pattern + "mapword 0x01000000 0x12345678\n", "/dev/mem",
         "the mapping shows 0x12345678 at 0xa1000000 where the driver reads 0x"},
        {kNodes + pattern + "mapword 0x01100518 0x0\n", "/dev/mem",
         "the mapping shows 0x00000000 at 0xa1100518 where the driver reads 0x00000080"},
        // ... and at a word between them (line 2, word 2), which the ends alone would miss.
        {kNodes + pattern + "mapword 0x01000208 0x0\n", "/dev/mem",
         "the mapping shows 0x00000000 at 0xa1000208 where the driver reads 0x1244aa2a"},
        // The driver's addresses put the lines past the window or off a word; a later
        // frame past the window falls back there.
        {SmallFrames(0x1fffff80, 0x1000, 1), "/dev/mem",
         "2 lines of 8 bytes from 0xbfffff80, 256 apart, are not mapped: it reaches past the 512 MiB physical window"},
        {SmallFrames(0x1fffef80, 0x1000, 2), "/dev/mem",
         "2 lines of 8 bytes from 0xbfffff80, 256 apart, are not mapped: it reaches past the 512 MiB physical window"},
        {SmallFrames(0x00200002, 0x1000, 1), "/dev/mem",
         "2 lines of 8 bytes from 0xa0200002, 256 apart, are not mapped: its lines do not start on a word"},
    };
    for (const Case& c : cases) {
        simrun::Options options = WithMemory(c.target, c.path);
        const simrun::Result mapped = simrun::Run({"memget", "c.bmp", "-a", "1"}, options);
        options.env.clear();
        const simrun::Result driven = simrun::Run({"memget", "c.bmp", "-a", "1"}, options);
        const std::string line = "avrig: AVRIG_MEM=" + c.path + ": " + c.reason;
        EXPECT_EQ(mapped.err.compare(0, line.size(), line), 0) << mapped.err;
        ASSERT_GE(mapped.err.size(), tail.size()) << c.reason;
        EXPECT_EQ(mapped.err.substr(mapped.err.size() - tail.size()), tail) << c.reason;
        EXPECT_EQ(Lines(mapped.err).size(), 1u) << mapped.err;
        EXPECT_EQ(mapped.status, driven.status) << c.reason;
        EXPECT_EQ(mapped.out, driven.out) << c.reason;
        EXPECT_EQ(support::FolderFiles(mapped.workDir), support::FolderFiles(driven.workDir)) << c.reason;
        // Only the physical memory device is opened; anything else is judged unopened.
        const auto opens = [](const std::string& log) {
            size_t count = 0;
            for (const std::string& line : Lines(log)) {
                count += line.compare(0, 5, "open ") == 0 && line.find(" missing") == std::string::npos;
            }
            return count;
        };
        const bool opened = c.path == kMemoryDevice && c.reason != "No such file or directory";
        EXPECT_EQ(opens(mapped.log) - opens(driven.log), opened ? 1u : 0u) << c.reason;
        const size_t closed = mapped.log.find("close " + c.path);
        EXPECT_EQ(mapped.log.find("\nmap ", closed), std::string::npos) << c.reason << ": mapped after the line";
    }
}

// A file that will not be written has nothing mapped or read for it: the node is opened,
// the planes mapped and the check's words read only once the file is there.
TEST(Mapped, NothingIsMappedOrReadForAFileThatIsNotWritten) {
    const std::string frames = kNodes + kCapture + "2\npattern YUV_422C10 20 6 progressive\n";
    const struct {
        std::string name, target, folder, trace;
        std::vector<std::string> args;
        size_t opens, maps;
    } cases[] = {
        {"a folder at the first frame's name", frames, "c_000.bmp", "", {"memget", "c.bmp"}, 0, 0},
        {"a folder at the JPEG dump's name", kNodes + kCapture + "0\njpeg 18 5\n", "j.bmp", "", {"memget", "j.bmp"}, 0, 0},
        {"the trace at the first frame's name", frames, "", "c_000.bmp", {"memget", "c.bmp"}, 1, 2},
        {"a second stream", frames, "", "", {"memget", "-.y4m", "memget", "-.y4m"}, 1, 4},
    };
    const auto count = [](const std::string& text, const std::string& part) {
        size_t n = 0;
        for (size_t at = 0; (at = text.find(part, at)) != std::string::npos; ++at) ++n;
        return n;
    };
    for (const auto& c : cases) {
        const support::TempDir dir;
        ASSERT_TRUE(c.folder.empty() || mkdir((dir.Path() + "/" + c.folder).c_str(), 0755) == 0);
        simrun::Options options = WithMemory(c.target);
        options.workDir = dir.Path();
        if (!c.trace.empty()) options.env.push_back({"AVRIG_TRACE", c.trace});
        const simrun::Result run = simrun::Run(c.args, options);
        EXPECT_EQ(run.status, 1) << c.name;
        EXPECT_EQ(count(run.log, "open /dev/mem\n"), c.opens) << c.name;
        EXPECT_EQ(count(run.log, "\nmap /dev/mem "), c.maps) << c.name;
        if (c.opens == 0) {
            EXPECT_EQ(count(run.log, "mmio read 0xa1") + count(run.log, "mmio read 0x84"), 0u) << c.name;
        }
    }
}

TEST(Mapped, TheTraceShowsEachFramesRoadAndNoMappedWord) {
    const support::TempDir scratch;
    const std::string trace = scratch.Path() + "/trace";
    simrun::Options options = WithMemory(SmallFrames(0x1fffef80, 0x1000, 2));
    options.env.insert(options.env.end(), {{"AVRIG_TRACE", trace}, {"AVRIG_TRACE_MMIO", "1"}});
    simrun::Run({"memget", "c.pbm"}, options);
    std::string road;
    for (const std::string& line : Lines(ReadFile(trace))) {
        if (line.find("mem") != std::string::npos || line.rfind("mmio read 0xbfff", 0) == 0 ||
            line.rfind("mmio read 0xc000", 0) == 0 || line.rfind("mmio read 0xa010", 0) == 0) {
            road += line + "\n";
        }
    }
    // Frame 0 mapped, its first and last used words read through the driver as the check;
    // frame 1 past the window, read through the driver.
    EXPECT_EQ(road,
              "open /dev/mem\n"
              "map /dev/mem 0x1fffe000 0x2000\n"
              "map /dev/mem 0x00100000 0x1000\n"
              "mmio read 0xbfffef80 -> 0x00000000\n"
              "mmio read 0xbffff084 -> 0x00000000\n"
              "mmio read 0xa0100000 -> 0x01020304\n"
              "mmio read 0xa0100104 -> 0x00000000\n"
              "unmap /dev/mem 0x1fffe000 0x2000\n"
              "unmap /dev/mem 0x00100000 0x1000\n"
              "close /dev/mem\n"
              "mmio read 0xbfffff80 -> 0x00000000\n"
              "mmio read 0xbfffff84 -> 0x00000000\n"
              "mmio read 0xa0100100 -> 0x00000000\n"
              "mmio read 0xa0100104 -> 0x00000000\n"
              "mmio read 0xc0000080 -> 0x00000000\n"
              "mmio read 0xc0000084 -> 0x00000000\n"
              "mmio read 0xa0100200 -> 0x00000000\n"
              "mmio read 0xa0100204 -> 0x00000000\n");
}

}  // namespace
