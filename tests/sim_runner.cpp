#include "tests/sim_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "avrig/avrig_main.h"
#include "sim/sim.h"

namespace simrun {

using support::ReadFile;

namespace {

bool FolderHolds(const std::string& folder, const std::string& part) {
    for (const std::string& name : support::FolderNames(folder)) {
        if (name.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Waits for the child, sending it options.signal once the folder holds the file it waits for.
int WaitFor(pid_t child, const Options& options, const std::string& folder) {
    int wstatus = 0;
    bool sent = options.signal == 0;
    while (true) {
        const pid_t done = waitpid(child, &wstatus, sent ? 0 : WNOHANG);
        if (done == child) {
            return wstatus;
        }
        if (done == -1) {
            return -1;
        }
        if (FolderHolds(folder, options.signalWhen)) {
            kill(child, options.signal);
            sent = true;
        } else {
            usleep(200);
        }
    }
}

}  // namespace

Result Run(const std::vector<std::string>& args, const Options& options) {
    Result result;
    if (options.workDir.empty()) {
        result.ownedDir = std::make_shared<support::TempDir>();
        result.workDir = result.ownedDir->Path();
    } else {
        result.workDir = options.workDir;
    }
    const support::TempDir scratchDir;
    const std::string& scratch = scratchDir.Path();
    const std::string outPath = scratch + "/stdout";
    const std::string errPath = scratch + "/stderr";
    const std::string logPath = scratch + "/sim.log";
    std::string targetPath = options.targetPath;
    if (!options.useTargetPath && !options.target.empty()) {
        targetPath = scratch + "/test.target";
        support::WriteFile(targetPath, options.target);
    }

    std::fflush(stdout);
    std::fflush(stderr);
    int pipeEnds[2] = {-1, -1};
    pid_t reader = -1;
    if (!options.stdoutReader.empty() && pipe2(pipeEnds, O_CLOEXEC) == 0) {
        reader = fork();
        if (reader == 0) {
            const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (chdir(result.workDir.c_str()) != 0 || out < 0 || dup2(pipeEnds[0], 0) < 0 || dup2(out, 1) < 0 ||
                dup2(out, 2) < 0) {
                _exit(121);
            }
            signal(SIGPIPE, SIG_DFL);
            execl("/bin/sh", "sh", "-c", options.stdoutReader.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(result.workDir.c_str()) != 0) {
            _exit(120);
        }
        const std::string& outTo = options.stdoutPath.empty() ? outPath : options.stdoutPath;
        const int out = reader > 0 ? pipeEnds[1] : open(outTo.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const std::string& errTo = options.stderrPath.empty() ? errPath : options.stderrPath;
        const int err = options.errorToOutput ? out : open(errTo.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) {
            _exit(121);
        }
        if (options.nonBlockingOutput && fcntl(1, F_SETFL, fcntl(1, F_GETFL) | O_NONBLOCK) != 0) {
            _exit(122);
        }
        if (reader > 0) {
            close(pipeEnds[0]);  // the reader's end: the reader alone holds it
        }
        setenv("AVRIG_SIM_TARGET", targetPath.c_str(), 1);
        setenv("AVRIG_SIM_LOG", logPath.c_str(), 1);
        if (options.fileSizeLimit != 0) {
            const rlim_t bytes = static_cast<rlim_t>(options.fileSizeLimit);
            const rlimit limit{bytes, bytes};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (options.traceMmio) {
            setenv("AVRIG_SIM_TRACE_MMIO", "1", 1);
        } else {
            unsetenv("AVRIG_SIM_TRACE_MMIO");
        }
        for (const auto& variable : options.env) {
            setenv(variable.first.c_str(), variable.second.c_str(), 1);
        }
        std::vector<std::string> storage;
        storage.emplace_back("avrig-sim");
        storage.insert(storage.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : storage) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        for (const int fd : options.closed) {
            close(fd);
        }
        signal(SIGPIPE, options.ignoreSigpipe ? SIG_IGN : SIG_DFL);
        // As sim/main.cpp runs it.
        const int status = CloseStandardOutput(SimMain(static_cast<int>(storage.size()), argv.data()));
        std::fflush(stdout);
        std::fflush(stderr);
        _exit(status & 0xff);
    }
    if (pipeEnds[0] >= 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
    }
    const int wstatus = child > 0 ? WaitFor(child, options, result.workDir) : -1;
    if (reader > 0) {
        waitpid(reader, nullptr, 0);
    }
    if (wstatus != -1 && WIFEXITED(wstatus)) {
        result.status = WEXITSTATUS(wstatus);
    } else if (wstatus != -1 && WIFSIGNALED(wstatus)) {
        result.signal = WTERMSIG(wstatus);
    }
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    result.log = ReadFile(logPath);
    return result;
}

}  // namespace simrun
