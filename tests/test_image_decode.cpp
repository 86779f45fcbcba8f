// Files from the BMP and YUV writers opened by real decoders (Pillow and netpbm's
// bmptopnm): the decoded pixels are the ones the frame holds.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/test_image_support.h"

namespace {

using imgtest::Frame;

struct Decoder {
    const char* name;
    const char* probe;    // exits 0 when the decoder is installed
    const char* command;  // followed by the file name; prints a binary PPM (P6)
    const char* install;
};

const Decoder kDecoders[] = {
    {"Pillow", "/usr/bin/python3 -c 'import PIL' 2>/dev/null",
     "/usr/bin/python3 -c 'import sys; from PIL import Image; im = Image.open(sys.argv[1]); im.load(); "
     "assert im.format == \"BMP\" and im.mode == \"RGB\"; "
     "sys.stdout.buffer.write(b\"P6\\n%d %d\\n255\\n\" % im.size + im.tobytes())' ",
     "apt-get install python3-pil"},
    {"bmptopnm", "command -v bmptopnm >/dev/null 2>&1", "bmptopnm 2>/dev/null ", "apt-get install netpbm"},
};

// Runs the decoder on `path`; returns width, height and RGB bytes of a P6 image.
bool Decode(const Decoder& d, const std::string& path, uint32_t* w, uint32_t* h, std::vector<uint8_t>* rgb) {
    FILE* pipe = popen((std::string(d.command) + path).c_str(), "r");
    if (pipe == nullptr) return false;
    std::vector<uint8_t> out;
    uint8_t chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.insert(out.end(), chunk, chunk + n);
    if (pclose(pipe) != 0) return false;
    unsigned width = 0, height = 0, maxval = 0;
    int used = 0;
    const std::string text(out.begin(), out.begin() + static_cast<long>(std::min<size_t>(out.size(), 64)));
    if (sscanf(text.c_str(), "P6 %u %u %u%n", &width, &height, &maxval, &used) != 3 || maxval != 255) return false;
    *w = width;
    *h = height;
    rgb->assign(out.begin() + used + 1, out.end());
    return true;
}

TEST(DecodedBmp, ShowsTheFramePixels) {
    for (const Decoder& d : kDecoders) {
        ASSERT_EQ(system(d.probe), 0) << d.name << " is missing: " << d.install;
        for (int (*writer)(CaptureDescriptor*) : {WriteBmp, WriteYUV}) {
            for (const auto& layout : imgtest::kLayouts) {
                for (uint32_t w : {1u, 2u, 3u, 33u}) {
                    Frame f = imgtest::MakeFrame(layout, w, 3, 256, 256, w);
                    const support::TempDir dir;
                    const std::string path = dir.Path() + "/frame.bmp";
                    FILE* stream = fopen(path.c_str(), "w");
                    ASSERT_NE(stream, nullptr);
                    ASSERT_EQ(imgtest::RunWriter(writer, &f.desc, stream).status, 1);
                    fclose(stream);
                    uint32_t dw = 0, dh = 0;
                    std::vector<uint8_t> rgb;
                    const bool decoded = Decode(d, path, &dw, &dh, &rgb);
                    SCOPED_TRACE(std::string(d.name) + " " + layout.name + " width " + std::to_string(w));
                    ASSERT_TRUE(decoded);
                    EXPECT_EQ(dw, w);
                    EXPECT_EQ(dh, 3u);
                    std::vector<uint8_t> expected;
                    for (uint32_t l = 0; l < 3; ++l) {
                        const auto line = support::ExpectedRgb(f.luma[l], f.chroma[l], f.layout, w, writer == WriteYUV);
                        expected.insert(expected.end(), line.begin(), line.end());
                    }
                    EXPECT_EQ(rgb, expected);
                }
            }
        }
    }
}

}  // namespace
