#include "sim/log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace sim {

namespace {

std::FILE* g_file = nullptr;
std::string* g_sink = nullptr;

}  // namespace

bool LogOpen(const char* path) {
    LogClose();
    // Tests run the simulator as root with the log in a shared folder: a link planted at
    // the name is not followed, and the shell commands do not inherit the log.
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0666);
    g_file = fd != -1 ? fdopen(fd, "a") : nullptr;
    if (g_file == nullptr && fd != -1) {
        close(fd);
    }
    return g_file != nullptr;
}

void LogToString(std::string* sink) {
    LogClose();
    g_sink = sink;
}

void LogClose() {
    if (g_file != nullptr) {
        std::fclose(g_file);
        g_file = nullptr;
    }
    g_sink = nullptr;
}

bool LogEnabled() { return g_file != nullptr || g_sink != nullptr; }

void LogLine(const char* format, ...) {
    if (!LogEnabled()) {
        return;
    }
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length < 0) {
        va_end(again);
        return;
    }
    std::vector<char> text(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    if (g_file != nullptr) {
        std::fwrite(text.data(), 1, static_cast<size_t>(length), g_file);
        std::fputc('\n', g_file);
        std::fflush(g_file);
    } else {
        g_sink->append(text.data(), static_cast<size_t>(length));
        g_sink->push_back('\n');
    }
}

}  // namespace sim
