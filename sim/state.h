// The simulated target while the tool runs: the loaded target and the device nodes the
// tool holds open.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sim/target.h"

namespace sim {

// Descriptors handed out start here, far from the ones the process really holds.
constexpr int kFirstDescriptor = 1000;

struct OpenNode {
    bool open = false;
    uint32_t node = 0;  // a Node bit
    uint64_t reads = 0;
    uint64_t writes = 0;
};

// A mapping of the memory node: the words of physical [offset, offset + length) as they
// were when it was made.
struct Mapping {
    std::unique_ptr<uint32_t[]> words;
    uint32_t offset = 0;
    uint32_t length = 0;
};

struct State {
    Target target;
    std::vector<OpenNode> descriptors;  // index = descriptor - kFirstDescriptor
    std::vector<Mapping> mappings;
    bool traceMmio = false;
};

// A plain global rather than a function-local static: the seam reaches it once per
// register word, and a guard check there is measurable.
extern State g_state;
inline State& GetState() { return g_state; }

// The device path of a Node bit.
const char* PathOfNode(uint32_t node);

// A VIP driver request on an open /dev/zorvip: logs it, answers from the target.
// Returns 0, or -1 with errno set.
int VipDriverRequest(const Target& target, uint32_t code, uintptr_t arg);

// A register-access driver request on an open register-access node.
int MmioDriverRequest(State* state, OpenNode* node, uint32_t code, uintptr_t arg);

// The error requests with `code` fail with; 0 when they do not fail.
int RefusalOf(const Target& target, uint32_t code);

}  // namespace sim
