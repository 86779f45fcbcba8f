#include "sim/log.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "device/append_file.h"
#include "report/report.h"

namespace sim {

namespace {

std::FILE* g_file = nullptr;
std::string g_path;
bool g_whole = true;  // every line so far reached the file
std::string* g_sink = nullptr;

// A log with a hole in it is said once, the moment it happens; the run goes on and fails.
void Lost(int error) {
    if (g_whole) {
        g_whole = false;
        std::fflush(stdout);
        std::fprintf(stderr, "avrig-sim: the log %s is incomplete: %s\n", Printable(g_path).c_str(),
                     std::strerror(error));
    }
}

}  // namespace

bool LogOpen(const char* path, const char** reason) {
    LogClose();
    // Tests run the simulator as root with the log in a shared folder, and engineers replay
    // records there: the log is opened as the trace is.
    const int fd = OpenAppendFile(path, "the simulated target's log", reason);
    g_file = fd != -1 ? fdopen(fd, "a") : nullptr;
    if (g_file == nullptr && fd != -1) {
        *reason = std::strerror(errno);
        ForgetAppendFile(fd);
        close(fd);
    }
    if (g_file != nullptr) {
        g_path = path;
    }
    return g_file != nullptr;
}

void LogToString(std::string* sink) {
    LogClose();
    g_sink = sink;
}

bool LogClose() {
    if (g_file != nullptr) {
        ForgetAppendFile(fileno(g_file));
        if (std::fclose(g_file) != 0) {
            Lost(errno);
        }
        g_file = nullptr;
    }
    const bool whole = g_whole;
    g_whole = true;
    g_sink = nullptr;
    return whole;
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
        if (std::fflush(g_file) != 0 || std::ferror(g_file) != 0) {
            Lost(errno);
        }
    } else {
        g_sink->append(text.data(), static_cast<size_t>(length));
        g_sink->push_back('\n');
    }
}

}  // namespace sim
