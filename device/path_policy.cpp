#include "device/path_policy.h"

#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

const char kSwapped[] = "it was replaced while it was opened";
const char kNotTerminal[] = "it is a device other than a terminal or /dev/null";
const char kLink[] = "it is a link";
const char kNotEmptyFolder[] = "it is not an empty folder";

namespace {

const char* KindRefusal(mode_t mode) {
    if (S_ISLNK(mode)) {
        return kLink;
    }
    if (S_ISFIFO(mode)) {
        return "it is a FIFO";
    }
    if (S_ISSOCK(mode)) {
        return "it is a socket";
    }
    return S_ISDIR(mode) ? "it is a folder" : nullptr;
}

}  // namespace

bool Numbered(dev_t device, unsigned majorNumber, unsigned minorNumber) {
    return major(device) == majorNumber && minor(device) == minorNumber;
}

bool TerminalNumbers(dev_t device) {
    const unsigned number = major(device);
    return number == 4 || (number == 5 && minor(device) <= 1) || (number >= 136 && number <= 143);
}

bool TerminalNode(const struct stat& info) {
    if (!S_ISCHR(info.st_mode)) {
        return false;
    }
    if (TerminalNumbers(info.st_rdev)) {
        return true;
    }
    char path[64];
    std::snprintf(path, sizeof path, "/sys/dev/char/%u:%u/subsystem", static_cast<unsigned>(major(info.st_rdev)),
                  static_cast<unsigned>(minor(info.st_rdev)));
    char target[256];
    const ssize_t length = readlink(path, target, sizeof target - 1);
    if (length <= 0) {
        return false;
    }
    target[length] = '\0';
    const char* slash = std::strrchr(target, '/');
    // /dev/ptmx (5:2) is of class tty too, but opening it makes a new pseudo-terminal.
    return !Numbered(info.st_rdev, 5, 2) && std::strcmp(slash != nullptr ? slash + 1 : target, "tty") == 0;
}

const char* Refusal(const struct stat& info, Rule rule, uid_t user, bool terminal) {
    const mode_t mode = info.st_mode;
    if (rule == Rule::kMemory) {
        if (S_ISLNK(mode)) {
            return kLink;
        }
        if (!S_ISCHR(mode)) {
            return "it is not a character device";
        }
        return Numbered(info.st_rdev, 1, 1) ? nullptr : "it is not the physical memory device";
    }
    if (rule == Rule::kFolder) {
        if (S_ISLNK(mode)) {
            return kLink;
        }
        if (!S_ISDIR(mode)) {
            return kNotEmptyFolder;
        }
    } else if (S_ISCHR(mode)) {
        return terminal || Numbered(info.st_rdev, 1, 3) ? nullptr : kNotTerminal;
    } else if (!S_ISREG(mode)) {
        const char* kind = KindRefusal(mode);
        return kind != nullptr ? kind : kNotTerminal;
    } else if (info.st_nlink > 1) {
        // O_NOFOLLOW stops a symbolic link, not a hard link planted to a file of root's.
        return "it has other names (hard links)";
    }
    if (info.st_uid != user) {
        return "it belongs to another user";
    }
    if ((mode & (S_IWGRP | S_IWOTH)) != 0) {
        // Whoever else may write it could rewrite what the run wrote (or, for a folder, swap
        // the files in it).
        return rule == Rule::kFolder ? "others can write to it" : "bad permissions: group or others may write it";
    }
    return nullptr;
}

const char* PathRefusal(const struct stat& info, Rule rule) {
    return Refusal(info, rule, geteuid(), rule == Rule::kLines && TerminalNode(info));
}
