// Captures end to end against the simulated target: what is printed, which slot each file
// comes from, the refusals and the exit status.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/sim_runner.h"

namespace {

using support::FolderFiles;
using support::Hex;
using support::Lines;
using support::ReadFile;

// A 4x2 YUV_444C8 capture with 256-byte line offsets: registers only.
std::string SmallCaptureRegisters(bool interlaced) {
    return std::string("nodes /dev/zorvip /dev/zormmio\n") +
           "word 0xbe1c6000 " + (interlaced ? "0x8" : "0x0") + "\n"
           "word 0xbe1c61b0 0x00010001\n"  // line offsets 256 and 256
           "word 0xbe1c61a0 0x2\n"         // two lines
           "word 0xbe1cfcc8 0x4\n"         // capture window 0..4
           "word 0xbe1cfcc0 0x0\n"
           "word 0xbe1cc048 0x3\n"         // panel window 6 wide
           "word 0xbe1cc040 0x0\n"
           "word 0xbe1c4030 0x00000100\n";  // YUV_444C8
}

constexpr uint32_t kAddrY = 0x100000;
constexpr uint32_t kAddrUV = 0x180000;
constexpr uint32_t kSizeY = 0x1000;
constexpr uint32_t kSizeUV = 0x800;
constexpr support::CaptureArea kArea{kAddrY, kAddrUV, kSizeY, kSizeUV};

// Frame buffer `buffer` (counted through the groups) as it lies in memory: its own luma
// (10 x buffer + 100) and chroma (Cr = buffer, Cb = 200 - buffer), so a file shows which
// buffer it came from.
support::FrameMemory SlotFrame(uint32_t buffer) {
    support::FrameMemory frame;
    frame.width = 4;
    frame.layout = {1, 4};
    std::vector<uint8_t> luma, chroma;
    for (uint32_t p = 0; p < 4; ++p) {
        support::Put10(&luma, p, 4 * (10 * buffer + 100));
        chroma.push_back(static_cast<uint8_t>(buffer));
        chroma.push_back(static_cast<uint8_t>(200 - buffer));
    }
    frame.luma.assign(2, luma);
    frame.chroma.assign(2, chroma);
    return frame;
}

// Every frame buffer of the first two groups as `word` lines.
std::string SlotContents(bool interlaced) {
    const uint32_t groupSize = interlaced ? 6 : 3;
    std::string lines;
    for (uint32_t group = 0; group < 2; ++group) {
        for (uint32_t slot = 0; slot < groupSize; ++slot) {
            const support::FrameMemory frame = SlotFrame(group * groupSize + slot);
            const support::FrameBuffers at = support::SlotBuffers(kArea, interlaced, group, slot);
            for (uint32_t line = 0; line < 2; ++line) {
                lines += support::WordLines(at.y + line * 256, frame.luma[line]);
                lines += support::WordLines(at.uv + line * 256, frame.chroma[line]);
            }
        }
    }
    return lines;
}

std::string CaptureLine(int count) {
    return "capture " + Hex(kAddrY) + " " + Hex(kAddrUV) + " " + Hex(kSizeY) + " " + Hex(kSizeUV) + " " +
           std::to_string(count) + "\n";
}

TEST(CaptureSim, FramesComeFromTheirSlotsGroupAfterGroup) {
    struct Case {
        bool interlaced;
        int count;
        std::vector<int> buffers;  // buffer of each frame file
        std::vector<int> slots;    // the "(%d)" printed for each
    };
    const Case cases[] = {
        {false, 4, {0, 1, 2, 3}, {0, 1, 2, 0}},
        {true, 8, {0, 3, 1, 4, 2, 5, 6, 9}, {0, 3, 1, 4, 2, 5, 0, 3}},
    };
    for (const Case& c : cases) {
        simrun::Options options;
        options.target = SmallCaptureRegisters(c.interlaced) + CaptureLine(c.count) + SlotContents(c.interlaced);
        const simrun::Result run = simrun::Run({"memget", "cap.yuv"}, options);
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        for (int i = 0; i < c.count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "cap_%03d.yuv", i);
            const std::string file = ReadFile(run.workDir + "/" + name);
            const std::vector<uint8_t> expected = support::FindOracle(".yuv")->file(
                {SlotFrame(static_cast<uint32_t>(c.buffers[static_cast<size_t>(i)]))});
            EXPECT_EQ(file, std::string(expected.begin(), expected.end())) << name;
            const support::FrameBuffers at = support::FrameBuffersOf(kArea, c.interlaced, static_cast<uint32_t>(i));
            const int slot = c.slots[static_cast<size_t>(i)];
            EXPECT_EQ(at.slot, static_cast<uint32_t>(slot)) << name;
            const uint32_t y = at.y & ~0xa0000000u, uv = at.uv & ~0xa0000000u;  // printed without the segment
            const std::string block = "==============================>Encodeing\nOutput name: " + std::string(name) +
                                      "\naddress Y: " + Hex(y) + ", address UV: " + Hex(uv) +
                                      "\naddress Y: " + Hex(y >> 3) + ", address UV: " + Hex(uv >> 3) + "(" +
                                      std::to_string(slot) + ")\n==============================>End\n";
            EXPECT_NE(run.out.find(block), std::string::npos) << block << "\nin\n" << run.out;
        }
    }
}

