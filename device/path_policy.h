// What each path the tool is given may be. Root runs the tool in folders others can write,
// and some nodes act when merely opened (a watchdog starts, a modem dials): so the node at
// a path is judged from lstat before it is opened, and the open descriptor from fstat after,
// by the same rules, with every reason said in one place.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>

enum class Rule : uint8_t {
    kLines,   // the trace, the simulated target's log: a file of the user's, a terminal, /dev/null
    kMemory,  // AVRIG_MEM: the kernel's physical memory device
    kFolder,  // the record folder: a folder of the user's that nobody else may write
};

// Why `info` (from lstat or fstat) may not serve `rule`; nullptr when it may. `terminal`:
// a character device `info` names is a terminal (TerminalNode). Pure: it reads nothing.
const char* Refusal(const struct stat& info, Rule rule, uid_t user, bool terminal);

// Whether `device` is the character device numbered majorNumber:minorNumber (1:3 /dev/null,
// 1:1 the physical memory).
bool Numbered(dev_t device, unsigned majorNumber, unsigned minorNumber);

// The kernel's fixed numbers for a terminal: 4 (virtual consoles, serial ports), 5:0 (the
// controlling terminal), 5:1 (the console), 136-143 (pseudo-terminals).
bool TerminalNumbers(dev_t device);

// A character device whose class is tty in /sys/dev/char, or with a terminal's fixed
// numbers (sysfs may not be mounted, and pseudo-terminals are not listed there).
bool TerminalNode(const struct stat& info);

// Refusal for the running user, with the node's class looked up.
const char* PathRefusal(const struct stat& info, Rule rule);

// The descriptor's node is no longer the one lstat judged: something was swapped in between.
extern const char kSwapped[];
// A character device that is neither a terminal nor /dev/null.
extern const char kNotTerminal[];
extern const char kLink[];
extern const char kNotEmptyFolder[];
