#include "report/report.h"

#include <cstdarg>
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

std::string Printable(const std::string& text) {
    std::string shown;
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned>(byte));
            shown += escaped;
        } else {
            shown.push_back(c);
        }
    }
    return shown;
}
