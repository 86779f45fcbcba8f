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
