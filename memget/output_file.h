// Output files that appear under their final name complete or not at all.
//
// A file is written under a temporary name in its final name's folder, created
// exclusively (so it never follows a link placed there) with mode 0666 less the umask,
// the mode fopen(name, "w") gives; a regular file it replaces hands on its mode, owner
// and group (see Create). Finish flushes it to the device and closes it; Place
// renames it onto the final name. Until then the final name keeps whatever it held, and
// a file that fails or is abandoned loses its temporary name. While a SignalCleanup
// lives, the signals from outside that end the process (SIGINT, SIGTERM, SIGQUIT, ...)
// remove the temporary file in progress before they end it.
#pragma once

#include <csignal>
#include <cstdio>

constexpr int kOutputNameSize = 64;  // a final name and the temporary suffix

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { Abandon(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file for `finalName`. False, with errno set, when it cannot,
    // when a folder holds the name (EISDIR) or when the user may not write the regular
    // file there; false with AppendedThere() set when the name holds the file the run
    // appends its trace or log to. The file replacing a regular file takes its permission
    // bits, and its owner and group as far as they can be given, unless another user's
    // file stands in a folder others may write.
    bool Create(const char* finalName);
    // What the run appends to the file at the name Create refused ("the trace"), or null.
    const char* AppendedThere() const { return appended_; }
    // The stream to write the file through; null unless created and not yet finished.
    FILE* Stream() const { return stream_; }
    // Flushes the stream, syncs the file to the device and closes it. On failure the
    // temporary file is removed and errno says why.
    bool Finish();
    // Renames the finished file onto its final name. On failure the temporary file is
    // removed and errno says why.
    bool Place();
    // Closes and removes the temporary file, if there is one.
    void Abandon();

private:
    FILE* stream_ = nullptr;
    const char* appended_ = nullptr;
    char final_[kOutputNameSize] = {};
    char temp_[kOutputNameSize] = {};
};

// Installs the cleanup for the signals whose action is the default (a signal the caller
// ignores, as under nohup, stays ignored) and restores the actions when it goes.
class SignalCleanup {
public:
    SignalCleanup();
    ~SignalCleanup();
    SignalCleanup(const SignalCleanup&) = delete;
    SignalCleanup& operator=(const SignalCleanup&) = delete;

private:
    static constexpr int kSignals = 11;
    struct sigaction saved_[kSignals] = {};
    bool installed_[kSignals] = {};
};

// The descriptor a capture named "-.y4m" writes its stream to: standard output as the run
// found it. The front end sets it while it keeps the tool's text off that descriptor;
// -1, when it is not set, stands for descriptor 1 itself.
void SetStandardOutputStream(int descriptor);
int StandardOutputStream();
