#include "tests/fake_seam.h"

#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>

#include "device/mmio.h"
#include "device/seam.h"
#include "device/requests.h"

namespace fake {

namespace {
State g_state;
constexpr int kFirstFd = 10;
std::vector<std::string> g_fdPaths;
}  // namespace

State& Get() { return g_state; }

bool IsRecordCode(uint32_t code) {
    const VipRequest* request = FindVipRequest(code);
    return request != nullptr && request->arg == VipArg::kRecord;
}

void Reset() {
    g_state = State{};
    g_fdPaths.clear();
    fd = -1;
}

void PutBytes(uint32_t address, const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size(); i += 4) {
        uint32_t word = 0;
        for (size_t k = 0; k < 4 && i + k < bytes.size(); ++k) {
            word |= static_cast<uint32_t>(bytes[i + k]) << (8 * k);
        }
        g_state.words[(address + static_cast<uint32_t>(i)) & ~3u] = word;
    }
}

}  // namespace fake

using fake::g_fdPaths;
using fake::g_state;

int SeamOpen(const char* path, int) {
    g_state.opened.emplace_back(path);
    if (g_state.nodes.count(path) == 0) {
        errno = ENOENT;
        return -1;
    }
    g_fdPaths.emplace_back(path);
    return fake::kFirstFd + static_cast<int>(g_fdPaths.size()) - 1;
}

int SeamClose(int descriptor) {
    g_state.closed.push_back(descriptor);
    return 0;
}

int SeamIoctl(int, uint32_t code, uintptr_t arg) {
    fake::Ioctl call{code, 0, 0, {}};
    if (code == MMIO_REG_READ || code == MMIO_REG_WRITE) {
        auto* request = reinterpret_cast<MmioRegRequest*>(arg);
        call.addr = request->uiAddr;
        call.value = request->uiValue;
        g_state.ioctls.push_back(call);
        if (code == MMIO_REG_READ) {
            ++g_state.reads;
            if (g_state.refuseReads) {
                errno = EIO;
                return -1;
            }
            const uint32_t key = request->uiAddr & ~3u;
            auto it = g_state.words.find(key);
            request->uiValue = it != g_state.words.end() ? it->second : 0;
        } else {
            g_state.words[request->uiAddr & ~3u] = request->uiValue;
        }
        return 0;
    }
    if (fake::IsRecordCode(code)) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(arg);
        call.record.assign(bytes, bytes + VipPayloadSize(code));
    } else {
        call.value = static_cast<uint32_t>(arg);
    }
    g_state.ioctls.push_back(call);
    if (g_state.refusedCodes.count(code) != 0) {
        errno = EINVAL;
        return -1;
    }
    return 0;
}

int SeamSystem(const char*) { return 0; }

// The unit tests reach the memory node through the simulated target; here it maps nothing.
int SeamStat(const char*, int, struct stat* info) {
    *info = {};
    info->st_mode = S_IFCHR | 0640;
    info->st_rdev = makedev(1, 1);
    return 0;
}

const void* SeamMap(int, uint32_t, uint32_t) {
    errno = ENODEV;
    return nullptr;
}

int SeamUnmap(const void*, uint32_t) { return 0; }
