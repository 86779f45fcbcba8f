// Output file names: the requested name, or with several files (one per frame) the name
// with "_NNN" before its extension. Frames from 1000 on get four digits, so that no
// frame's file replaces another's. A capture into one stream has the one name.
#pragma once

#include <cstddef>
#include <cstdint>

#include "memget/capture_descriptor.h"

constexpr int32_t kMaxFrameCount = 1200;

// Whether `name` writes the capture's stream to standard output instead of a file: a
// row's standard-output name (memget/output_formats.h).
bool IsStandardOutputName(const char* name);

// How long a requested name may be so that every name of a capture writing `files` files
// fits the 40-byte name buffer with its terminator.
size_t LongestRequestName(int32_t files);

// Whether `name` has at most `limit` characters; when not, prints the refusal with the
// longest name a capture of `count` frames into `files` files allows.
bool NameFits(const char* name, size_t limit, int32_t count, int32_t files);

// Writes the name of file `index` of `files` into `name` (kFileNameSize bytes, zero-filled
// first). `requested` must pass LongestRequestName.
void FrameName(char (&name)[kFileNameSize], const char* requested, int32_t index, int32_t files);
