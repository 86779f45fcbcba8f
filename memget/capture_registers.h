// The capture block's registers, read through the register-access device.
#pragma once

#include <cstdint>

constexpr uint32_t kRegCaptureControl = 0xbe1c6000;  // byte, bit 3: interlaced
constexpr uint32_t kRegJpegBuffer = 0xbe1c8044;      // nonzero: the JPEG engine's buffer is active
constexpr uint32_t kRegLineOffsetY = 0xbe1c61b0;     // byte, units of 256 bytes
constexpr uint32_t kRegLineOffsetUV = 0xbe1c61b2;    // byte, units of 256 bytes
constexpr uint32_t kRegHeight = 0xbe1c61a0;          // bits 0..11
constexpr uint32_t kRegCaptureEnd = 0xbe1cfcc8;      // bits 0..11
constexpr uint32_t kRegCaptureStart = 0xbe1cfcc0;    // bits 0..11
constexpr uint32_t kRegPanelEnd = 0xbe1cc048;        // bits 0..10
constexpr uint32_t kRegPanelStart = 0xbe1cc040;      // bits 0..8
constexpr uint32_t kRegFormatFlags = 0xbe1c4030;     // four flag bytes, bit 0 each

constexpr uint32_t kRegJpegBase = 0xbe1c8060;        // bits 0..23, units of 16 bytes
constexpr uint32_t kRegJpegHStart = 0xbe1cc400;      // bits 0..10
constexpr uint32_t kRegJpegVStart = 0xbe1cc404;
constexpr uint32_t kRegJpegHEnd = 0xbe1cc408;
constexpr uint32_t kRegJpegVEnd = 0xbe1cc40c;
constexpr uint32_t kRegJpegLineOffset = 0xbe1c8074;  // bits 0..7, units of 256 bytes

constexpr const char* kDisableCvd2Command = "byte 0xbe170122 1\n";
