// One capture: probe the capture registers, then write every frame to its own file, or
// dump the JPEG engine's buffer when that is active.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "device/mmio.h"
#include "device/report.h"
#include "device/watch.h"
#include "memget/capture.h"
#include "memget/capture_names.h"
#include "memget/capture_registers.h"
#include "memget/frame_writers.h"

namespace {

constexpr const char* kBanner = "==============================>";

struct Layout {
    uint32_t uiColorSpace;
    uint32_t uiEncodeMode;
};

// One flag byte per layout, in the order they are tested.
constexpr Layout kLayouts[] = {
    {kColorSpace444, kEncodeChroma10},  // YUV_444C10
    {kColorSpace444, kEncodeChroma8},   // YUV_444C8
    {kColorSpace422, kEncodeChroma10},  // YUV_422C10
    {kColorSpace422, kEncodeChroma8},   // YUV_422C8
};

void Banner(const char* title) { std::printf("%s%s\n", kBanner, title); }

// Standard I/O buffers, so a full disk often shows only when the file is closed.
bool CloseFrameFile(CaptureDescriptor* desc, const char* name) {
    const int closed = std::fclose(desc->pFile);
    desc->pFile = nullptr;
    if (closed == 0) {
        return true;
    }
    Complain("%s was not written completely: %s", name, std::strerror(errno));
    return false;
}

int DumpJpegBuffer(CaptureDescriptor* desc) {
    desc->pFile = std::fopen(desc->acFileName, "w");
    if (desc->pFile == nullptr) {
        std::fputs("Cannot create pbm or bmp file", stdout);
        return 0;
    }
    const int written = WriteBmpJPEG(desc);
    return CloseFrameFile(desc, desc->acFileName) ? written : 0;
}

struct Probe {
    uint32_t uiLineOffsetY = 0;
    uint32_t uiLineOffsetUV = 0;
    uint32_t uiHeight = 0;
    uint32_t uiCaptureWidth = 0;
    uint32_t uiPanelWidth = 0;
    const Layout* pLayout = nullptr;
};

// Reads geometry and layout; false (with its message printed) when the registers make no
// sense for a capture.
bool ProbeGeometry(Probe& probe) {
    uint8_t byte = 0;
    RegReadByte(kRegLineOffsetY, &byte);
    probe.uiLineOffsetY = byte * 256u;
    byte = 0;
    RegReadByte(kRegLineOffsetUV, &byte);
    probe.uiLineOffsetUV = byte * 256u;
    uint32_t word = 0;
    RegReadWord(kRegHeight, &word);
    probe.uiHeight = word & 0xfffu;
    if (probe.uiLineOffsetY == 0 || probe.uiHeight == 0) {
        std::puts("Function gets wrong register value(s) !");
        return false;
    }

    uint32_t end = 0;
    uint32_t start = 0;
    if (RegReadWord(kRegCaptureEnd, &end) && RegReadWord(kRegCaptureStart, &start)) {
        probe.uiCaptureWidth = (end & 0xfffu) - (start & 0xfffu);
    }
    if (RegReadWord(kRegPanelEnd, &end) && RegReadWord(kRegPanelStart, &start)) {
        probe.uiPanelWidth = ((end & 0x7ffu) - (start & 0x1ffu)) * 2u;
    }

    for (uint32_t k = 0; k < 4; ++k) {
        uint8_t flag = 0;
        if (RegReadByte(kRegFormatFlags + k, &flag) && (flag & 1u)) {
            probe.pLayout = &kLayouts[k];
            break;
        }
    }
    if (probe.pLayout == nullptr) {
        std::puts("Unkown color space or encode type");
        return false;
    }
    return true;
}

void PrintInformation(const CaptureDescriptor* desc, const Probe& probe) {
    Banner("Informaiton");
    std::printf("Device ID: %d \n", static_cast<int>(desc->uiDeviceId));
    std::printf("Interlace: %d\n", static_cast<int>(desc->uiInterlace));
    std::printf("Width: %d, Height: %d\n", static_cast<int>(desc->uiWidth), static_cast<int>(desc->uiHeight));
    std::printf("Capture Width: %d, Panel Width: %d\n", static_cast<int>(probe.uiCaptureWidth),
                static_cast<int>(probe.uiPanelWidth));
    std::printf("Line Offset Y: %d, Line Offset UV: %d\n", static_cast<int>(desc->uiLineOffsetY),
                static_cast<int>(desc->uiLineOffsetUV));
    std::printf("Color space is %d\n", static_cast<int>(desc->uiColorSpace));
    std::printf("Encode mode is %d\n", static_cast<int>(desc->uiEncodeMode));
    std::printf("address Y: %#x, address UV: %#x\n", static_cast<unsigned>(desc->uiAddrY),
                static_cast<unsigned>(desc->uiAddrUV));
    std::printf("size Y: %#x, size UV: %#x\n", static_cast<unsigned>(desc->uiSizeY),
                static_cast<unsigned>(desc->uiSizeUV));
    Banner("Informaiton");
}

int WriteFrame(CaptureDescriptor* desc) {
    switch (desc->uiFileType) {
        case kFileTypeBmp: return WriteBmp(desc);
        case kFileTypePbm: return WritePbm(desc);
        case kFileTypeYuv: return WriteYUV(desc);
        default: return 0;
    }
}

}  // namespace

