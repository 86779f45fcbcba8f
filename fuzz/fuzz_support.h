// What the fuzz drivers share: a private scratch folder to run in, silenced standard
// output, and the cutting of an input into command-line words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// Call from LLVMFuzzerInitialize. Creates a fresh folder under $TMPDIR (else /dev/shm,
// else /tmp) with an
// empty "run" folder inside, to be removed at exit, and returns it (the parent of "run").
// Failing inputs are written with an absolute -artifact_prefix (the folder the fuzzer
// was started in, unless one was given), because a crash can happen while the input
// runs inside "run". Aborts when the folder cannot be made: a fuzz run must never
// write elsewhere.
std::string SetUp(int* argc, char*** argv);

// Runs the tool's work inside the "run" folder: enters it on construction, goes back
// to where the fuzzer started and empties "run" on destruction.
class RunFolder {
public:
    RunFolder();
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;
};

// Sends standard output to /dev/null for the rest of the process.
void SilenceStdout();

// Writes `bytes` to `path`, replacing it. Aborts on failure.
void WriteFile(const std::string& path, const std::string& bytes);

// Splits `bytes` at every newline and NUL into at most `maxWords` words (empty words
// included: an empty argument is a real case). Words that would reach outside the
// run folder as a path (a leading '/', or "..") are defused, so output files stay in it.
std::vector<std::string> SplitWords(const std::string& bytes, size_t maxWords);

// True when a line of target text has `directive` as its first field (in any case).
bool HasDirective(const std::string& targetText, const char* directive);

// True when target text has a `load` line whose file could lie outside the scratch folder.
bool LoadsOutsideScratch(const std::string& targetText);

}  // namespace fuzz