TEST(CaptureSim, PrintsTheEchoAndTheInformationBlock) {
    simrun::Options options;
    options.target = SmallCaptureRegisters(true) + CaptureLine(1) + SlotContents(true);
    const simrun::Result run = simrun::Run({"memget", "one.bmp"}, options);
    EXPECT_EQ(run.status, 0);
    const std::string expected =
        "In function VIP_MemoryCatch:\n"
        "Y:0x100000, UV:0x180000\n"
        "Y:0x1000, UV:0x800\n"
        "num = 1\n"
        "filename = one.bmp\n"
        "one.bmp\n"
        "==============================>Informaiton\n"
        "Device ID: 0 \n"
        "Interlace: 1\n"
        "Width: 4, Height: 2\n"
        "Capture Width: 4, Panel Width: 6\n"
        "Line Offset Y: 256, Line Offset UV: 256\n"
        "Color space is 1\n"
        "Encode mode is 4\n"
        "address Y: 0xa0100000, address UV: 0xa0180000\n"
        "size Y: 0x1000, size UV: 0x800\n"
        "==============================>Informaiton\n"
        "==============================>Encodeing\n"
        "Output name: one.bmp\n"
        "address Y: 0x100000, address UV: 0x180000\n"
        "address Y: 0x20000, address UV: 0x30000(0)\n"
        "==============================>End\n";
    EXPECT_EQ(run.out, expected);
    const std::vector<std::string> log = Lines(run.log);
    ASSERT_GE(log.size(), 6u);
    EXPECT_EQ(log[1], "ioctl /dev/zorvip 0xc0186b6c record 000000000000000000000000000000000000000001000000");
    EXPECT_EQ(log[2], "open /dev/zormmio-dbg missing");
    EXPECT_EQ(log[3], "open /dev/zormmio");
    EXPECT_EQ(log[4], "shell byte 0xbe170122 1");
    // Two lines of 256 + 256 bytes, one request per word, plus the probe's reads.
    EXPECT_EQ(ReadFile(run.workDir + "/one.bmp").size(), 54u + 12u * 2u);
}

