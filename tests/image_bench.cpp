// Runs one writer on one 720x576 frame of pseudo-random memory into /dev/null, for
// callgrind: instructions per pixel = (writer - ReadFrameLine) inclusive / pixels.
//   image_bench bmp|yuv|ppm|jpeg LAYOUT(0..3)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "device/mmio.h"
#include "image/jpeg_row.h"
#include "image/writers.h"
#include "tests/fake_seam.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: image_bench bmp|yuv|ppm|jpeg LAYOUT\n");
        return 2;
    }
    const uint32_t layouts[4][2] = {{1, 3}, {1, 4}, {2, 3}, {2, 4}};
    const int layout = atoi(argv[2]) & 3;
    fake::Reset();
    fake::Get().background = [](uint32_t address) { return address * 2654435761u; };
    MmioOpen();

    CaptureDescriptor desc{};
    desc.uiWidth = 720;
    desc.uiHeight = 576;
    desc.uiRowBytes = 3 * desc.uiWidth;
    desc.uiColorSpace = layouts[layout][0];
    desc.uiEncodeMode = layouts[layout][1];
    desc.uiLineOffsetY = 1024;
    desc.uiLineOffsetUV = 2048;
    desc.uiCurAddrY = 0xa1000000;
    desc.uiCurAddrUV = 0xa1800000;
    desc.pFile = fopen("/dev/null", "w");
    if (desc.pFile == nullptr) {
        return 1;
    }
    int status = 1;
    if (strcmp(argv[1], "bmp") == 0) {
        status = WriteBmp(&desc);
    } else if (strcmp(argv[1], "yuv") == 0) {
        status = WriteYUV(&desc);
    } else if (strcmp(argv[1], "ppm") == 0) {
        status = WritePbm(&desc);
    } else {
        std::vector<uint8_t> row(3 * 720);
        for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(i * 37);
        for (int n = 0; n < 576; ++n) ConvertJpegRow(row.data(), 720);
    }
    fclose(desc.pFile);
    return status == 1 ? 0 : 1;
}
