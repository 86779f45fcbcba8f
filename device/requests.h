// The one table of VIP driver requests: code, how the argument travels, name. The front
// end names a refused request by it, the trace writes its lines by it, and the simulated
// driver and the test fake decide from it what the argument is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/vip.h"

// Value: the argument is the number itself; record: the address of the request's record
// (VipPayloadSize bytes); none: no argument.
enum class VipArg : uint8_t { kValue, kRecord, kNone };

struct VipRequest {
    uint32_t code;
    VipArg arg;
    const char* name;
};

// The name is the constant's own, as v4l2-ctl names its requests.
#define AVRIG_VIP_REQUEST(code, arg) {code, VipArg::arg, #code}

constexpr VipRequest kVipRequests[] = {
    AVRIG_VIP_REQUEST(VIP_SET_SOURCE, kValue),       AVRIG_VIP_REQUEST(VIP_SET_ASPECT, kValue),
    AVRIG_VIP_REQUEST(VIP_SET_RHRV, kValue),         AVRIG_VIP_REQUEST(VIP_SET_V, kValue),
    AVRIG_VIP_REQUEST(VIP_SET_WINSIZE, kValue),      AVRIG_VIP_REQUEST(VIP_SET_P, kValue),
    AVRIG_VIP_REQUEST(VIP_SET_OSD, kValue),          AVRIG_VIP_REQUEST(VIP_SET_VSYNC, kValue),
    AVRIG_VIP_REQUEST(VIP_SET_SYNCDET, kValue),      AVRIG_VIP_REQUEST(VIP_SET_ADC, kValue),
    AVRIG_VIP_REQUEST(VIP_SET_MISC, kValue),         AVRIG_VIP_REQUEST(VIP_OUTPUT_WINDOW, kRecord),
    AVRIG_VIP_REQUEST(VIP_DATA_FORMAT, kValue),      AVRIG_VIP_REQUEST(VIP_SCREEN_WALL, kRecord),
    AVRIG_VIP_REQUEST(VIP_GET_PANEL, kRecord),       AVRIG_VIP_REQUEST(VIP_GET_ZOOM, kRecord),
    AVRIG_VIP_REQUEST(VIP_JPEG_CONFIG, kRecord),     AVRIG_VIP_REQUEST(VIP_JPEG_VALUE, kRecord),
    AVRIG_VIP_REQUEST(VIP_JPEG_PARAM, kRecord),      AVRIG_VIP_REQUEST(VIP_GET_BORDER, kRecord),
    AVRIG_VIP_REQUEST(VIP_KEY_9, kNone),             AVRIG_VIP_REQUEST(VIP_KEY_8, kNone),
    AVRIG_VIP_REQUEST(VIP_DEBLOCK, kValue),          AVRIG_VIP_REQUEST(VIP_NELIST, kValue),
    AVRIG_VIP_REQUEST(VIP_COEFF, kNone),             AVRIG_VIP_REQUEST(VIP_INFO, kNone),
    AVRIG_VIP_REQUEST(VIP_MEMC_BLANKING, kValue),    AVRIG_VIP_REQUEST(VIP_MEMC_SET, kValue),
    AVRIG_VIP_REQUEST(VIP_CAPTURE_INFO, kRecord),    AVRIG_VIP_REQUEST(VIP_MEMC_IN, kValue),
    AVRIG_VIP_REQUEST(VIP_MEMC_OUT, kValue),         AVRIG_VIP_REQUEST(VIP_CAPTURE_POS, kRecord),
    AVRIG_VIP_REQUEST(VIP_KEY_22, kNone),            AVRIG_VIP_REQUEST(VIP_KEY_32, kNone),
    AVRIG_VIP_REQUEST(VIP_MEMC_MSG, kValue),
};

#undef AVRIG_VIP_REQUEST

// The table's row for `code`; nullptr for a code the driver does not know.
constexpr const VipRequest* FindVipRequest(uint32_t code) {
    for (const VipRequest& request : kVipRequests) {
        if (request.code == code) {
            return &request;
        }
    }
    return nullptr;
}

// The checks below run once for each code in device/vip.h's list, so a failing one names
// its code. A code's row is found by its name, which is the code's constant's.
constexpr bool SameText(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

constexpr const VipRequest* FindVipRequestNamed(const char* name) {
    for (const VipRequest& request : kVipRequests) {
        if (SameText(request.name, name)) {
            return &request;
        }
    }
    return nullptr;
}

// The driver tells requests apart by the code's type byte and number (bits 15..0; the
// rest says the direction and the record's size), so two rows that share them would be
// one request to it, and two rows with one code would give the code two names.
constexpr size_t RowsWithCode(uint32_t code, uint32_t mask) {
    size_t rows = 0;
    for (const VipRequest& request : kVipRequests) {
        rows += (request.code & mask) == (code & mask) ? 1 : 0;
    }
    return rows;
}

// A record's size follows from its code, so the code must announce one.
constexpr bool RecordSizeAnnounced(const VipRequest* request) {
    return request == nullptr || request->arg != VipArg::kRecord || VipPayloadSize(request->code) != 0;
}

#define AVRIG_VIP_CHECK_ROW(name, code)                                                                 \
    static_assert(FindVipRequestNamed(#name) != nullptr, #name " has no row in kVipRequests");          \
    static_assert(RowsWithCode(name, 0xffffffffu) < 2,                                                  \
                  #name " (" #code ") shares its code with another row");                               \
    static_assert(RowsWithCode(name, 0x0000ffffu) < 2,                                                  \
                  #name " (" #code ") shares its type and number with another row");                    \
    static_assert(RecordSizeAnnounced(FindVipRequestNamed(#name)),                                      \
                  #name " (" #code ") travels as a record, but the code announces no size");
AVRIG_VIP_CODES(AVRIG_VIP_CHECK_ROW)
#undef AVRIG_VIP_CHECK_ROW

// Every code above has its row, so a row more is one listed twice or one for a code that
// is not in the list.
#define AVRIG_VIP_COUNT_CODE(name, code) +1
static_assert(sizeof kVipRequests / sizeof kVipRequests[0] <= 0 AVRIG_VIP_CODES(AVRIG_VIP_COUNT_CODE),
              "kVipRequests has a row twice, or a row for a code outside AVRIG_VIP_CODES");
#undef AVRIG_VIP_COUNT_CODE
