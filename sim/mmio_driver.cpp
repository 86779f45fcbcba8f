// The simulated register-access driver: one word read or written per request, against
// the target's memory model.
#include <cerrno>
#include <cstring>

#include "device/mmio.h"
#include "sim/log.h"
#include "sim/state.h"

namespace sim {

int MmioDriverRequest(State* state, OpenNode* node, uint32_t code, uintptr_t arg) {
    const bool read = code == MMIO_REG_READ;
    if (!read && code != MMIO_REG_WRITE) {
        LogLine("ioctl %s 0x%08x unknown", PathOfNode(node->node), static_cast<unsigned>(code));
        errno = EINVAL;
        return -1;
    }
    if (read) {
        ++node->reads;
    } else {
        ++node->writes;
    }
    if (arg == 0) {
        errno = EFAULT;
        return -1;
    }
    MmioRegRequest request;
    std::memcpy(&request, reinterpret_cast<const void*>(arg), sizeof request);
    const unsigned address = static_cast<unsigned>(request.uiAddr);
    const int refusal = state->target.refused.empty() ? 0 : RefusalOf(state->target, code);
    if (refusal != 0) {
        if (state->traceMmio) {
            LogLine("mmio %s 0x%08x refused", read ? "read" : "write", address);
        }
        errno = refusal;
        return -1;
    }
    if (read) {
        request.uiValue = MemoryRead(&state->target.memory, request.uiAddr);
        std::memcpy(reinterpret_cast<void*>(arg), &request, sizeof request);
        if (state->traceMmio) {
            LogLine("mmio read 0x%08x -> 0x%08x", address, static_cast<unsigned>(request.uiValue));
        }
    } else {
        MemoryWrite(&state->target.memory, request.uiAddr, request.uiValue);
        if (state->traceMmio) {
            LogLine("mmio write 0x%08x <- 0x%08x", address, static_cast<unsigned>(request.uiValue));
        }
    }
    return 0;
}

}  // namespace sim
