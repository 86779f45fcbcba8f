// The simulated target's file parser: any text either loads or is refused with
// "NAME:LINE: REASON", and a loaded target's memory answers reads anywhere, including
// the first and last word of every computed picture buffer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "sim/memory.h"
#include "sim/sim.h"
#include "sim/state.h"

namespace {

constexpr const char* kName = "fuzz.target";

std::string g_scratch;

// A refusal names the file and a line number that exists.
bool WellFormedError(const std::string& error, const std::string& text) {
    const std::string prefix = std::string(kName) + ":";
    if (error.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    char* end = nullptr;
    const unsigned long line = std::strtoul(error.c_str() + prefix.size(), &end, 10);
    if (end == error.c_str() + prefix.size() || *end != ':') {
        return false;
    }
    size_t lines = 1;
    for (char c : text) {
        lines += c == '\n' ? 1 : 0;
    }
    return line >= 1 && line <= lines;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    g_scratch = fuzz::SetUp(argc, argv);
    // Something for `load` to find beside the target: a length that is no multiple of 4.
    fuzz::WriteFile(g_scratch + "/a.bin", std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b", 11));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (fuzz::LoadsOutsideScratch(text)) {
        return -1;
    }
    sim::Reset();
    std::string error;
    if (!sim::LoadTargetText(kName, g_scratch, text, &error)) {
        if (!WellFormedError(error, text)) {
            std::fprintf(stderr, "malformed refusal: \"%s\"\n", error.c_str());
            std::abort();
        }
        sim::Reset();
        return 0;
    }
    sim::Memory* memory = &sim::GetState().target.memory;
    const std::vector<sim::ComputedBuffer> buffers = memory->buffers;
    for (const sim::ComputedBuffer& buffer : buffers) {
        sim::MemoryRead(memory, buffer.base);
        sim::MemoryRead(memory, buffer.base + buffer.size / 2);
        sim::MemoryRead(memory, buffer.base + buffer.size - 4);
        sim::MemoryRead(memory, buffer.base + buffer.size);
    }
    sim::MemoryRead(memory, 0);
    sim::MemoryRead(memory, 0xfffffffcu);
    sim::Reset();
    return 0;
}
