// Helpers for the tests that drive the simulated target in-process, through the seam and
// the register-access layer, without running the tool.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "device/mmio.h"
#include "sim/sim.h"

namespace simtest {

// A fresh simulated target made from `text` ("t.target"), its log going to `*log`.
inline ::testing::AssertionResult Load(const std::string& text, std::string* log = nullptr,
                                       const std::string& folder = "") {
    sim::Reset();
    fd = -1;
    std::string error;
    if (!sim::LoadTargetText("t.target", folder, text, &error)) {
        return ::testing::AssertionFailure() << error;
    }
    sim::LogToMemory(log);
    return ::testing::AssertionSuccess();
}

// The error that loading `text` gives ("" when it loads).
inline std::string LoadError(const std::string& text, const std::string& folder = "") {
    sim::Reset();
    std::string error;
    return sim::LoadTargetText("t.target", folder, text, &error) ? std::string() : error;
}

// The word the register-access driver answers for `address`.
inline uint32_t Peek(uint32_t address) {
    if (fd == -1) {
        MmioOpen();
    }
    uint32_t value = 0xdeadbeef;
    EXPECT_EQ(RegReadWord(address, &value), 1);
    return value;
}

inline void Poke(uint32_t address, uint32_t value) {
    if (fd == -1) {
        MmioOpen();
    }
    EXPECT_EQ(RegWriteWord(address, &value), 1);
}

// `count` bytes of memory from `address` (a multiple of 4), in address order.
inline std::vector<uint8_t> PeekBytes(uint32_t address, uint32_t count) {
    std::vector<uint8_t> bytes;
    for (uint32_t offset = 0; offset < count; offset += 4) {
        const uint32_t word = Peek(address + offset);
        for (uint32_t k = 0; k < 4 && offset + k < count; ++k) {
            bytes.push_back(static_cast<uint8_t>(word >> (8 * k)));
        }
    }
    return bytes;
}

}  // namespace simtest
