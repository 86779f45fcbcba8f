#include "memget/output_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>

namespace {

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
constexpr int kCreateAttempts = 32;  // names taken by others are passed over

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

}  // namespace

bool OutputFile::Create(const char* finalName) {
    Abandon();
    if (std::strlen(finalName) + 8 > sizeof temp_) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::strcpy(final_, finalName);
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
