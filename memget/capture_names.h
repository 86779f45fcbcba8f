// Frame file names: the requested name, or with several frames the name with "_NNN"
// before its extension. Frames from 1000 on get four digits, so that no frame's file
// replaces another's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "memget/capture_descriptor.h"

constexpr int32_t kMaxFrameCount = 1200;

// How long a requested name may be so that every frame name of a capture of `count`
// frames fits the 40-byte name buffer with its terminator.
size_t LongestRequestName(int32_t count);

// Whether `name` has at most `limit` characters; when not, prints the refusal with the
// longest name a capture of `count` frames allows.
bool NameFits(const char* name, size_t limit, int32_t count);

// Writes the name of frame `index` of `count` into `name` (kFileNameSize bytes, zero-filled
// first). `requested` must pass LongestRequestName.
void FrameName(char (&name)[kFileNameSize], const char* requested, int32_t index, int32_t count);
