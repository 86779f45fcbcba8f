#include "sim/sim.h"

#include <fcntl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "avrig/avrig_main.h"
#include "device/mmio.h"
#include "report/report.h"
#include "sim/folder_file.h"
#include "sim/log.h"
#include "sim/state.h"

namespace sim {

namespace {

// The bytes of sim/targets/default.target, embedded at build time.
constexpr unsigned char kDefaultTargetBytes[] = {
#include "sim/default_target.inc"
};

constexpr const char* kDefaultTargetName = "(built-in default target)";

// Records of long runs stay far below this; it keeps a mistaken name from filling memory.
constexpr uint64_t kMaxTargetBytes = 64u * 1024u * 1024u;

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
    state.mappings.clear();
    state.traceMmio = false;
    LogClose();
}

namespace {

bool LoadTarget(const std::string& name, const LoadFolder& folder, const std::string& text, std::string* error) {
    Target loaded;
    if (!ParseTarget(name, folder, text, &loaded, error)) {
        return false;
    }
    GetState().target = std::move(loaded);
    return true;
}

}  // namespace

bool LoadTargetText(const std::string& name, const std::string& folder, const std::string& text,
                    std::string* error) {
    return LoadTarget(name, LoadFolder{folder, -1}, text, error);
}

bool LoadTargetFile(const std::string& path, std::string* error) {
    // The folder is opened first and the file and its `load` names found through it, so
    // they all come from the same folder. A link at PATH itself is followed: PATH is the
    // user's own choice, unlike the names inside the file.
    const std::string folderPath = FolderOf(path);
    const Descriptor folder(open(folderPath.empty() ? "." : folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const size_t slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    const Descriptor in(folder.get() < 0 || base.empty()
                            ? -1
                            : openat(folder.get(), base.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    std::string text;
    const ReadStatus status = in.get() < 0 ? ReadStatus::kFailed : ReadRegular(in.get(), 0, 0, true, kMaxTargetBytes, &text);
    if (status != ReadStatus::kRead) {
        *error = path + (status == ReadStatus::kNotRegular ? ":0: not a regular file"
                         : status == ReadStatus::kTooBig   ? ":0: larger than 64 MiB"
                                                           : ":0: cannot read");
        return false;
    }
    return LoadTarget(path, LoadFolder{folderPath, folder.get()}, text, error);
}

const std::string& DefaultTargetText() {
    static const std::string text(reinterpret_cast<const char*>(kDefaultTargetBytes), sizeof kDefaultTargetBytes);
    return text;
}

bool LoadDefaultTarget(std::string* error) {
    return LoadTargetText(kDefaultTargetName, "", DefaultTargetText(), error);
}

bool LogToFile(const char* path, const char** reason) { return LogOpen(path, reason); }

void LogToMemory(std::string* sink) { LogToString(sink); }

void SetTraceMmio(bool on) { GetState().traceMmio = on; }

bool LoadFromEnvironment(const char* program) {
    const char* target = std::getenv("AVRIG_SIM_TARGET");
    std::string error;
    const bool loaded = (target == nullptr || *target == '\0') ? LoadDefaultTarget(&error)
                                                               : LoadTargetFile(target, &error);
    if (!loaded) {
        std::fprintf(stderr, "%s: %s\n", program, Printable(error).c_str());
        return false;
    }
    const char* log = std::getenv("AVRIG_SIM_LOG");
    const char* reason = nullptr;
    if (log != nullptr && *log != '\0' && !LogToFile(log, &reason)) {
        std::fprintf(stderr, "%s: %s: cannot open the log: %s\n", program, Printable(log).c_str(), reason);
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
    // A run that failed keeps its status; one that did not is no success without its log.
    return sim::LogClose() || status != 0 ? status : 1;
}
