// The command-line walk: immediate commands, remembered settings, the deferred requests
// and memget, run in-process through the simulated target.
//
// Input: command-line words separated by newlines (or NULs), optionally followed by a
// line "%%" and the text of a target file; without it the built-in default target
// answers, with its test picture cut to 64x32 so that a memget costs milliseconds rather
// than a fifth of a second. Targets whose captures would take long (many or large
// frames) or that place words in memory are skipped: the capture fuzzer covers register
// contents, and here they would only turn into timeouts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "memget/capture_names.h"
#include "sim/sim.h"
#include "sim/state.h"
#include "sim/target.h"
#include "tests/support.h"

namespace {

constexpr size_t kMaxWords = 64;
// Pixels a run may capture in all: three frames of the default target are about 1M.
constexpr uint64_t kMaxCapturedPixels = 4u << 20;

std::string g_targetPath;
std::string g_defaultPath;  // the shrunk default target; empty: the default as it is

// The default target with every `pattern` line's picture cut to 64x32.
std::string ShrunkDefaultTarget() {
    std::string text;
    for (const std::string& line : support::Lines(sim::DefaultTargetText())) {
        const std::vector<std::string> fields = sim::TargetLineFields(line);
        if (fields.size() == 5 && fields[0] == "pattern") {
            text += "pattern " + fields[1] + " 64 32 " + fields[4] + "\n";
        } else {
            text += line + "\n";
        }
    }
    return text;
}

// True when `text` loads as a target whose capture work stays small.
bool TargetIsCheap(const std::string& text) {
    // Explicit words can program any capture geometry; leave them to the capture fuzzer.
    if (fuzz::HasDirective(text, "word") || fuzz::HasDirective(text, "load")) {
        return false;
    }
    std::string error;
    sim::Reset();
    if (!sim::LoadTargetText("fuzz.target", "", text, &error)) {
        return true;  // the tool never runs: SimMain reports the error
    }
    const sim::Target& target = sim::GetState().target;
    uint64_t framePixels = 0;
    uint64_t jpegPixels = 0;
    for (const sim::ComputedBuffer& buffer : target.memory.buffers) {
        const uint64_t pixels = static_cast<uint64_t>(buffer.width) * buffer.height;
        if (buffer.plane == sim::Plane::kJpeg) {
            jpegPixels += pixels;
        } else if (pixels > framePixels) {
            framePixels = pixels;
        }
    }
    int32_t frames = target.hasCapture ? target.capture.count : 0;
    if (frames < 0 || frames > kMaxFrameCount) {
        frames = 0;  // refused before any frame is read
    }
    return static_cast<uint64_t>(frames) * framePixels + jpegPixels <= kMaxCapturedPixels;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    const std::string scratch = fuzz::SetUp(argc, argv);
    g_targetPath = scratch + "/fuzz.target";
    const std::string shrunk = ShrunkDefaultTarget();
    std::string error;
    if (sim::LoadTargetText("default", "", shrunk, &error)) {
        g_defaultPath = scratch + "/default.target";
        fuzz::WriteFile(g_defaultPath, shrunk);
    }
    fuzz::SilenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string words = input;
    size_t split = std::string::npos;
    if (input.compare(0, 3, "%%\n") == 0) {
        split = 0;
    } else if (const size_t at = input.find("\n%%\n"); at != std::string::npos) {
        split = at + 1;
    }
    if (split != std::string::npos) {
        words = input.substr(0, split == 0 ? 0 : split - 1);
        const std::string target = input.substr(split + 3);
        if (!TargetIsCheap(target)) {
            return -1;
        }
        fuzz::WriteFile(g_targetPath, target);
        setenv("AVRIG_SIM_TARGET", g_targetPath.c_str(), 1);
    } else {
        setenv("AVRIG_SIM_TARGET", g_defaultPath.c_str(), 1);  // empty: the built-in default
    }

    std::vector<std::string> args = fuzz::SplitWords(words, kMaxWords);
    args.insert(args.begin(), "avrig-sim");
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    fuzz::RunFolder inRunFolder;
    SimMain(static_cast<int>(args.size()), argv.data());
    return 0;
}
