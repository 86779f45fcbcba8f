// Storing a 32-bit word of frame memory in address order: both roads to frame memory
// (requests and mapped loads) hand the writers the memory's bytes as they lie.
#pragma once

#include <cstdint>
#include <cstring>

// The first `count` (at most 4) bytes of `word`, least significant first.
inline void StoreWordBytes(uint8_t* out, uint32_t word, uint32_t count) {
    for (uint32_t k = 0; k < count; ++k) {
        out[k] = static_cast<uint8_t>(word >> (8u * k));
    }
}

// All four bytes: one store where the core is little-endian.
inline void StoreWord(uint8_t* out, uint32_t word) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::memcpy(out, &word, 4);
#else
    StoreWordBytes(out, word, 4);
#endif
}
