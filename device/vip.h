// Requests of the VIP kernel driver (/dev/zorvip): codes and payload records.
// The codes are the driver's MIPS encodings written out, not built with the host's _IO
// macros, whose encoding differs on other architectures.
#pragma once

#include <cstdint>

constexpr const char* kVipDevice = "/dev/zorvip";

// Every request code, as the driver encodes it on MIPS. The codes are defined from this
// list and nowhere else: device/requests.h proves from it that each one has its row (how
// the argument travels, and its name).
#define AVRIG_VIP_CODES(X)                                                  \
    X(VIP_SET_SOURCE, 0xc0046b00)     /* "-s"/"-i" */                       \
    X(VIP_SET_ASPECT, 0xc0046b01)     /* "-a" */                            \
    X(VIP_SET_RHRV, 0xc0046b02)       /* "-rh"/"-rv" */                     \
    X(VIP_SET_V, 0xc0046b03)          /* "-v" */                            \
    X(VIP_SET_WINSIZE, 0xc0046b04)    /* "-w"/"-h" */                       \
    X(VIP_SET_P, 0xc0046b05)          /* "-p" */                            \
    X(VIP_SET_OSD, 0xc0046b06)        /* "-osd" */                          \
    X(VIP_SET_VSYNC, 0xc0046b07)      /* "-vsync" */                        \
    X(VIP_SET_SYNCDET, 0xc0046b08)    /* "-syncdet" */                      \
    X(VIP_SET_ADC, 0xc0046b09)        /* "-adc" */                          \
    X(VIP_SET_MISC, 0xc0046b0a)       /* "-misc" */                         \
    X(VIP_OUTPUT_WINDOW, 0xc0186b0b)  /* OutputWindow */                    \
    X(VIP_DATA_FORMAT, 0xc0016b0c)    /* "data_format" */                   \
    X(VIP_SCREEN_WALL, 0xc0026b0d)    /* ScreenWall */                      \
    X(VIP_GET_PANEL, 0xc0486b50)      /* PanelInfo, "-jpeg" mode 7 */       \
    X(VIP_GET_ZOOM, 0xc0046b52)       /* 4 bytes, "-jpeg" mode 2 */         \
    X(VIP_JPEG_CONFIG, 0xc01c6b53)    /* JpegConfig, "-jpeg" mode 3 */      \
    X(VIP_JPEG_VALUE, 0xc0016b54)     /* 1 byte, "-jpeg" mode 4 */          \
    X(VIP_JPEG_PARAM, 0xc0086b55)     /* JpegParam, "-jpeg" mode 5 */       \
    X(VIP_GET_BORDER, 0xc0106b56)     /* BorderInfo, "-jpeg" mode 6 */      \
    X(VIP_KEY_9, 0x20006b64)          /* "9" */                             \
    X(VIP_KEY_8, 0x20006b65)          /* "8" */                             \
    X(VIP_DEBLOCK, 0xc0046b66)        /* "deblock" */                       \
    X(VIP_NELIST, 0xc0046b67)         /* "nelist" */                        \
    X(VIP_COEFF, 0x20006b68)          /* "coeff" */                         \
    X(VIP_INFO, 0x20006b69)           /* "info" */                          \
    X(VIP_MEMC_BLANKING, 0xc0046b6a)  /* "memc_blanking" */                 \
    X(VIP_MEMC_SET, 0xc0046b6b)       /* "memc_set" */                      \
    X(VIP_CAPTURE_INFO, 0xc0186b6c)   /* CaptureInfo, "capture"/"memget" */ \
    X(VIP_MEMC_IN, 0xc0046b6d)        /* "memc_in" */                       \
    X(VIP_MEMC_OUT, 0xc0046b6e)       /* "memc_out" */                      \
    X(VIP_CAPTURE_POS, 0xc0106b6f)    /* CapturePos */                      \
    X(VIP_KEY_22, 0x20006b70)         /* "22" */                            \
    X(VIP_KEY_32, 0x20006b71)         /* "32" */                            \
    X(VIP_MEMC_MSG, 0xc0016b72)       /* "memc_msg" */

#define AVRIG_VIP_DEFINE_CODE(name, code) constexpr uint32_t name = code;
AVRIG_VIP_CODES(AVRIG_VIP_DEFINE_CODE)
#undef AVRIG_VIP_DEFINE_CODE

// Payload size in bytes, as the code announces it (bits 28..16).
constexpr uint32_t VipPayloadSize(uint32_t code) { return (code >> 16) & 0x1fffu; }

// Payload records, little-endian as on the target; sizes are checked below.
struct CaptureInfo {
    uint32_t uiAddrY;
    uint32_t uiAddrUV;
    uint32_t uiSizeY;
    uint32_t uiSizeUV;
    int32_t iFrameCount;
    uint8_t ucMemget;
    uint8_t aucReserved[3];
};

struct CapturePos {
    uint32_t auiValue[4];
};

struct OutputWindow {
    uint32_t auiValue[6];
};

struct ScreenWall {
    uint8_t ucScreenNumber;
    uint8_t ucScreenSize;
};

struct JpegConfig {
    uint32_t uiBaseAddr;
    uint8_t ucFlag;
    uint8_t ucJpegValue;
    uint8_t aucReserved[10];
    uint32_t uiWidth;
    uint32_t uiHeight;
    uint32_t uiStride;
};

struct JpegParam {
    uint8_t ucJpegValue;
    uint8_t aucReserved[3];
    uint32_t uiValue;
};

struct BorderInfo {
    int32_t iTop;
    int32_t iDown;
    int32_t iLeft;
    int32_t iRight;
};

// The driver's panel record: maximum resolution in words 0 and 1, page bases in words 10..15.
struct PanelInfo {
    uint32_t uiPanelMaxHres;
    uint32_t uiPanelMaxVres;
    uint32_t auiReserved1[8];
    uint32_t uiBaseAddrPage[6];
    uint32_t auiReserved2[2];
};

static_assert(sizeof(CaptureInfo) == VipPayloadSize(VIP_CAPTURE_INFO), "CaptureInfo layout");
static_assert(sizeof(CapturePos) == VipPayloadSize(VIP_CAPTURE_POS), "CapturePos layout");
static_assert(sizeof(OutputWindow) == VipPayloadSize(VIP_OUTPUT_WINDOW), "OutputWindow layout");
static_assert(sizeof(ScreenWall) == VipPayloadSize(VIP_SCREEN_WALL), "ScreenWall layout");
static_assert(sizeof(JpegConfig) == VipPayloadSize(VIP_JPEG_CONFIG), "JpegConfig layout");
static_assert(sizeof(JpegParam) == VipPayloadSize(VIP_JPEG_PARAM), "JpegParam layout");
static_assert(sizeof(BorderInfo) == VipPayloadSize(VIP_GET_BORDER), "BorderInfo layout");
static_assert(sizeof(PanelInfo) == VipPayloadSize(VIP_GET_PANEL), "PanelInfo layout");
