// The frame writers of every output format end to end against the fake frame memory.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__x86_64__)
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "image/frame_rows.h"
#include "image/writers.h"
#include "memget/output_file.h"
#include "tests/support.h"
#include "tests/test_image_support.h"

namespace {

using imgtest::Frame;
using imgtest::kLayouts;
using imgtest::MakeFrame;
using imgtest::RunWriter;

using imgtest::RunFormat;
using Writer = int (*)(CaptureDescriptor*);

using imgtest::Expected;

bool IsBmp(const OutputFormat& format) { return format.accepts == BmpAccepts; }

TEST(ReadFrameLine, OneWordPerFourBytesAndNothingPastTheLength) {
    for (uint32_t bytes : {0u, 4u, 6u, 256u}) {
        fake::Reset();
        MmioOpen();
        std::vector<uint8_t> memory(260);
        for (size_t k = 0; k < memory.size(); ++k) memory[k] = static_cast<uint8_t>(k * 7 + 1);
        fake::PutBytes(imgtest::kAddrY, memory);
        std::vector<uint8_t> line(bytes);  // exactly `bytes` long: ASan flags any spill
        ReadFrameLine(imgtest::kAddrY, line.data(), bytes);
        EXPECT_EQ(line, std::vector<uint8_t>(memory.begin(), memory.begin() + bytes));
        EXPECT_EQ(fake::Get().reads, (bytes + 3) / 4);
        for (size_t k = 0; k < fake::Get().ioctls.size(); ++k) EXPECT_EQ(fake::Get().ioctls[k].addr, imgtest::kAddrY + 4 * k);
    }
}

// Random lines, every layout, odd and even widths (and widths off a multiple of 4):
// the file matches the reference byte for byte, built from whole lines with random
// padding, and each line costs only the words that hold its pixels' samples. The wide
// frames span several of the writers' bands of rows (the last one short).
TEST(FrameWriters, MatchReferenceOnRandomFrames) {
    struct Size {
        uint32_t width, height;
    };
    const Size sizes[] = {{0, 3}, {1, 3},  {2, 3},  {3, 3},  {4, 3},   {5, 3},   {6, 3},       {7, 3},
                          {8, 3}, {9, 3},  {13, 3}, {31, 3}, {64, 3},  {101, 3}, {1000, 27}, {1003, 27}};
    for (const OutputFormat& format : kOutputFormats) {
        for (const auto& layout : kLayouts) {
            for (const Size& size : sizes) {
                const uint32_t w = size.width;
                if (w == 0 && format.streamHeader != nullptr) {
                    continue;  // refused: no stream holds an empty picture
                }
                const bool wide = w > 101;
                Frame f = MakeFrame(layout, w, size.height, wide ? 4096 : 256, wide ? 4096 : 512, w * 7 + layout.colorSpace);
                const auto got = RunFormat(format, &f.desc);
                SCOPED_TRACE(std::string(format.ending) + " " + layout.name + " width " + std::to_string(w));
                EXPECT_EQ(got.status, 1);
                EXPECT_EQ(got.out, "");
                EXPECT_EQ(got.bytes, Expected(format, f));
                EXPECT_EQ(fake::Get().reads, imgtest::FloorReads(f, format.planes));
                if (IsBmp(format)) {
                    EXPECT_EQ(f.desc.uiRowBytes, (3 * w + 3) / 4 * 4);
                }
            }
        }
    }
}

// The image writers on plain memory, no device beneath: with a hostile line offset
// (255 x 256 bytes) and a width of 1, each line of each plane is asked for one word, and
// the file is the reference's.
TEST(ImageWriters, AskEachLineForTheWordsOfItsPixelsOnly) {
    struct Memory {
        const Frame* frame;
        std::vector<uint32_t> asked;  // plane, line, bytes of every read
    };
    const auto read = [](void* context, Plane plane, uint32_t line, uint8_t* buffer, uint32_t bytes) {
        auto* m = static_cast<Memory*>(context);
        const auto& lines = plane == Plane::Luma ? m->frame->luma : m->frame->chroma;
        std::copy(lines[line].begin(), lines[line].begin() + bytes, buffer);
        m->asked.insert(m->asked.end(), {static_cast<uint32_t>(plane), line, bytes});
    };
    using ImageWriter = int (*)(FILE*, FrameFormat*, const LineSource&);
    const std::pair<ImageWriter, const char*> writers[] = {
        {WriteBmpFile, ".bmp"}, {WriteYuvFile, ".yuv"}, {WritePpmFile, ".pbm"}, {WriteY4mFrame, ".y4m"}};
    for (const auto& writer : writers) {
        const OutputFormat& row = *FindOutputFormat(PackEnding(writer.second));
        for (const auto& layout : kLayouts) {
            const Frame f = MakeFrame(layout, 1, 2, 255 * 256, 255 * 256);
            Memory memory{&f, {}};
            const CaptureDescriptor& d = f.desc;
            FrameFormat format{d.uiWidth,      d.uiHeight,        d.uiRowBytes,         d.uiColorSpace,
                               d.uiEncodeMode, d.uiLineOffsetY, d.uiLineOffsetUV};
            FILE* file = tmpfile();
            if (row.streamHeader != nullptr) {
                ASSERT_EQ(WriteY4mHeader(file, format), 1);
            }
            ASSERT_EQ(writer.first(file, &format, LineSource{read, &memory}), 1);
            std::vector<uint8_t> bytes(static_cast<size_t>(ftell(file)));
            rewind(file);
            ASSERT_EQ(fread(bytes.data(), 1, bytes.size(), file), bytes.size());
            fclose(file);
            EXPECT_EQ(bytes, Expected(row, f)) << row.ending << " " << layout.name;
            const uint32_t luma = static_cast<uint32_t>(Plane::Luma), chroma = static_cast<uint32_t>(Plane::Chroma);
            const uint32_t first = IsBmp(row) ? 1 : 0;  // BMP rows run bottom-up
            EXPECT_EQ(memory.asked, (std::vector<uint32_t>{luma, first, 4, chroma, first, 4, luma, 1 - first, 4,
                                                           chroma, 1 - first, 4}))
                << row.ending << " " << layout.name;
        }
    }
}

TEST(FrameWriters, BmpHeaderAndPadding) {
    // Row lengths 0, 4, 8, 12, 12 for widths 0 to 4; a width of 0 is the header alone.
    const uint32_t rowBytes[] = {0, 4, 8, 12, 12};
    for (uint32_t w = 0; w <= 4; ++w) {
        for (Writer writer : {WriteBmp, WriteYUV}) {  // the BMP container's two
            Frame f = MakeFrame(kLayouts[0], w, 2);
            const auto got = RunWriter(writer, &f.desc);
            ASSERT_EQ(got.bytes.size(), 54 + 2 * rowBytes[w]);
            // The next frame of a capture finds uiRowBytes rounded already.
            EXPECT_EQ(RunWriter(writer, &f.desc).bytes, got.bytes);
            EXPECT_EQ(std::vector<uint8_t>(got.bytes.begin(), got.bytes.begin() + 54), support::BmpHeader(w, 2));
            for (uint32_t row = 0; row < 2; ++row) {
                for (uint32_t k = 3 * w; k < rowBytes[w]; ++k) EXPECT_EQ(got.bytes[54 + row * rowBytes[w] + k], 0);
            }
        }
    }
    // One literal header, so the expected-header builder is checked too.
    Frame f = MakeFrame(kLayouts[1], 720, 1, 1024, 1536);
    const auto got = RunWriter(WriteBmp, &f.desc);
    const std::vector<uint8_t> head = {0x42, 0x4d, 0xa6, 0x08, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0, 0x28, 0, 0, 0,
                                       0xd0, 0x02, 0, 0, 0x01, 0, 0, 0, 0x01, 0, 0x18, 0, 0, 0, 0, 0, 0, 0,
                                       0, 0, 0x64, 0, 0, 0, 0x64, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(got.bytes.begin(), got.bytes.begin() + 54), head);
}

// Reduced samples of 256: converted unchanged by the BMP writer, saturated by the dump.
TEST(FrameWriters, SaturatedSamples) {
    struct Case {
        uint32_t y, chroma;
        std::vector<uint8_t> bmp, yuv;
    };
    const Case cases[] = {{1022, 512, {255, 255, 255}, {128, 128, 255}}, {1023, 512, {255, 255, 255}, {128, 128, 255}},
                          {1020, 1023, {255, 124, 255}, {255, 255, 255}}, {1017, 0, {19, 255, 73}, {0, 0, 254}},
                          {1, 1, {0, 135, 0}, {0, 0, 0}}};
    for (const Case& c : cases) {
        for (const auto& layout : {kLayouts[0], kLayouts[2]}) {
            Frame f = MakeFrame(layout, 1, 1);
            support::Put10(&f.luma[0], 0, c.y);
            support::Put10(&f.chroma[0], 0, c.chroma);
            support::Put10(&f.chroma[0], 1, c.chroma);
            imgtest::Store(f);
            const auto bmp = RunWriter(WriteBmp, &f.desc);
            f.desc.uiRowBytes = 3;
            const auto yuv = RunWriter(WriteYUV, &f.desc);
            EXPECT_EQ(std::vector<uint8_t>(bmp.bytes.begin() + 54, bmp.bytes.begin() + 57), c.bmp) << c.y;
            EXPECT_EQ(std::vector<uint8_t>(yuv.bytes.begin() + 54, yuv.bytes.end()),
                      (std::vector<uint8_t>{c.yuv[0], c.yuv[1], c.yuv[2], 0})) << c.y;
        }
    }
}

TEST(WritePbm, HeaderBytes) {
    Frame f = MakeFrame(kLayouts[0], 720, 576, 4, 4);
    auto got = RunWriter(WritePbm, &f.desc).bytes;
    EXPECT_EQ(std::string(got.begin(), got.begin() + 19), std::string("P3\0\n720 576\0\n1023\0\n", 19));
    f = MakeFrame(kLayouts[3], 2, 1, 4, 4);
    f.luma[0] = {0xff, 0x03, 0, 0};  // Y 1023, 0; Cr 7 -> 28, Cb 0
    f.chroma[0] = {7, 0, 0, 0};
    imgtest::Store(f);
    got = RunWriter(WritePbm, &f.desc).bytes;
    EXPECT_EQ(std::string(got.begin(), got.end()), std::string("P3\0\n2 1\0\n1023\0\n", 15) + "1023 0 28 0 0 28 ");
}

TEST(WritePbm, WidthsOutsideTheRegisterRange) {
    const std::pair<uint32_t, std::string> cases[] = {{0, "0 2"}, {5000, "5000 2"}, {16384, "16384 2"}};
    for (const auto& c : cases) {
        Frame f = MakeFrame(kLayouts[0], c.first, 2, 4, 4);
        const auto got = RunWriter(WritePbm, &f.desc);
        EXPECT_EQ(got.status, 1);
        EXPECT_EQ(std::string(got.bytes.begin() + 4, got.bytes.begin() + 6 + static_cast<long>(c.second.size())),
                  c.second + std::string("\0\n", 2));
    }
}

// Line offsets shorter than the width needs: no more than the line offsets is fetched
// and the samples beyond them are 0, in a file whose header matches its rows.
TEST(FrameWriters, NarrowLineOffsetsReadAsZero) {
    for (const OutputFormat& format : kOutputFormats) {
        for (const auto& layout : kLayouts) {
            Frame f = MakeFrame(layout, 301, 2, 256, 0);
            const auto got = RunFormat(format, &f.desc);
            EXPECT_EQ(got.status, 1);
            EXPECT_EQ(got.bytes, Expected(format, f)) << format.ending << " " << layout.name;
            EXPECT_EQ(fake::Get().reads, imgtest::FloorReads(f, format.planes));
        }
        // A line offset at its limit is served.
        Frame f = MakeFrame(kLayouts[0], 4, 2, kMaxLineOffset, kMaxLineOffset);
        const auto got = RunFormat(format, &f.desc);
        EXPECT_EQ(got.status, 1);
        EXPECT_EQ(got.bytes, Expected(format, f)) << format.ending;
    }
}

// Values no capture produces: refused with one line before anything is written or read.
TEST(FrameWriters, RefusesUnservableFrames) {
    struct Case {
        uint32_t width, height, rowBytes, offY, colorSpace;
        const char* out;  // the historic text
        const char* err;  // or the line the project added
    };
    const Case cases[] = {
        {16385, 1, 3 * 16385, 256, 1, "", "avrig: frame geometry not supported: 16385x1, line offset Y 256, UV 256\n"},
        {0x60000000, 1, 0x20000000, 256, 1, "",
         "avrig: frame geometry not supported: 1610612736x1, line offset Y 256, UV 256\n"},
        {4, 16385, 12, 256, 1, "", "avrig: frame geometry not supported: 4x16385, line offset Y 256, UV 256\n"},
        {4, 1, 12, 0xffffff00, 1, "", "avrig: frame geometry not supported: 4x1, line offset Y 4294967040, UV 256\n"},
        {4, 1, 12, kMaxLineOffset + 1, 1, "", "avrig: frame geometry not supported: 4x1, line offset Y 1048577, UV 256\n"},
        {4, 1, 12, 256, 3, "Unkown color space or encode type\n", ""},
    };
    for (const OutputFormat& format : kOutputFormats) {
        for (const Case& c : cases) {
            Frame f = MakeFrame(kLayouts[0], 0, 0, 256, 256);
            f.desc.uiWidth = c.width;
            f.desc.uiHeight = c.height;
            f.desc.uiRowBytes = c.rowBytes;
            f.desc.uiLineOffsetY = c.offY;
            f.desc.uiColorSpace = c.colorSpace;
            const auto got = RunWriter(format.write, &f.desc);
            EXPECT_EQ(got.status, 0);
            EXPECT_EQ(got.out, c.out);
            EXPECT_EQ(got.err, c.err);
            EXPECT_TRUE(got.bytes.empty());
            EXPECT_EQ(fake::Get().reads, 0u);
        }
    }
    // A row length that disagrees with the width would give a header no reader follows.
    for (Writer writer : {WriteBmp, WriteYUV, WriteBmpHeader}) {
        Frame f = MakeFrame(kLayouts[0], 8, 1);
        f.desc.uiRowBytes = 28;
        const auto got = RunWriter(writer, &f.desc);
        EXPECT_EQ(got.status, 0);
        EXPECT_EQ(got.err, "avrig: frame geometry not supported: 8x1, row bytes 28\n");
        EXPECT_TRUE(got.bytes.empty());
    }
}

// /dev/full unbuffered fails the first write. With a 128-byte buffer the header is held
// in it and the first row overflows it (glibc writes around buffers below 128 bytes).
TEST(FrameWriters, ShortWrites) {
    for (const OutputFormat& format : kOutputFormats) {
        for (bool headerFits : {false, true}) {
            FILE* full = fopen("/dev/full", "w");
            ASSERT_NE(full, nullptr);
            static char buffer[128];
            if (headerFits) {
                setvbuf(full, buffer, _IOFBF, sizeof buffer);
            } else {
                setvbuf(full, nullptr, _IONBF, 0);
            }
            Frame f = MakeFrame(kLayouts[2], 41, 4, 256, 256);
            const auto got = RunFormat(format, &f.desc, full);
            fclose(full);
            EXPECT_EQ(got.status, 0);
            const support::FormatOracle* oracle = support::FindOracle(format.ending);
            ASSERT_NE(oracle, nullptr) << format.ending;
            EXPECT_EQ(got.out, headerFits ? oracle->laterWriteError : oracle->firstWriteError) << format.ending;
            // No line after the failing band is read (these four lines make one band): none
            // when the header fails. The levels report writes nothing before the whole frame
            // is counted, so it reads every line either way.
            const bool header = !oracle->file({support::FrameMemory{41, f.layout, {}, {}}}).empty();
            EXPECT_EQ(fake::Get().reads, headerFits || !header ? imgtest::FloorReads(f) : 0u) << format.ending;
            if (IsBmp(format)) {
                EXPECT_EQ(f.desc.uiRowBytes, headerFits ? 124u : 123u);
            }
        }
    }
}

#if defined(__x86_64__)
// Some file systems (NFS, FUSE) tell of a failed write only at the close, after a sync that
// went well: the file is failed, and nothing is left at either name. The close is made to
// fail in a child, by a seccomp filter, since nothing else makes a good file's close fail.
TEST(OutputFile, ACloseThatFailsAfterAGoodSyncIsAFailedFile) {
    const support::TempDir scratch;
    const std::string name = scratch.Path() + "/cap.bmp";
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        OutputFile file;
        if (!file.Create(name.c_str()) || std::fputs("x", file.Stream()) < 0) {
            _exit(2);
        }
        sock_filter closeFails[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_close, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        const sock_fprog program{static_cast<unsigned short>(sizeof closeFails / sizeof closeFails[0]), closeFails};
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
            _exit(3);
        }
        const bool finished = file.Finish();
        _exit(finished ? 1 : errno == EIO ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_TRUE(support::FolderNames(scratch.Path()).empty());
}
#endif

}  // namespace
