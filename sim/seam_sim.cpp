// The seam answered by the simulated target: device nodes are opened, requested and
// closed against it, and shell commands are logged instead of run.
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "device/frame_memory.h"
#include "device/mmio.h"
#include "device/seam.h"
#include "device/vip.h"
#include "report/report.h"
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
    case kNodeMemory:
        return kMemoryDevice;
    case kNodeFile:
        return GetState().target.file.c_str();
    default:
        return "?";
    }
}

// The node the target offers at `path`, or 0.
uint32_t OfferedNode(const char* path) {
    const sim::State& state = sim::GetState();
    uint32_t node = path == nullptr ? 0 : sim::NodeOfPath(path);
    if (node == 0 && path != nullptr && !state.target.file.empty() && state.target.file == path) {
        node = sim::kNodeFile;
    }
    return node != sim::kNodeFile && (state.target.nodes & node) == 0 ? 0 : node;
}

}  // namespace sim

int SeamOpen(const char* path, int /*flags*/) {
    sim::State& state = sim::GetState();
    const uint32_t node = sim::OfferedNode(path);
    if (node == 0) {
        sim::LogLine("open %s missing", path == nullptr ? "(null)" : Printable(path).c_str());
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
    sim::LogLine("open %s", Printable(path).c_str());
    return sim::kFirstDescriptor + static_cast<int>(index);
}

int SeamClose(int fd) {
    sim::OpenNode* open = sim::FindOpen(fd);
    if (open == nullptr) {
        errno = EBADF;
        return -1;
    }
    if (sim::IsMmioNode(open->node)) {
        sim::LogLine("close %s reads=%llu writes=%llu", Printable(sim::PathOfNode(open->node)).c_str(),
                     static_cast<unsigned long long>(open->reads), static_cast<unsigned long long>(open->writes));
    } else {
        sim::LogLine("close %s", Printable(sim::PathOfNode(open->node)).c_str());
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
    if (open->node != sim::kNodeVip) {
        errno = ENOTTY;  // the memory node and a file take no requests
        return -1;
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

// The nodes as a Linux board numbers them: /dev/mem is 1:1, the drivers' nodes misc
// devices, and a `file` line's file a regular file. Every board also has /dev/null (1:3)
// and /dev/zero (1:5), which AVRIG_MEM refuses unopened.
int SeamStat(const char* path, int fd, struct stat* info) {
    const sim::OpenNode* open = fd == -1 ? nullptr : sim::FindOpen(fd);
    const uint32_t node = fd == -1 ? sim::OfferedNode(path) : open != nullptr ? open->node : 0;
    const bool null = fd == -1 && node == 0 && std::strcmp(path, "/dev/null") == 0;
    if (null || (fd == -1 && node == 0 && std::strcmp(path, "/dev/zero") == 0)) {
        *info = {};
        info->st_mode = S_IFCHR | 0666;
        info->st_rdev = makedev(1, null ? 3 : 5);
        return 0;
    }
    if (node == 0) {
        errno = fd == -1 ? ENOENT : EBADF;
        return -1;
    }
    *info = {};
    info->st_dev = 5;
    info->st_ino = node;
    info->st_nlink = 1;
    info->st_mode = node == sim::kNodeFile ? S_IFREG | 0644 : S_IFCHR | 0600;
    info->st_rdev = node == sim::kNodeFile ? 0 : node == sim::kNodeMemory ? makedev(1, 1) : makedev(10, node);
    return 0;
}

// The memory node's pages as the memory model holds them when the map is made, with the
// target's `mapword` lines over them.
const void* SeamMap(int fd, uint32_t offset, uint32_t length) {
    sim::State& state = sim::GetState();
    const sim::OpenNode* open = sim::FindOpen(fd);
    if (open == nullptr) {
        errno = EBADF;
        return nullptr;
    }
    sim::LogLine("map %s 0x%08x 0x%x", Printable(sim::PathOfNode(open->node)).c_str(), static_cast<unsigned>(offset),
                 static_cast<unsigned>(length));
    if (open->node != sim::kNodeMemory || state.target.mapError != 0) {
        errno = open->node != sim::kNodeMemory ? ENODEV : state.target.mapError;
        return nullptr;
    }
    if (length == 0 || (offset & 3u) != 0 || (length & 3u) != 0 || uint64_t{offset} + length > sim::kPhysSpace) {
        errno = EINVAL;
        return nullptr;
    }
    sim::Mapping mapping;
    mapping.words.reset(new uint32_t[length / 4u]);
    mapping.offset = offset;
    mapping.length = length;
    for (uint32_t k = 0; k < length / 4u; ++k) {
        mapping.words[k] = sim::MemoryRead(&state.target.memory, offset + 4u * k);
    }
    for (const sim::MappedWord& word : state.target.mappedWords) {
        if (word.phys >= offset && word.phys - offset < length) {
            mapping.words[(word.phys - offset) / 4u] = word.value;
        }
    }
    state.mappings.push_back(std::move(mapping));
    return state.mappings.back().words.get();
}

int SeamUnmap(const void* address, uint32_t length) {
    sim::State& state = sim::GetState();
    for (auto it = state.mappings.begin(); it != state.mappings.end(); ++it) {
        if (it->words.get() == address && it->length == length) {
            sim::LogLine("unmap %s 0x%08x 0x%x", kMemoryDevice, static_cast<unsigned>(it->offset),
                         static_cast<unsigned>(length));
            state.mappings.erase(it);
            return 0;
        }
    }
    errno = EINVAL;
    return -1;
}