TEST(CaptureSim, RefusesWhatItCannotServeBeforeTouchingTheDevice) {
    struct Case {
        std::string name;
        int count;
        std::string message;
    };
    const Case cases[] = {
        {"cap.bmp", 1201, "The total count is too big or small: 1201\n"},
        {"cap.bmp", -1, "The total count is too big or small: -1\n"},
        {"cap.BMP", 1, "Not support this type: cap.BMP\n"},
        {"cap.png", 1, "Not support this type: cap.png\n"},
        {"bmp", 1, "Not support this type: bmp\n"},
        {"cap", 1, "Not support this type: cap\n"},
        {"x.png", 5000, "The total count is too big or small: 5000\n"},  // the count is checked first
        {std::string(36, 'a') + ".bmp", 1, "avrig: the file name is too long: " + std::string(36, 'a') +
                                               ".bmp (at most 39 characters for 1 frame(s))\n"},
        {std::string(36, 'a') + ".bmp", 2, "avrig: the file name is too long: " + std::string(36, 'a') +
                                               ".bmp (at most 35 characters for 2 frame(s))\n"},
    };
    for (const Case& c : cases) {
        simrun::Options options;
        options.target = SmallCaptureRegisters(false) + CaptureLine(c.count);
        const simrun::Result run = simrun::Run({"memget", c.name}, options);
        EXPECT_EQ(run.status, 1) << c.name;
        const std::string shown = run.out + run.err;  // an added message ends standard error
        ASSERT_GE(shown.size(), c.message.size());
        EXPECT_EQ(shown.substr(shown.size() - c.message.size()), c.message);
        EXPECT_EQ(run.log.find("zormmio"), std::string::npos) << c.name;
    }
}

TEST(CaptureSim, AcceptsTheLongestNamesAndBareExtensions) {
    struct Case {
        std::string name;
        int count;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {std::string(35, 'a') + ".bmp", 1, {std::string(35, 'a') + ".bmp"}},
        {std::string(31, 'b') + ".yuv", 2, {std::string(31, 'b') + "_000.yuv", std::string(31, 'b') + "_001.yuv"}},
        {".pbm", 2, {"_000.pbm", "_001.pbm"}},
        {".yuv", 1, {".yuv"}},
    };
    for (const Case& c : cases) {
        simrun::Options options;
        options.target = SmallCaptureRegisters(false) + CaptureLine(c.count);
        const simrun::Result run = simrun::Run({"memget", c.name}, options);
        EXPECT_EQ(run.status, 0) << c.name << run.out;
        for (const std::string& file : c.files) {
            struct stat info {};
            EXPECT_EQ(stat((run.workDir + "/" + file).c_str(), &info), 0) << file;
        }
    }
}

TEST(CaptureSim, ProbeFailuresWriteNoFile) {
    struct Case {
        std::string patch;
        std::string message;
    };
    const Case cases[] = {
        {"word 0xbe1c61b0 0x00010000\n", "Function gets wrong register value(s) !\n"},  // Y line offset 0
        {"word 0xbe1c61a0 0x1000\n", "Function gets wrong register value(s) !\n"},      // height 0 in 12 bits
        {"word 0xbe1c4030 0xfefefefe\n", "Unkown color space or encode type\n"},
    };
    for (const Case& c : cases) {
        simrun::Options options;
        options.target = SmallCaptureRegisters(false) + CaptureLine(2) + c.patch;
        const simrun::Result run = simrun::Run({"memget", "cap.bmp"}, options);
        EXPECT_EQ(run.status, 1);
        ASSERT_GE(run.out.size(), c.message.size());
        EXPECT_EQ(run.out.substr(run.out.size() - c.message.size()), c.message);
        EXPECT_EQ(run.out.find("Informaiton"), std::string::npos);
        struct stat info {};
        EXPECT_NE(stat((run.workDir + "/cap_000.bmp").c_str(), &info), 0);
    }
}

