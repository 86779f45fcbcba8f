// The seam answered by the simulated target: device nodes are opened, requested and
// closed against it, and shell commands are logged instead of run.
#include <cerrno>
#include <cstring>
#include <string>

#include "device/mmio.h"
#include "device/seam.h"
#include "device/vip.h"
#include "sim/log.h"
#include "sim/state.h"

namespace sim {

namespace {

sim::OpenNode* FindOpen(int fd) {
    State& state = GetState();
    if (fd < kFirstDescriptor) {
        return nullptr;
    }
    const size_t index = static_cast<size_t>(fd - kFirstDescriptor);
    if (index >= state.descriptors.size() || !state.descriptors[index].open) {
        return nullptr;
    }
    return &state.descriptors[index];
}

bool IsMmioNode(uint32_t node) { return node == kNodeMmio || node == kNodeMmioDebug; }

}  // namespace

const char* PathOfNode(uint32_t node) {
    switch (node) {
    case kNodeVip:
        return kVipDevice;
    case kNodeMmioDebug:
        return kMmioDebugDevice;
    case kNodeMmio:
        return kMmioDevice;
    default:
        return "?";
    }
}

}  // namespace sim

int SeamOpen(const char* path, int /*flags*/) {
    sim::State& state = sim::GetState();
    const uint32_t node = path == nullptr ? 0 : sim::NodeOfPath(path);
    if (node == 0 || (state.target.nodes & node) == 0) {
        sim::LogLine("open %s missing", path == nullptr ? "(null)" : path);
        errno = ENOENT;
        return -1;
    }
    size_t index = 0;
    while (index < state.descriptors.size() && state.descriptors[index].open) {
        ++index;
    }
    if (index == state.descriptors.size()) {
        state.descriptors.emplace_back();
    }
    sim::OpenNode& open = state.descriptors[index];
    open = sim::OpenNode{};
    open.open = true;
    open.node = node;
    sim::LogLine("open %s", path);
    return sim::kFirstDescriptor + static_cast<int>(index);
}

int SeamClose(int fd) {
    sim::OpenNode* open = sim::FindOpen(fd);
    if (open == nullptr) {
        errno = EBADF;
        return -1;
    }
    if (sim::IsMmioNode(open->node)) {
        sim::LogLine("close %s reads=%llu writes=%llu", sim::PathOfNode(open->node),
                     static_cast<unsigned long long>(open->reads), static_cast<unsigned long long>(open->writes));
    } else {
        sim::LogLine("close %s", sim::PathOfNode(open->node));
    }
    *open = sim::OpenNode{};
    return 0;
}

int SeamIoctl(int fd, uint32_t code, uintptr_t arg) {
    sim::State& state = sim::GetState();
    sim::OpenNode* open = sim::FindOpen(fd);
    if (open == nullptr) {
        errno = EBADF;
        return -1;
    }
    if (sim::IsMmioNode(open->node)) {
        return sim::MmioDriverRequest(&state, open, code, arg);
    }
    return sim::VipDriverRequest(state.target, code, arg);
}

int SeamSystem(const char* command) {
    if (command == nullptr) {
        return 1;  // "a shell is there"
    }
    std::string text = command;
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
    }
    sim::LogLine("shell %s", text.c_str());
    return 0;
}
