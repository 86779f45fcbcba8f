// The simulated target's entry: reads AVRIG_SIM_TARGET / AVRIG_SIM_LOG /
// AVRIG_SIM_TRACE_MMIO, loads the target (exit status 2 on a bad target file) and runs
// the tool against it.
#pragma once

#include <string>

// Callable any number of times in one process: every run starts from a clean target.
int SimMain(int argc, char** argv);

// Direct control of the simulated target, for tests and fuzzers that drive the seam
// (device/seam.h, device/mmio.h) themselves.
namespace sim {

// Forgets the target, the open nodes and the log: no node exists until a target loads.
void Reset();

// Replaces the target with one made from `text`; `name` is what error messages call the
// file, `folder` where `load` names are found. On failure `*error` is
// "NAME:LINE: REASON" and the target is left as it was.
bool LoadTargetText(const std::string& name, const std::string& folder, const std::string& text,
                    std::string* error);

// The same, from a file; an unreadable file gives "PATH:0: cannot read".
bool LoadTargetFile(const std::string& path, std::string* error);

// The built-in default target (the text of sim/targets/default.target).
bool LoadDefaultTarget(std::string* error);
const std::string& DefaultTargetText();

// Where the event log goes: a file (appended, opened as the trace is; false with
// `*reason` when it cannot be), a string, or nowhere (both nullptr).
bool LogToFile(const char* path, const char** reason);
void LogToMemory(std::string* sink);

// One log line per register-access request.
void SetTraceMmio(bool on);

// The target, the log and the register trace as AVRIG_SIM_TARGET, AVRIG_SIM_LOG and
// AVRIG_SIM_TRACE_MMIO say; false, with one line on standard error naming `program`,
// when the target or the log cannot be used.
bool LoadFromEnvironment(const char* program);

}  // namespace sim
