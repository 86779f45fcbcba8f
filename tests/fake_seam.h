// A test double for the seam: device nodes, a word memory and a request record, all
// in-process, so unit tests can drive register access and the writers directly.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fake {

struct Ioctl {
    uint32_t code;
    uint32_t addr;   // register-access requests: the record's address field as sent
    uint32_t value;  // register-access requests: the value field as sent; VIP: the number
    std::vector<uint8_t> record;  // VIP requests with a record: its bytes as sent
};

struct State {
    std::set<std::string> nodes{"/dev/zorvip", "/dev/zormmio"};
    std::vector<std::string> opened;  // every open attempt, in order
    std::vector<int> closed;
    std::vector<Ioctl> ioctls;        // every request, in order
    std::map<uint32_t, uint32_t> words;  // by address with the two low bits cleared
    bool refuseReads = false;  // MMIO reads fail without touching the record
    uint64_t reads = 0;
    std::set<uint32_t> refusedCodes;  // VIP requests that fail with EINVAL
};

// Whether a VIP request code carries the address of a record.
bool IsRecordCode(uint32_t code);

State& Get();
void Reset();

// Stores `bytes` into the word memory from `address` on (a multiple of 4), little-endian.
void PutBytes(uint32_t address, const std::vector<uint8_t>& bytes);

}  // namespace fake
