// Frame capture: the request, the probe and frame loop, and the JPEG buffer dump.
// Each returns 1 when it wrote every file it was asked for, 0 when it did not; the
// messages that explain a 0 have been printed.
#pragma once

#include <cstdint>

#include "memget/capture_descriptor.h"

int VIP_MemoryCatch(uint32_t uiAddrY, uint32_t uiAddrUV, uint32_t uiSizeY, uint32_t uiSizeUV,
                    int32_t iFrameCount, const char* pcFileName);
void Disable_CVD2_debug();
int WriteFile(CaptureDescriptor* desc);
// The JPEG road: the buffer's registers checked, then acFileName written as one BMP.
int WriteBmpJPEG(CaptureDescriptor* desc);