TEST(CaptureSim, AFileThatCannotBeCreatedStopsTheCapture) {
    const support::TempDir temp;
    const std::string& dir = temp.Path();
    ASSERT_EQ(mkdir((dir + "/cap_001.bmp").c_str(), 0755), 0);  // a folder takes the second frame's name
    simrun::Options options;
    options.target = SmallCaptureRegisters(false) + CaptureLine(3) + SlotContents(false);
    options.workDir = dir;
    options.traceMmio = true;
    const simrun::Result run = simrun::Run({"memget", "cap.bmp", "-a", "1"}, options);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.log.find("mmio read 0xa01010"), std::string::npos);  // frame 1's memory is never read
    const std::string tail = "Output name: cap_001.bmp\naddress Y: 0x101000, address UV: 0x180800\n"
                             "address Y: 0x20200, address UV: 0x30100(1)\nCan NOT create cap_001.bmp file\n\n";
    ASSERT_GE(run.out.size(), tail.size());
    EXPECT_EQ(run.out.substr(run.out.size() - tail.size()), tail);
    EXPECT_EQ(ReadFile(dir + "/cap_000.bmp").size(), 54u + 24u);
    struct stat info {};
    EXPECT_NE(stat((dir + "/cap_002.bmp").c_str(), &info), 0);
    EXPECT_NE(run.log.find("ioctl /dev/zorvip 0xc0046b01 value 0x00000001"), std::string::npos);  // the walk goes on

    // The JPEG dump prints nothing of its own before it finds the folder.
    ASSERT_EQ(mkdir((dir + "/j.bmp").c_str(), 0755), 0);
    options.target = "nodes /dev/zorvip /dev/zormmio\n" + CaptureLine(1) + "word 0xbe1c8044 0x1\n";
    const simrun::Result jpeg = simrun::Run({"memget", "j.bmp"}, options);
    EXPECT_EQ(jpeg.status, 1);
    EXPECT_EQ(jpeg.out, "In function VIP_MemoryCatch:\nY:0x100000, UV:0x180000\nY:0x1000, UV:0x800\nnum = 1\n"
                        "filename = j.bmp\nj.bmp\nCannot create pbm or bmp file");
}

// A BMP container is complete when its header's file size is its size.
bool CompleteBmp(const std::string& file) {
    if (file.size() < 54 || file.compare(0, 2, "BM") != 0) return false;
    uint32_t size = 0;
    for (int k = 0; k < 4; ++k) size |= uint32_t{static_cast<unsigned char>(file[2 + k])} << (8 * k);
    return size == file.size();
}

TEST(CaptureSim, ARefusedCaptureLeavesEveryFileAsItWas) {
    const std::string jpeg = "nodes /dev/zorvip /dev/zormmio\n" + CaptureLine(3) +
                             "word 0xbe1c8044 0x1\nword 0xbe1cc400 0x10\nword 0xbe1cc408 0x1\n";
    struct Case {
        std::string target;
        std::string name;
        std::string message;
    };
    const Case cases[] = {
        {SmallCaptureRegisters(false) + CaptureLine(3) +  // both windows run backwards
             "word 0xbe1cfcc8 0x0\nword 0xbe1cfcc0 0x1\nword 0xbe1cc048 0x0\nword 0xbe1cc040 0x1\n",
         "cap.bmp", "avrig: frame geometry not supported: 4294967294x2, line offset Y 256, UV 256\n"},
        {jpeg, "cap.bmp", "avrig: the JPEG buffer's horizontal extent runs backwards: start 16, end 1\n"},
        {SmallCaptureRegisters(false) + CaptureLine(3), std::string(32, 'c') + ".bmp",
         "avrig: the file name is too long: " + std::string(32, 'c') + ".bmp (at most 35 characters for 3 frame(s))\n"},
    };
    for (const Case& c : cases) {
        const support::TempDir temp;
        std::map<std::string, std::string> before;
        for (const char* name : {"cap.bmp", "cap_000.bmp", "cap_001.bmp", "cap_002.bmp"}) {
            before[name] = std::string("earlier ") + name;
            support::WriteFile(temp.Path() + "/" + name, before[name]);
        }
        simrun::Options options;
        options.target = c.target;
        options.workDir = temp.Path();
        const simrun::Result run = simrun::Run({"memget", c.name}, options);
        EXPECT_EQ(run.status, 1) << c.message;
        EXPECT_EQ(run.err, c.message);
        EXPECT_EQ(FolderFiles(temp.Path()), before) << c.message;
    }
}

