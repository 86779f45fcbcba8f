// Runs the tool against the simulated target the way a shell runs avrig-sim: in a child
// process, with the environment set, standard output and error captured, and the exit
// status as the shell would see it. Works under qemu-user and the sanitizers, where
// running a second binary would not.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support.h"

namespace simrun {

struct Options {
    std::string target;      // target file text; empty: the built-in default target
    bool useTargetPath = false;  // take `targetPath` as AVRIG_SIM_TARGET instead of `target`
    std::string targetPath;
    bool traceMmio = false;
    std::string workDir;     // where the run starts (output files land here); empty: a new temp dir
    std::vector<std::pair<std::string, std::string>> env;  // more variables, such as AVRIG_TRACE
    int signal = 0;              // sent to the run once a file whose name holds `signalWhen` appears
    std::string signalWhen;
    uint64_t fileSizeLimit = 0;  // non-zero: `ulimit -f` in bytes, SIGXFSZ left at its default
    std::string stdoutPath;      // standard output goes there (such as /dev/full), not to Result::out
    std::string stderrPath;      // and standard error, not to Result::err
    std::vector<int> closed;     // standard descriptors the run starts without, as the shell's `>&-`
    // Non-empty: standard output is a pipe into this shell command, run in the work folder
    // (`avrig-sim ... | COMMAND`); what the command prints on its standard output and error
    // is Result::out.
    std::string stdoutReader;
    bool ignoreSigpipe = false;  // the run starts with SIGPIPE ignored, as under `trap '' PIPE`
    bool errorToOutput = false;  // standard error is standard output's descriptor (`2>&1`): all in Result::out
    bool nonBlockingOutput = false;  // standard output's open file is non-blocking, as a parent may leave a pipe
};

struct Result {
    int status = -1;       // exit status 0..255, or -1 when the child died of a signal
    int signal = 0;        // the signal the child died of
    std::string out;       // standard output
    std::string err;       // standard error
    std::string log;       // the simulated target's log
    std::string workDir;   // the folder the run started in
    std::shared_ptr<support::TempDir> ownedDir;  // the work folder when the run made it
};

// args excludes the program name.
Result Run(const std::vector<std::string>& args, const Options& options = {});

}  // namespace simrun
