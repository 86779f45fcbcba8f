// The process at both ends of a run, as root tools keep it: no standard descriptor
// arrives closed, a file-size limit fails a write rather than the tool, a stream on
// standard output has it to itself, and a standard output that could not be written is a
// failure.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "avrig/avrig_main.h"
#include "memget/frame_loop.h"
#include "memget/output_formats.h"
#include "memget/output_file.h"
#include "report/report.h"

namespace {

// Standard output arrived closed and /dev/null stands in for it. Kept for the process:
// the simulator's entry finds it closed before the tool's entry looks.
bool gOutputStoodIn = false;

// Standard error writes into the file, pipe or socket standard output is: its lines
// would land amid a stream there. A character device (/dev/null) keeps no order to spoil.
bool ErrorJoinsOutput() {
    struct stat out {};
    struct stat err {};
    return fstat(STDOUT_FILENO, &out) == 0 && fstat(STDERR_FILENO, &err) == 0 && out.st_dev == err.st_dev &&
           out.st_ino == err.st_ino && !S_ISCHR(out.st_mode);
}

}  // namespace

bool OpenStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // The lowest free number: every lower one is open by now, so this is `fd` itself.
        // Inherited as a standard descriptor is, not close-on-exec.
        const int opened = open("/dev/null", O_RDWR);
        if (opened != fd) {
            const int reason = errno;
            if (opened >= 0) {
                close(opened);
            }
            Complain("descriptor %d is closed and /dev/null cannot stand in for it: %s", fd,
                     opened >= 0 ? "another number came back" : std::strerror(reason));
            return false;
        }
        gOutputStoodIn = gOutputStoodIn || fd == STDOUT_FILENO;
    }
    return true;
}

namespace {

extern "C" void IgnoreFileSize(int) {}

}  // namespace

FileSizeLimitFailsWrites::FileSizeLimitFailsWrites() {
    struct sigaction current {};
    if (sigaction(SIGXFSZ, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) {
        return;
    }
    struct sigaction caught {};
    caught.sa_handler = IgnoreFileSize;
    sigemptyset(&caught.sa_mask);
    caught.sa_flags = SA_RESTART;
    installed_ = sigaction(SIGXFSZ, &caught, &saved_) == 0;
}

FileSizeLimitFailsWrites::~FileSizeLimitFailsWrites() {
    if (installed_) {
        sigaction(SIGXFSZ, &saved_, nullptr);
    }
}

StreamOnStandardOutput::StreamOnStandardOutput(int argc, char** argv) {
    ForgetStandardOutputStream();
    bool requested = false;
    const OutputFormat* binary = nullptr;  // a stream no terminal shows
    for (int k = 1; k < argc; ++k) {
        const OutputFormat* format = StandardOutputFormat(argv[k]);
        requested = requested || format != nullptr;
        binary = format != nullptr && format->sampleBytes != 0 ? format : binary;
    }
    if (!requested) {
        return;
    }
    refused_ = true;
    if (gOutputStoodIn) {
        Complain("standard output is closed: the stream has nowhere to go");
        return;
    }
    if (binary != nullptr && isatty(STDOUT_FILENO)) {
        Complain("standard output is a terminal: pipe %s into a player or redirect it to a file",
                 binary->standardOutput);
        return;
    }
    if (ErrorJoinsOutput()) {
        Complain("standard error is standard output: its lines would land amid the stream; send them elsewhere");
        return;
    }
    refused_ = false;
    std::fflush(stdout);
    saved_ = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (saved_ < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        Complain("standard output cannot be kept for the stream: %s", std::strerror(errno));
        refused_ = true;
        return;
    }
    // Unbuffered: each text reaches the descriptor when printed, in order with standard error.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    SetStandardOutputStream(saved_);
}

StreamOnStandardOutput::~StreamOnStandardOutput() {
    if (saved_ < 0) {
        return;
    }
    SetStandardOutputStream(-1);
    std::fflush(stdout);
    if (!refused_) {
        dup2(saved_, STDOUT_FILENO);
    }
    close(saved_);
    std::setvbuf(stdout, nullptr, isatty(STDOUT_FILENO) ? _IOLBF : _IOFBF, BUFSIZ);
}

namespace {

// A failure the run had already met keeps its own status (255 when the VIP driver could not
// be opened); a run that would have succeeded fails.
int Failed(int status) { return status == 0 ? 1 : status; }

}  // namespace

int CheckOutputStreams(int status) {
    // Checked first: the line about standard output goes there.
    const bool errorsWhole = std::fflush(stderr) == 0 && std::ferror(stderr) == 0;
    std::clearerr(stderr);  // the next run in this process starts afresh
    const bool flushed = std::fflush(stdout) == 0;
    const int reason = flushed ? 0 : errno;
    if (flushed && std::ferror(stdout) == 0) {
        return errorsWhole ? status : Failed(status);
    }
    // A write that failed earlier left no reason behind; a failed flush has one.
    if (reason != 0) {
        Complain("standard output could not be written: %s", std::strerror(reason));
    } else {
        Complain("standard output could not be written");
    }
    return Failed(status);
}

int CloseStandardOutput(int status) {
    // Reported already, or nothing left to find: only a file system that tells of a failed
    // write when the file closes (NFS) gives the close an error of its own.
    if (std::ferror(stdout) != 0 || std::fflush(stdout) != 0) {
        return status;
    }
    if (close(STDOUT_FILENO) != 0) {
        Complain("standard output could not be written: %s", std::strerror(errno));
        return Failed(status);
    }
    return status;
}
