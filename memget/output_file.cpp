#include "memget/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "device/append_file.h"

namespace {

// Every signal from outside whose default action ends the process.
constexpr int kCleanupSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGPIPE,   SIGQUIT, SIGALRM,
                                   SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF};
constexpr int kCreateAttempts = 32;  // names taken by others are passed over

int gStandardOutputStream = -1;

// The temporary file in progress, empty when there is none. Changed only while the
// cleanup signals are held, so the handler never sees half a name.
char gPending[kOutputNameSize];

extern "C" void RemovePendingAndResignal(int signal) {
    // Only async-signal-safe calls here: unlink and raise.
    if (gPending[0] != '\0') {
        unlink(gPending);
    }
    // SA_RESETHAND has put the default action back; the signal, held while this runs,
    // ends the process as soon as the handler returns, with the status the shell expects.
    raise(signal);
}

// Holds the cleanup signals for its lifetime.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : kCleanupSignals) {
            sigaddset(&held, signal);
        }
        sigprocmask(SIG_BLOCK, &held, &previous_);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t previous_;
};

void SetPending(const char* path) {
    std::strncpy(gPending, path, sizeof gPending - 1);
    gPending[sizeof gPending - 1] = '\0';
}

// A name nobody is likely to hold already: the final name, a dot and six characters
// from the process, a counter and the clock.
void TemporaryName(char (&temp)[kOutputNameSize], const char* finalName) {
    static uint32_t counter = 0;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint32_t mix = static_cast<uint32_t>(getpid()) * 0x9e3779b1u ^ ++counter * 0x85ebca6bu ^
                   static_cast<uint32_t>(now.tv_nsec);
    mix ^= mix >> 15;
    mix *= 0x2c1b3c6du;
    mix ^= mix >> 13;
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuv";
    char suffix[7];
    for (int k = 0; k < 6; ++k) {
        suffix[k] = kDigits[(mix >> (5 * k)) & 31u];
    }
    suffix[6] = '\0';
    std::snprintf(temp, sizeof temp, "%s.%s", finalName, suffix);
}

// True when a user other than the running one may add or remove names in the folder
// holding `path`: the folder is another user's, or its group or others may write it.
bool OthersMayWriteFolder(const char* path) {
    char folder[kOutputNameSize] = ".";
    const char* slash = std::strrchr(path, '/');
    if (slash != nullptr) {
        std::snprintf(folder, sizeof folder, "%.*s", slash == path ? 1 : static_cast<int>(slash - path), path);
    }
    struct stat info {};
    return stat(folder, &info) != 0 || info.st_uid != geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// The replacement takes the replaced file's permission bits, and its owner and group as
// far as the user may give them (only root gives a file away), as editors do. The bits
// that would make a frame run as its owner are never handed on.
bool Inherit(int descriptor, const struct stat& replaced) {
    if (fchown(descriptor, replaced.st_uid, replaced.st_gid) != 0) {
        const uid_t keep = static_cast<uid_t>(-1);
        if (fchown(descriptor, keep, replaced.st_gid) != 0) {
            // not in that group either: the file stays wholly the user's
        }
    }
    return fchmod(descriptor, replaced.st_mode & 0777) == 0;
}

}  // namespace

bool OutputFile::Create(const char* finalName) {
    Abandon();
    if (std::strlen(finalName) + 8 > sizeof temp_) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::strcpy(final_, finalName);
    appended_ = nullptr;
    // What the name holds now decides whether it may be replaced and what the new file
    // inherits. A link is replaced and never followed, so it is never the model. A file
    // another user planted in a folder others may write is not handed back to them: the
    // new file is the user's, as a new file would be.
    struct stat present {};
    bool inherit = false;
    if (lstat(finalName, &present) == 0) {
        // Replacing the trace or the log would take every line of it into the unlinked
        // file: the name keeps it, and the run fails for the file it did not write.
        appended_ = AppendedFileAt(present.st_dev, present.st_ino);
        if (appended_ != nullptr) {
            errno = EEXIST;
            return false;
        }
        if (S_ISDIR(present.st_mode)) {
            errno = EISDIR;  // found before any frame memory is read
            return false;
        }
        if (S_ISREG(present.st_mode)) {
            if (faccessat(AT_FDCWD, finalName, W_OK, AT_EACCESS) != 0) {
                return false;  // a file the user may not write is not replaced
            }
            inherit = present.st_uid == geteuid() || !OthersMayWriteFolder(finalName);
        }
    }
    for (int attempt = 0; attempt < kCreateAttempts && stream_ == nullptr; ++attempt) {
        TemporaryName(temp_, finalName);
        const SignalsHeld held;
        // "x": created exclusively (O_EXCL), so a link at the name is never followed; "e":
        // close-on-exec. Mode 0666 less the umask, as fopen(name, "w") gives.
        stream_ = std::fopen(temp_, "wxe");
        if (stream_ != nullptr) {
            SetPending(temp_);
        } else if (errno != EEXIST) {
            temp_[0] = '\0';
            return false;
        }
    }
    if (stream_ == nullptr) {
        temp_[0] = '\0';
        return false;  // EEXIST every time
    }
    if (inherit && !Inherit(fileno(stream_), present)) {
        const int reason = errno;
        Abandon();
        errno = reason;
        return false;
    }
    return true;
}

bool OutputFile::Finish() {
    if (stream_ == nullptr) {
        errno = EBADF;
        return false;
    }
    // Standard I/O buffers, so a full disk often shows only here.
    bool done = std::fflush(stream_) == 0 && fsync(fileno(stream_)) == 0;
    int reason = errno;
    const int closed = std::fclose(stream_);
    stream_ = nullptr;
    if (done && closed != 0) {
        done = false;
        reason = errno;
    }
    if (!done) {
        Abandon();
        errno = reason;
    }
    return done;
}

bool OutputFile::Place() {
    if (stream_ != nullptr || temp_[0] == '\0') {
        errno = EBADF;
        return false;
    }
    int reason = 0;
    {
        const SignalsHeld held;
        if (std::rename(temp_, final_) == 0) {
            gPending[0] = '\0';
            temp_[0] = '\0';
            return true;
        }
        reason = errno;
    }
    Abandon();
    errno = reason;
    return false;
}

void OutputFile::Abandon() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (temp_[0] != '\0') {
        const SignalsHeld held;
        unlink(temp_);
        gPending[0] = '\0';
        temp_[0] = '\0';
    }
}

SignalCleanup::SignalCleanup() {
    static_assert(sizeof kCleanupSignals / sizeof kCleanupSignals[0] == kSignals, "one slot per signal");
    for (int k = 0; k < kSignals; ++k) {
        struct sigaction current {};
        if (sigaction(kCleanupSignals[k], nullptr, &current) != 0 || current.sa_handler != SIG_DFL) {
            continue;
        }
        struct sigaction cleanup {};
        cleanup.sa_handler = RemovePendingAndResignal;
        sigemptyset(&cleanup.sa_mask);
        for (int signal : kCleanupSignals) {
            sigaddset(&cleanup.sa_mask, signal);  // one cleanup at a time
        }
        cleanup.sa_flags = SA_RESETHAND;
        installed_[k] = sigaction(kCleanupSignals[k], &cleanup, &saved_[k]) == 0;
    }
}

SignalCleanup::~SignalCleanup() {
    for (int k = 0; k < kSignals; ++k) {
        if (installed_[k]) {
            sigaction(kCleanupSignals[k], &saved_[k], nullptr);
        }
    }
}

void SetStandardOutputStream(int descriptor) { gStandardOutputStream = descriptor; }

int StandardOutputStream() { return gStandardOutputStream; }