// A frame that does not fit leaves no part of itself, named on standard error; the frames
// that fit are whole. As root a small tmpfs is the full disk, save for PBM; otherwise a
// file size limit.
TEST(CaptureSim, AFullDiskLeavesOnlyWholeFramesAndNamesTheOthers) {
    for (const char* ext : {".bmp", ".yuv", ".pbm"}) {
        const support::TempDir temp;
        const std::string dir = temp.Path() + "/disk";
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
        simrun::Options options;
        options.workDir = dir;
        const bool mounted = std::string(ext) != ".pbm" && geteuid() == 0 &&
                             mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=1536k") == 0;
        rlimit size{};  // the limit leaves SIGXFSZ at its default: the capture makes it a failed write
        getrlimit(RLIMIT_FSIZE, &size);
        const rlimit before = size;
        size.rlim_cur = mounted ? size.rlim_cur : 600000;
        setrlimit(RLIMIT_FSIZE, &size);
        const simrun::Result run = simrun::Run({"memget", std::string("cap") + ext}, options);
        setrlimit(RLIMIT_FSIZE, &before);
        const std::map<std::string, std::string> files = FolderFiles(dir);
        if (mounted) umount(dir.c_str());
        EXPECT_EQ(run.status, 1) << ext << run.out << run.err;
        EXPECT_NE(run.out.find("==============================>End"), std::string::npos);
        const std::string reason = std::strerror(mounted ? ENOSPC : EFBIG);
        int missing = 0;
        for (int i = 0; i < 3; ++i) {
            const std::string name = "cap_00" + std::to_string(i) + ext;
            const auto file = files.find(name);
            if (file == files.end()) {
                ++missing;
                EXPECT_NE(run.err.find("avrig: " + name + " was not written: " + reason + "\n"), std::string::npos)
                    << run.err;
            } else {
                EXPECT_TRUE(std::string(ext) == ".pbm" || CompleteBmp(file->second)) << name;
            }
        }
        EXPECT_GT(missing, 0) << ext;
        EXPECT_EQ(files.size() + static_cast<size_t>(missing), 3u) << ext << ": a temporary file was left";
    }
}

TEST(CaptureSim, ASignalLeavesOnlyTheFramesCompletedBeforeIt) {
    const rlimit noCore{0, 0};  // SIGQUIT's core file would lie among the frames
    setrlimit(RLIMIT_CORE, &noCore);
    for (const int signal :
         {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF}) {
        simrun::Options options;
        options.target = "nodes /dev/zorvip /dev/zormmio\n"
                         "capture 0x01000000 0x01168000 0x78000 0x78000 30\n"
                         "pattern YUV_422C10 720 480 progressive\n";
        options.signal = signal;
        options.signalWhen = "cap_001.bmp";  // frame 1 under way or done, whatever the load
        const simrun::Result run = simrun::Run({"memget", "cap.bmp"}, options);
        EXPECT_EQ(run.signal, signal) << "status " << run.status;
        const std::map<std::string, std::string> files = FolderFiles(run.workDir);
        EXPECT_EQ(files.count("cap_000.bmp"), 1u) << signal;
        for (const auto& file : files) {
            EXPECT_EQ(file.first.size(), 11u) << file.first << " left by signal " << signal;
            EXPECT_TRUE(CompleteBmp(file.second)) << file.first;
        }
    }
}

TEST(CaptureSim, ALinkAtAFrameNameIsReplacedAndFilesFollowTheUmask) {
    const support::TempDir temp;
    const std::string& dir = temp.Path();
    support::WriteFile(dir + "/victim", "keep me");
    ASSERT_EQ(symlink("victim", (dir + "/cap_001.yuv").c_str()), 0);
    simrun::Options options;
    options.target = SmallCaptureRegisters(false) + CaptureLine(3);
    options.workDir = dir;
    const mode_t umaskBefore = umask(027);
    const simrun::Result run = simrun::Run({"memget", "cap.yuv"}, options);
    umask(umaskBefore);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(ReadFile(dir + "/victim"), "keep me");
    for (const char* name : {"cap_000.yuv", "cap_001.yuv", "cap_002.yuv"}) {
        struct stat info {};
        ASSERT_EQ(lstat((dir + "/" + name).c_str(), &info), 0) << name;
        EXPECT_TRUE(S_ISREG(info.st_mode)) << name;
        EXPECT_EQ(info.st_mode & 0777, 0640u) << name;
    }
}

