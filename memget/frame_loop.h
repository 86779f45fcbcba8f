// What the frame loop shares with the JPEG dump: the banner lines, reading a window's
// end and start registers, and writing one output file.
#pragma once

#include <cstdint>

#include "memget/capture_descriptor.h"

// "==============================>" and the title, on its own line.
void Banner(const char* title);

// Reads the end register, then the start register; true when both were read.
bool ReadRegisterPair(uint32_t endRegister, uint32_t startRegister, uint32_t* end, uint32_t* start);

enum class FileOutcome {
    kWritten,     // complete under its name
    kNotWritten,  // the writer or the device failed; the name keeps what it held
    kNotCreated,  // the file could not be created or given its name; the name keeps what it held
};

using FileWriter = int (*)(CaptureDescriptor* desc, const void* context);

// Writes the file `name` with `write` (handed desc, with pFile open, and `context`)
// through an OutputFile, so the name gets the whole file or keeps what it held. A file
// not written is named on standard error with the reason; `cannotCreate` is printed on
// standard output first when the file could not be created. The name "-.y4m" is standard
// output instead: written as it goes, a failed write told as "standard output: REASON"; a
// second such stream in a run is refused before `write` runs.
FileOutcome WriteOutputFile(CaptureDescriptor* desc, const char* name, const char* cannotCreate, FileWriter write,
                            const void* context);

// A run starts with standard output free of streams.
void ForgetStandardOutputStream();
