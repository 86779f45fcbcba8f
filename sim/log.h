// The simulated target's event log: one line per event, appended to the file that
// AVRIG_SIM_LOG names (or to a string, for tests and fuzzers), flushed line by line so a
// crash still leaves the lines before it.
#pragma once

#include <string>

namespace sim {

// Appends to `path`, creating it if missing, as the trace does (device/append_file.h).
// False, with `*reason`, when it cannot be opened.
bool LogOpen(const char* path, const char** reason);

// Sends the lines to `*sink` instead (nullptr: no log).
void LogToString(std::string* sink);

// Stops logging and closes the file. False when a line could not be written (standard
// error said so the moment it happened).
bool LogClose();

bool LogEnabled();

// One line; the line end is added.
void LogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace sim