// Whether a file at a frame's name is replaced, and whose the new file is; the other user
// is nobody. (A link at the name is never the model: the test above.)
TEST(CaptureSim, AReplacedFileKeepsItsModeAndOwnerOnlyWhereThatIsSafe) {
    if (geteuid() != 0) GTEST_SKIP() << "only root can give files to another user";
    constexpr uid_t kNobody = 65534;
    struct Case {
        mode_t folderMode;
        uid_t folderOwner, fileOwner, runAs;
        mode_t fileMode, mode;  // the file's before and after
        uid_t owner;            // after
        bool replaced;
    };
    const Case cases[] = {
        {0755, 0, kNobody, 0, 0600, 0600, kNobody, true},  // only root writes the folder
        {0755, 0, 0, 0, 0444, 0444, 0, true},              // root may write a read-only file
        {01777, 0, kNobody, 0, 0600, 0640, 0, true},       // others write it: never handed back
        {0755, kNobody, kNobody, 0, 0600, 0640, 0, true},  // the folder is another user's
        {0755, kNobody, kNobody, kNobody, 0444, 0444, kNobody, false},  // nobody may not write it
    };
    const mode_t umaskBefore = umask(027);
    for (const Case& c : cases) {
        const support::TempDir temp;
        const std::string& dir = temp.Path();
        const std::string name = dir + "/cap_001.yuv";
        support::WriteFile(name, "earlier");
        ASSERT_EQ(chown(name.c_str(), c.fileOwner, c.fileOwner) | chmod(name.c_str(), c.fileMode) |
                      chown(dir.c_str(), c.folderOwner, c.folderOwner) | chmod(dir.c_str(), c.folderMode),
                  0);
        simrun::Options options;
        options.target = SmallCaptureRegisters(false) + CaptureLine(3);
        options.workDir = dir;
        ASSERT_EQ(setegid(c.runAs) | seteuid(c.runAs), 0);
        const simrun::Result run = simrun::Run({"memget", "cap.yuv"}, options);
        ASSERT_EQ(seteuid(0) | setegid(0), 0);
        EXPECT_EQ(run.status, c.replaced ? 0 : 1) << run.out << run.err;
        EXPECT_EQ(run.out.find("Can NOT create cap_001.yuv file\n\n") == std::string::npos, c.replaced);
        EXPECT_EQ(ReadFile(name) == "earlier", !c.replaced);
        struct stat info {};
        ASSERT_EQ(stat(name.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, c.owner);
        EXPECT_EQ(info.st_mode & 07777, c.mode) << std::oct << c.mode;
    }
    umask(umaskBefore);
}

TEST(CaptureSim, WithoutTheRegisterDeviceNothingIsReadOrWritten) {
    simrun::Options options;
    options.target = "nodes /dev/zorvip\n" + CaptureLine(1);
    const simrun::Result run = simrun::Run({"memget", "cap.bmp"}, options);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("avrig: cannot read the capture registers"), std::string::npos);
    EXPECT_EQ(run.out.find("Informaiton"), std::string::npos);
    struct stat info {};
    EXPECT_NE(stat((run.workDir + "/cap.bmp").c_str(), &info), 0);
}

TEST(CaptureSim, ARefusedCaptureInformationRequestStartsNoCapture) {
    simrun::Options options;
    options.target = SmallCaptureRegisters(false) + CaptureLine(1) + "refuse 0xc0186b6c\n";
    const simrun::Result run = simrun::Run({"memget", "cap.bmp"}, options);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "avrig: request 0xc0186b6c (VIP_CAPTURE_INFO) failed: Invalid argument\n"
              "avrig: no capture into cap.bmp: the driver did not say where the frames are\n");
    EXPECT_EQ(run.log.find("zormmio"), std::string::npos);
}

