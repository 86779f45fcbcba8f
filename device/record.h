// The recorder behind AVRIG_RECORD (device/watch.cpp feeds it): writes DIR/board.target,
// a target file in the simulated target's language, and memory-N.bin files that its
// `load` lines place. Memory is streamed to disk; what is held stays small whatever
// the frame size and count.
#pragma once

#include <sys/types.h>

#include <cstdint>

// Creates the folder (it may exist if it is the running user's, empty and writable by
// nobody else) and the target file. False, after one line on standard error, when it cannot.
bool RecordStart(const char* dir, int argc, char** argv);
// Closes the files and names the target file board.target when the record is whole.
// False when it is not (one line on standard error said why).
bool RecordFinish();
// Takes back what RecordStart made, before anything was recorded: the target file, and
// the folder when the start made it.
void RecordDiscard();
// Whether the file at `device`, `inode` is the record's own target file, still unfinished.
bool RecordHolds(dev_t device, ino_t inode);

void RecordOpen(const char* path, bool opened);
void RecordClose(bool vip, bool closed);
// The outcome of any request: 0 accepted, else the errno it failed with.
void RecordOutcome(uint32_t code, int error);
// A VIP request's record before and after the call (`size` bytes each).
void RecordAnswer(uint32_t code, const uint8_t* before, const uint8_t* after, uint32_t size, bool accepted);
void RecordRegister(uint32_t address, uint32_t value);
// What AVRIG_MEM opened, a character device or not (the target file's `file`); why its
// mapping was not used, in the target file's words: a map failed with `error`, the
// mapping showed `value` at `address`.
void RecordMemoryNode(const char* path, bool characterDevice);
void RecordMapRefused(int error);
void RecordMappedWord(uint32_t address, uint32_t value);
void RecordMemory(uint32_t address, uint32_t value);
