// The files a run appends its own lines to: the trace and avrig-sim's log. Root may run the
// tool in a folder others can write, so both are opened with the same care; and both are
// remembered while open, so that no capture file replaces one of them and takes its lines
// with it.
#pragma once

#include <sys/types.h>

// Opens `path` for appending, creating it with no group or world write permission whatever
// the umask. A link at the name is not followed. Only a regular file of the running user
// with no other name (a hard link) that nobody else may write, a terminal or /dev/null is
// taken (device/path_policy.h): another user's file was chosen by its owner, who would read
// every line, a FIFO would hold the tool until someone read it, and any other device could
// take the lines as data (/dev/mem) or act when opened (a watchdog). Returns a blocking, close-on-exec descriptor,
// remembered as `what` until ForgetAppendFile; or -1 with `*reason` saying why.
int OpenAppendFile(const char* path, const char* what, const char** reason);

// The file open as `fd` is no longer appended to; called before it is closed.
void ForgetAppendFile(int fd);

// `what` of the file open for appending at `device` and `inode`, or nullptr.
const char* AppendedFileAt(dev_t device, ino_t inode);