TEST(CaptureSim, FramesFromOneThousandOnKeepTheirOwnFiles) {
    simrun::Options options;
    options.target = SmallCaptureRegisters(false) + CaptureLine(1002);
    const simrun::Result run = simrun::Run({"memget", "f.yuv"}, options);
    EXPECT_EQ(run.status, 0);
    for (const char* name : {"f_000.yuv", "f_999.yuv", "f_1000.yuv", "f_1001.yuv"}) {
        struct stat info {};
        EXPECT_EQ(stat((run.workDir + "/" + name).c_str(), &info), 0) << name;
    }
}

TEST(CaptureSim, TheJpegBufferIsDumpedAsOneBmp) {
    simrun::Options options;
    // The one file takes the one-file name limit whatever the count.
    options.target = "nodes /dev/zorvip /dev/zormmio\n" + CaptureLine(3) +
                     "word 0xbe1c8044 0x1\n"
                     "word 0xbe1c8060 0xff001000\n"  // base 0x10000, the top byte ignored
                     "word 0xbe1cc400 0x0\n"
                     "word 0xbe1cc408 0x1\n"         // 4 pixels
                     "word 0xbe1cc404 0x0\n"
                     "word 0xbe1cc40c 0x2\n"         // 2 lines
                     "word 0xbe1c8074 0x1\n"         // line offset 256
                     "word 0x10000 0x808080ff\n"     // line 0: Cr 255 Cb 128 Y 128, then Cr 128 ...
                     "word 0x10100 0x00000000\n";
    const std::string name = std::string(35, 'd') + ".yuv";
    const simrun::Result run = simrun::Run({"memget", name}, options);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("==============================>Informaiton\nDevice ID: 0 \nWidth: 4, Height: 2\n"
                           "Base address: 0x80010000\nLine Offset: 256\n==============================>Encodeing\n"),
              std::string::npos)
        << run.out;
    const std::string file = ReadFile(run.workDir + "/" + name);
    ASSERT_EQ(file.size(), 54u + 12u * 2u);
    // The last row in the file is line 0; its first pixel is Cr 255, Cb 128, Y 128.
    EXPECT_EQ(static_cast<unsigned char>(file[54 + 12]), 130);
    EXPECT_EQ(static_cast<unsigned char>(file[54 + 13]), 27);
    EXPECT_EQ(static_cast<unsigned char>(file[54 + 14]), 255);
}

TEST(CaptureSim, HostileJpegRegistersNeverOverrunOrExplode) {
    const std::string base = "nodes /dev/zorvip /dev/zormmio\n" + CaptureLine(0) +
                             "word 0xbe1c8044 0x1\nword 0xbe1c8060 0x1000\n";
    struct Case {
        std::string registers;
        int status;
        size_t size;  // of the file written
    };
    const Case cases[] = {
        // line offset 0: every line reads nothing, the rows are still whole
        {"word 0xbe1cc408 0x1\nword 0xbe1cc40c 0x2\nword 0xbe1c8074 0x0\n", 0, 54 + 12 * 2},
        // line offset shorter than a row
        {"word 0xbe1cc408 0x7ff\nword 0xbe1cc40c 0x1\nword 0xbe1c8074 0x1\n", 0, 54 + 12288},
        // an end just before its start: no pixel a line, three lines, the header alone
        {"word 0xbe1cc400 0x5\nword 0xbe1cc408 0x4\nword 0xbe1cc40c 0x3\nword 0xbe1c8074 0x1\n", 0, 54},
        // extents running backwards
        {"word 0xbe1cc400 0x10\nword 0xbe1cc408 0x1\nword 0xbe1cc40c 0x2\nword 0xbe1c8074 0x1\n", 1, 0},
        {"word 0xbe1cc404 0x10\nword 0xbe1cc408 0x1\nword 0xbe1cc40c 0x2\nword 0xbe1c8074 0x1\n", 1, 0},
    };
    for (const Case& c : cases) {
        simrun::Options options;
        options.target = base + c.registers;
        const simrun::Result run = simrun::Run({"memget", "j.bmp"}, options);
        EXPECT_EQ(run.status, c.status) << c.registers << run.out;
        EXPECT_EQ(ReadFile(run.workDir + "/j.bmp").size(), c.size) << c.registers;
    }
}

}  // namespace
