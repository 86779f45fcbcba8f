#include "sim/sim.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "avrig/avrig_main.h"
#include "device/mmio.h"
#include "sim/log.h"
#include "sim/state.h"

namespace sim {

namespace {

// The bytes of sim/targets/default.target, embedded at build time.
constexpr unsigned char kDefaultTargetBytes[] = {
#include "sim/default_target.inc"
};

constexpr const char* kDefaultTargetName = "(built-in default target)";

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return "";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

State g_state;

void Reset() {
    State& state = GetState();
    TargetClear(&state.target);
    state.target.nodes = 0;
    state.descriptors.clear();
    state.traceMmio = false;
    LogClose();
}

bool LoadTargetText(const std::string& name, const std::string& folder, const std::string& text,
                    std::string* error) {
    Target loaded;
    if (!ParseTarget(name, folder, text, &loaded, error)) {
        return false;
    }
    GetState().target = std::move(loaded);
    return true;
}

bool LoadTargetFile(const std::string& path, std::string* error) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    std::string text;
    bool readable = in != nullptr;
    if (in != nullptr) {
        char chunk[4096];
        size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
            text.append(chunk, got);
        }
        readable = std::ferror(in) == 0;
        std::fclose(in);
    }
    if (!readable) {
        *error = path + ":0: cannot read";
        return false;
    }
    return LoadTargetText(path, FolderOf(path), text, error);
}

const std::string& DefaultTargetText() {
    static const std::string text(reinterpret_cast<const char*>(kDefaultTargetBytes), sizeof kDefaultTargetBytes);
    return text;
}

bool LoadDefaultTarget(std::string* error) {
    return LoadTargetText(kDefaultTargetName, "", DefaultTargetText(), error);
}

bool LogToFile(const char* path) { return LogOpen(path); }

void LogToMemory(std::string* sink) { LogToString(sink); }

void SetTraceMmio(bool on) { GetState().traceMmio = on; }

bool LoadFromEnvironment(const char* program) {
    const char* target = std::getenv("AVRIG_SIM_TARGET");
    std::string error;
    const bool loaded = (target == nullptr || *target == '\0') ? LoadDefaultTarget(&error)
                                                               : LoadTargetFile(target, &error);
    if (!loaded) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return false;
    }
    const char* log = std::getenv("AVRIG_SIM_LOG");
    if (log != nullptr && *log != '\0' && !LogToFile(log)) {
        std::fprintf(stderr, "%s: %s: cannot open the log: %s\n", program, log, std::strerror(errno));
        return false;
    }
    const char* trace = std::getenv("AVRIG_SIM_TRACE_MMIO");
    SetTraceMmio(trace != nullptr && std::strcmp(trace, "1") == 0);
    return true;
}

}  // namespace sim

int SimMain(int argc, char** argv) {
    // Before the target and the log open: neither may take a closed standard descriptor.
    if (!OpenStandardDescriptors()) {
        return 1;
    }
    sim::Reset();
    // The tool's own process-wide state: a run starts with the register device closed.
    fd = -1;

    if (!sim::LoadFromEnvironment("avrig-sim")) {
        return 2;
    }

    const int status = AvrigMain(argc, argv);
    std::fflush(stdout);
    sim::LogClose();
    return status;
}
