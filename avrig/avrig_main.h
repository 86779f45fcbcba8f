// The tool's entry, shared by avrig (real system) and avrig-sim (simulated target).
#pragma once

#include <csignal>

int AvrigMain(int argc, char** argv);

// Puts /dev/null on any of descriptors 0, 1 and 2 that arrived closed, so that no device
// node, output file, trace or record is ever given one of them and receives what the tool
// prints. False, with one line on standard error where it can go, when /dev/null cannot
// be opened: the tool must not run then. Called before anything else opens a file.
// A standard output it stood in for takes no stream (see StreamOnStandardOutput).
bool OpenStandardDescriptors();

// For the run's length a file-size limit fails the write that meets it (EFBIG) instead of
// ending the tool by SIGXFSZ. Every write is checked, so a frame, the trace, the record or
// standard output past `ulimit -f` is reported as on a full disk. A handler rather than
// SIG_IGN, as a handler goes at exec: the shell commands the tool runs meet the limit as
// they would alone. A SIGXFSZ that is not at its default is left as it is.
class FileSizeLimitFailsWrites {
public:
    FileSizeLimitFailsWrites();
    ~FileSizeLimitFailsWrites();
    FileSizeLimitFailsWrites(const FileSizeLimitFailsWrites&) = delete;
    FileSizeLimitFailsWrites& operator=(const FileSizeLimitFailsWrites&) = delete;

private:
    struct sigaction saved_ = {};
    bool installed_ = false;
};

// While it lives, a run with an argument "-.y4m" (a plain scan, whatever the argument
// means) keeps standard output for the capture's stream alone: everything the tool prints
// there goes to standard error instead, unbuffered, so it stays in order with what
// standard error gets, and the shell commands the tool runs write there too. The stream
// goes to the descriptor the run found (see SetStandardOutputStream). Refused(), with one
// line printed, when the stream has no place of its own there: standard output arrived
// closed (/dev/null stands in), is a terminal, or is the file, pipe or socket standard
// error writes to. The descriptors are put back when it goes. Each run starts with
// standard output free of streams (see WriteOutputFile).
class StreamOnStandardOutput {
public:
    StreamOnStandardOutput(int argc, char** argv);
    ~StreamOnStandardOutput();
    StreamOnStandardOutput(const StreamOnStandardOutput&) = delete;
    StreamOnStandardOutput& operator=(const StreamOnStandardOutput&) = delete;
    bool Refused() const { return refused_; }

private:
    int saved_ = -1;
    bool refused_ = false;
};

// `status`, or a failure after one line on standard error when standard output could not
// be written whole (a full disk, /dev/full, an I/O error): 1 where the status was 0, the
// status itself where the run had failed already. A closed pipe ends the tool by SIGPIPE
// before this. The error stays set, so the one line is not repeated. Standard error
// carries the queries' answers: one that could not be written fails the run the same way,
// with nowhere to say so.
int CheckOutputStreams(int status);

// The programs' last step after AvrigMain: closes standard output, and a close that
// reports a failed write (after CheckOutputStreams found none) fails the run as above.
int CloseStandardOutput(int status);
