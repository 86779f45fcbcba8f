#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/target.h"
#include "tests/support.h"

namespace fuzz {

namespace {

support::TempDir* g_scratch = nullptr;  // the scratch folder
std::string g_run;                      // its "run" folder, where the tool writes
int g_home = -1;                        // the folder the fuzzer started in

[[noreturn]] void Die(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz: %s: %s\n", what, detail.c_str());
    std::abort();
}

// Target text cut into lines of fields by the simulated target's own tokenizer; lines
// without fields are left out.
std::vector<std::vector<std::string>> TargetLines(const std::string& targetText) {
    std::vector<std::vector<std::string>> lines;
    for (const std::string& line : support::Lines(targetText)) {
        std::vector<std::string> fields = sim::TargetLineFields(line);
        if (!fields.empty()) {
            lines.push_back(std::move(fields));
        }
    }
    return lines;
}

void RemoveScratch() {
    delete g_scratch;
    g_scratch = nullptr;
}

}  // namespace

std::string SetUp(int* argc, char*** argv) {
    // The tool writes whole frames per input: keep them in memory where there is a tmpfs.
    const char* base = std::getenv("TMPDIR");
    if (base == nullptr || *base == '\0') {
        base = access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "/tmp";
    }
    g_scratch = new support::TempDir(base);
    if (g_scratch->Path().empty()) {
        Die("cannot create a scratch folder in", base);
    }
    g_run = g_scratch->Path() + "/run";
    if (mkdir(g_run.c_str(), 0700) != 0) {
        Die("cannot create", g_run);
    }
    g_home = open(".", O_RDONLY | O_DIRECTORY);
    if (g_home < 0) {
        Die("cannot open", "the current folder");
    }
    std::atexit(RemoveScratch);

    static std::vector<std::string> storage;
    static std::vector<char*> args;
    bool hasPrefix = false;
    for (int k = 0; k < *argc; ++k) {
        const std::string arg = (*argv)[k];
        hasPrefix = hasPrefix || arg.rfind("-artifact_prefix=", 0) == 0 || arg.rfind("-exact_artifact_path=", 0) == 0;
    }
    std::vector<char> cwd(4096);
    if (!hasPrefix && getcwd(cwd.data(), cwd.size()) != nullptr) {
        storage.assign(*argv, *argv + *argc);
        storage.push_back(std::string("-artifact_prefix=") + cwd.data() + "/");
        for (std::string& arg : storage) {
            args.push_back(arg.data());
        }
        args.push_back(nullptr);
        *argc = static_cast<int>(storage.size());
        *argv = args.data();
    }
    return g_scratch->Path();
}

RunFolder::RunFolder() {
    if (chdir(g_run.c_str()) != 0) {
        Die("cannot enter", g_run);
    }
}

RunFolder::~RunFolder() {
    if (fchdir(g_home) != 0) {
        Die("cannot go back to", "the folder the fuzzer started in");
    }
    support::EmptyFolder(g_run);
}

void SilenceStdout() {
    std::fflush(stdout);
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, 1) < 0) {
        Die("cannot silence standard output", "/dev/null");
    }
    close(null);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    if (!support::WriteFile(path, bytes)) {
        Die("cannot write", path);
    }
}

std::vector<std::string> SplitWords(const std::string& bytes, size_t maxWords) {
    std::vector<std::string> words;
    if (bytes.empty()) {
        return words;
    }
    size_t start = 0;
    while (words.size() < maxWords) {
        size_t end = start;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\0') {
            ++end;
        }
        std::string word = bytes.substr(start, end - start);
        // Output names go to fopen: keep them relative and below the run folder.
        for (size_t k = 0; k < word.size() && word[k] == '/'; ++k) {
            word[k] = '_';
        }
        for (size_t dots = word.find(".."); dots != std::string::npos; dots = word.find("..")) {
            word[dots] = '_';
        }
        words.push_back(std::move(word));
        if (end >= bytes.size()) {
            break;
        }
        start = end + 1;
    }
    return words;
}

bool HasDirective(const std::string& targetText, const char* directive) {
    for (const std::vector<std::string>& fields : TargetLines(targetText)) {
        if (strcasecmp(fields[0].c_str(), directive) == 0) {
            return true;
        }
    }
    return false;
}

bool LoadsOutsideScratch(const std::string& targetText) {
    for (const std::vector<std::string>& fields : TargetLines(targetText)) {
        if (strcasecmp(fields[0].c_str(), "load") != 0) {
            continue;
        }
        for (const std::string& field : fields) {
            if (field.find('/') != std::string::npos) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace fuzz
