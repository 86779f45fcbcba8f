#include "report/report.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

void Complain(const char* format, ...) {
    std::fflush(stdout);
    std::fputs("avrig: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

namespace {

// The length of the valid UTF-8 sequence at text[i] that encodes neither a control nor
// U+0080..U+009F (a terminal may take 0x9b, the CSI, as the start of a command); 0 when
// there is none.
size_t ShownLength(const std::string& text, size_t i) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
        return lead >= 0x20 && lead != 0x7f ? 1 : 0;
    }
    const size_t length = lead >= 0xc2 && lead <= 0xdf ? 2 : lead >= 0xe0 && lead <= 0xef ? 3
                          : lead >= 0xf0 && lead <= 0xf4 ? 4 : 0;
    if (length == 0 || text.size() - i < length) {
        return 0;
    }
    uint32_t point = lead & (0x7fu >> length);
    for (size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xc0) != 0x80) {
            return 0;
        }
        point = point << 6 | (next & 0x3fu);
    }
    // Overlong forms, UTF-16 surrogates and points past U+10FFFF are not text either.
    static const uint32_t kLeast[] = {0, 0, 0xa0, 0x800, 0x10000};
    const bool valid = point >= kLeast[length] && (point < 0xd800 || point > 0xdfff) && point <= 0x10ffff;
    return valid ? length : 0;
}

}  // namespace

std::string Printable(const std::string& text) {
    std::string shown;
    for (size_t i = 0; i < text.size();) {
        const size_t length = ShownLength(text, i);
        if (length != 0) {
            shown.append(text, i, length);
            i += length;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned>(static_cast<unsigned char>(text[i])));
            shown += escaped;
            ++i;
        }
    }
    return shown;
}
