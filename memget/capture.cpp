// The capture request: echo the driver's figures, refuse what cannot be served, build
// the descriptor and run the frame loop with the register-access device open.
#include <array>
#include <cstdio>
#include <cstring>

#include "device/frame_memory.h"
#include "device/mmio.h"
#include "memget/capture.h"
#include "memget/capture_names.h"
#include "memget/output_formats.h"

int VIP_MemoryCatch(uint32_t uiAddrY, uint32_t uiAddrUV, uint32_t uiSizeY, uint32_t uiSizeUV,
                    int32_t iFrameCount, const char* pcFileName) {
    CaptureDescriptor desc;
    std::memset(&desc, 0, sizeof desc);
    desc.uiAddrUV = uiAddrUV | kUncachedSegment;
    desc.uiAddrY = uiAddrY | kUncachedSegment;
    desc.iTotalCount = iFrameCount;
    // Slot of each position within a group, one-based until the request is accepted.
    // Held in the call, so it is released on every road out.
    std::array<int32_t, 6> frameOrder{1, 4, 2, 5, 3, 6};
    desc.piFrameOrder = frameOrder.data();
    desc.uiSizeY = uiSizeY;
    desc.uiSizeUV = uiSizeUV;

    std::puts("In function VIP_MemoryCatch:");
    std::printf("Y:0x%lx, UV:0x%lx\n", static_cast<unsigned long>(uiAddrY), static_cast<unsigned long>(uiAddrUV));
    std::printf("Y:0x%lx, UV:0x%lx\n", static_cast<unsigned long>(uiSizeY), static_cast<unsigned long>(uiSizeUV));
    std::printf("num = %d\n", static_cast<int>(iFrameCount));
    std::printf("filename = %s\n", pcFileName);
    std::puts(pcFileName);

    if (static_cast<uint32_t>(iFrameCount) >= kMaxFrameCount + 1) {
        std::printf("The total count is too big or small: %d\n", static_cast<int>(iFrameCount));
        return 0;
    }
    const size_t length = std::strlen(pcFileName);
    const uint32_t type = length >= 4 ? PackEnding(pcFileName + length - 4) : 0;
    const OutputFormat* format = FindOutputFormat(type);
    if (format == nullptr) {
        std::printf("Not support this type: %s\n", pcFileName);
        return 0;
    }
    // The name buffer's own limit; the several-frames limit waits for the frame road,
    // since the JPEG road writes the one name whatever the count.
    if (!NameFits(pcFileName, LongestRequestName(1), iFrameCount, FileCount(*format, iFrameCount))) {
        return 0;
    }
    desc.uiFileType = type;
    std::memcpy(desc.acFileName, pcFileName, length);  // the terminator is there from the fill
    for (int32_t& slot : frameOrder) {
        --slot;
    }

    MmioOpen();
    const int written = WriteFile(&desc);
    FrameMemoryClose();
    MmioClose();
    return written;
}