void Disable_CVD2_debug() { DeviceSystem(kDisableCvd2Command); }

int WriteFile(CaptureDescriptor* desc) {
    Disable_CVD2_debug();

    uint8_t control = 0;
    if (!RegReadByte(kRegCaptureControl, &control)) {
        // Nothing below may act on registers that were never read.
        Complain("cannot read the capture registers: no register access device (/dev/zormmio-dbg, /dev/zormmio)");
        return 0;
    }
    const bool interlaced = (control & 0x08u) != 0;
    uint32_t jpegBuffer = 0;
    RegReadWord(kRegJpegBuffer, &jpegBuffer);
    if (jpegBuffer != 0) {
        return DumpJpegBuffer(desc);
    }

    Probe probe;
    if (!ProbeGeometry(probe)) {
        return 0;
    }
    const uint32_t width = probe.uiCaptureWidth < probe.uiPanelWidth ? probe.uiCaptureWidth : probe.uiPanelWidth;
    desc->uiInterlace = interlaced ? 1 : 0;
    desc->uiLineOffsetY = probe.uiLineOffsetY;
    desc->uiLineOffsetUV = probe.uiLineOffsetUV;
    desc->uiHeight = probe.uiHeight;
    desc->uiWidth = width;
    desc->uiRowBytes = 3u * width;
    desc->uiEncodeMode = probe.pLayout->uiEncodeMode;
    desc->uiColorSpace = probe.pLayout->uiColorSpace;
    PrintInformation(desc, probe);

    const uint32_t groupSize = interlaced ? 6u : 3u;
    const uint32_t groupStride = groupSize * (desc->uiSizeY + desc->uiSizeUV);
    int written = 1;
    for (int32_t i = 0; i < desc->iTotalCount; ++i) {
        char name[kFileNameSize];
        FrameName(name, desc->acFileName, i, desc->iTotalCount);
        const uint32_t position = interlaced ? static_cast<uint32_t>(i) % 6u : 2u * (static_cast<uint32_t>(i) % 3u);
        const int32_t slot = desc->piFrameOrder[position];
        desc->uiCurAddrY = desc->uiAddrY + static_cast<uint32_t>(slot) * desc->uiSizeY;
        desc->uiCurAddrUV = desc->uiAddrUV + static_cast<uint32_t>(slot) * desc->uiSizeUV;

        const uint32_t physY = desc->uiCurAddrY & 0x5fffffffu;
        const uint32_t physUV = desc->uiCurAddrUV & 0x5fffffffu;
        Banner("Encodeing");
        std::printf("Output name: %s\n", name);
        std::printf("address Y: %#x, address UV: %#x\n", static_cast<unsigned>(physY), static_cast<unsigned>(physUV));
        std::printf("address Y: %#x, address UV: %#x(%d)\n", static_cast<unsigned>(physY >> 3),
                    static_cast<unsigned>(physUV >> 3), static_cast<int>(slot));

        desc->pFile = std::fopen(name, "w");
        if (desc->pFile == nullptr) {
            std::printf("Can NOT create %s file\n\n", name);
            return 0;
        }
        if (!WriteFrame(desc)) {
            written = 0;
        }
        if (!CloseFrameFile(desc, name)) {
            written = 0;
        }
        Banner("End");

        if (static_cast<uint32_t>(i) % groupSize == groupSize - 1) {
            desc->uiAddrY += groupStride;
            desc->uiAddrUV += groupStride;
        }
    }
    return written;
}
