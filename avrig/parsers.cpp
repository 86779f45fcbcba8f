#include "avrig/parsers.h"

#include <cstdint>

int StrToDecimalNumber(const char* str, int* out, unsigned len) {
    uint32_t value = 0;  // unsigned, so overflow wraps instead of being undefined
    unsigned count = 0;
    while (count < len) {
        const char c = str[count];
        if (c < '0' || c > '9') {
            break;
        }
        value = value * 10u + static_cast<uint32_t>(c - '0');
        ++count;
    }
    *out = static_cast<int>(value);
    return static_cast<int>(count);
}

int StrToHexNumber(const char* str, int* out, unsigned len) {
    uint32_t value = 0;
    for (unsigned k = 0; k < len; ++k) {
        const char c = str[k];
        if (c >= '0' && c <= '9') {
            value = value * 16u + static_cast<uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            value = value * 16u + static_cast<uint32_t>(c - 'a' + 10);
        }
        // Anything else, upper-case digits included, is passed over.
    }
    *out = static_cast<int>(value);
    return static_cast<int>(len);
}
