#include "memget/capture_names.h"

#include <cstdio>
#include <cstring>

#include "memget/output_formats.h"
#include "report/report.h"

bool IsStandardOutputName(const char* name) { return StandardOutputFormat(name) != nullptr; }

size_t LongestRequestName(int32_t files) {
    const size_t room = kFileNameSize - 1;
    if (files < 2) {
        return room;
    }
    return room - (files > 1000 ? 5 : 4);  // "_" and three digits, four from frame 1000 on
}

bool NameFits(const char* name, size_t limit, int32_t count, int32_t files) {
    if (std::strlen(name) <= limit) {
        return true;
    }
    Complain("the file name is too long: %s (at most %u characters for %d frame(s))", Printable(name).c_str(),
             static_cast<unsigned>(LongestRequestName(files)), static_cast<int>(count));
    return false;
}

void FrameName(char (&name)[kFileNameSize], const char* requested, int32_t index, int32_t files) {
    std::memset(name, 0, sizeof name);
    const size_t length = ::strnlen(requested, kFileNameSize - 1);
    if (files < 2) {
        std::memcpy(name, requested, length);
        return;
    }
    const int stem = static_cast<int>(length) - 4;
    std::snprintf(name, sizeof name, "%.*s_%03d%s", stem, requested, static_cast<int>(index), requested + stem);
}
