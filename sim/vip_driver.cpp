// The simulated VIP driver: the log line of every request (by the request table in
// device/requests.h) and the answers the target file gives.
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>

#include "device/requests.h"
#include "sim/log.h"
#include "sim/state.h"

namespace sim {

namespace {

void PutWord(uint8_t* record, size_t word, uint32_t value) {
    std::memcpy(record + 4 * word, &value, sizeof value);
}

void Answer(const Target& target, uint32_t code, uint8_t* record) {
    if (code == VIP_CAPTURE_INFO && target.hasCapture) {
        PutWord(record, 0, target.capture.addrY);
        PutWord(record, 1, target.capture.addrUV);
        PutWord(record, 2, target.capture.sizeY);
        PutWord(record, 3, target.capture.sizeUV);
        PutWord(record, 4, static_cast<uint32_t>(target.capture.count));
    } else if (code == VIP_GET_ZOOM && target.hasZoom) {
        record[0] = static_cast<uint8_t>(target.zoom);
    } else if (code == VIP_GET_BORDER && target.hasBorder) {
        for (size_t i = 0; i < 4; ++i) {
            PutWord(record, i, static_cast<uint32_t>(target.border[i]));
        }
    } else if (code == VIP_GET_PANEL && target.hasPanel) {
        PutWord(record, offsetof(PanelInfo, uiPanelMaxHres) / 4, target.panel.hres);
        PutWord(record, offsetof(PanelInfo, uiPanelMaxVres) / 4, target.panel.vres);
        for (size_t i = 0; i < 6; ++i) {
            PutWord(record, offsetof(PanelInfo, uiBaseAddrPage) / 4 + i, target.panel.pages[i]);
        }
    }
}

}  // namespace

int RefusalOf(const Target& target, uint32_t code) {
    const auto found = std::lower_bound(target.refused.begin(), target.refused.end(), code,
                                        [](const Refusal& refusal, uint32_t wanted) { return refusal.code < wanted; });
    return found != target.refused.end() && found->code == code ? found->error : 0;
}

int VipDriverRequest(const Target& target, uint32_t code, uintptr_t arg) {
    const unsigned shown = static_cast<unsigned>(code);
    const VipRequest* request = FindVipRequest(code);
    if (request == nullptr) {
        LogLine("ioctl %s 0x%08x unknown", kVipDevice, shown);
        errno = EINVAL;
        return -1;
    }
    uint8_t* record = nullptr;
    switch (request->arg) {
    case VipArg::kValue:
        LogLine("ioctl %s 0x%08x value 0x%08x", kVipDevice, shown, static_cast<unsigned>(arg & 0xffffffffu));
        break;
    case VipArg::kNone:
        LogLine("ioctl %s 0x%08x none", kVipDevice, shown);
        break;
    case VipArg::kRecord: {
        if (arg == 0) {
            LogLine("ioctl %s 0x%08x record fault", kVipDevice, shown);
            errno = EFAULT;
            return -1;
        }
        record = reinterpret_cast<uint8_t*>(arg);
        static const char kDigits[] = "0123456789abcdef";
        const uint32_t size = VipPayloadSize(code);
        std::string hex;
        hex.reserve(2 * size);
        for (uint32_t i = 0; i < size; ++i) {
            hex.push_back(kDigits[record[i] >> 4]);
            hex.push_back(kDigits[record[i] & 0xf]);
        }
        LogLine("ioctl %s 0x%08x record %s", kVipDevice, shown, hex.c_str());
        break;
    }
    }
    const int refusal = RefusalOf(target, code);
    if (refusal != 0) {
        errno = refusal;
        return -1;
    }
    if (record != nullptr) {
        Answer(target, code, record);
    }
    return 0;
}

}  // namespace sim
