// Every kind of node against every rule, judged as the tool judges it: from lstat, before
// anything is opened.
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "device/append_file.h"
#include "device/path_policy.h"
#include "gtest/gtest.h"
#include "tests/support.h"

namespace {

const std::string kOk = "";
const std::string kNotCharacter = "it is not a character device";
const std::string kNotMemory = "it is not the physical memory device";
const std::string kNotFolder = "it is not an empty folder";
const std::string kOthersWrite = "bad permissions: group or others may write it";

std::string Shown(const char* reason) { return reason != nullptr ? reason : ""; }

TEST(PathPolicy, EveryKindOfNodeAgainstEveryRule) {
    const support::TempDir scratch;
    const std::string dir = scratch.Path() + "/";
    ASSERT_TRUE(support::WriteFile(dir + "own", "x") && support::WriteFile(dir + "shared", "x") &&
                support::WriteFile(dir + "nobodys", "x"));
    ASSERT_EQ(chmod((dir + "own").c_str(), 0644) | chmod((dir + "shared").c_str(), 0666) |
                  symlink("own", (dir + "link").c_str()) | link((dir + "nobodys").c_str(), (dir + "hard").c_str()) |
                  mkfifo((dir + "fifo").c_str(), 0600) | mkdir((dir + "folder").c_str(), 0755) |
                  mkdir((dir + "open folder").c_str(), 0755) | chmod((dir + "open folder").c_str(), 0777),
              0);
    const int sock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%ssocket", dir.c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(master != -1 && grantpt(master) == 0 && unlockpt(master) == 0);
    const std::string terminal = ptsname(master);
    const bool root = geteuid() == 0 && chown((dir + "nobodys").c_str(), 65534, 65534) == 0;
    const struct {
        std::string path;
        std::string lines, memory, folder;  // the reasons, "" where it is taken
    } cases[] = {
        {dir + "own", kOk, kNotCharacter, kNotFolder},
        {dir + "link", "it is a link", "it is a link", "it is a link"},
        {dir + "fifo", "it is a FIFO", kNotCharacter, kNotFolder},
        {dir + "socket", "it is a socket", kNotCharacter, kNotFolder},
        {dir + "folder", "it is a folder", kNotCharacter, kOk},
        {dir + "open folder", "it is a folder", kNotCharacter, "others can write to it"},
        {terminal, kOk, kNotMemory, kNotFolder},
        {"/dev/null", kOk, kNotMemory, kNotFolder},
        {"/dev/zero", kNotTerminal, kNotMemory, kNotFolder},
        {"/dev/full", kNotTerminal, kNotMemory, kNotFolder},
        {dir + "hard", "it has other names (hard links)", kNotCharacter, kNotFolder},
        {dir + "shared", kOthersWrite, kNotCharacter, kNotFolder},
        {dir + "nobodys", root ? "it has other names (hard links)" : "", kNotCharacter, kNotFolder},
    };
    for (const auto& c : cases) {
        struct stat info {};
        ASSERT_EQ(lstat(c.path.c_str(), &info), 0) << c.path;
        EXPECT_EQ(Shown(PathRefusal(info, Rule::kLines)), c.lines) << c.path;
        EXPECT_EQ(Shown(PathRefusal(info, Rule::kMemory)), c.memory) << c.path;
        EXPECT_EQ(Shown(PathRefusal(info, Rule::kFolder)), c.folder) << c.path;
        // The trace is opened by the same rule, and only what it takes is opened.
        const char* reason = nullptr;
        const int fd = c.path.find("nobodys") == std::string::npos ? OpenAppendFile(c.path.c_str(), "x", &reason) : -1;
        if (fd != -1) {
            EXPECT_EQ(c.lines, kOk) << c.path;
            ForgetAppendFile(fd);
            close(fd);
        } else if (c.path.find("nobodys") == std::string::npos) {
            EXPECT_EQ(Shown(reason), c.lines) << c.path;
        }
    }
    // Another user's file, with no other name; the physical memory device, as lstat shows it.
    struct stat info {};
    ASSERT_EQ(lstat((dir + "nobodys").c_str(), &info), 0);
    info.st_nlink = 1;
    info.st_uid = 65534;
    EXPECT_EQ(Shown(Refusal(info, Rule::kLines, 0, false)), "it belongs to another user");
    info.st_mode = S_IFDIR | 0755;
    EXPECT_EQ(Shown(Refusal(info, Rule::kFolder, 0, false)), "it belongs to another user");
    info.st_mode = S_IFCHR | 0640;
    info.st_rdev = makedev(1, 1);
    EXPECT_EQ(Shown(Refusal(info, Rule::kMemory, 0, false)), kOk);
    EXPECT_EQ(Shown(Refusal(info, Rule::kLines, 0, false)), kNotTerminal);
    close(master);
    close(sock);
}

// Where sysfs is not mounted, the kernel's fixed numbers still tell a terminal.
TEST(PathPolicy, TerminalsByTheirFixedNumbers) {
    const struct {
        unsigned major, minor;
        bool terminal;
    } cases[] = {
        {4, 0, true},    {4, 64, true},  {5, 0, true},    {5, 1, true},   {5, 2, false},  {136, 0, true},
        {143, 255, true}, {135, 0, false}, {144, 0, false}, {1, 3, false}, {10, 130, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TerminalNumbers(makedev(c.major, c.minor)), c.terminal) << c.major << ":" << c.minor;
    }
}

// Opening a node may act (a watchdog starts): a device the trace refuses is never opened.
TEST(PathPolicy, ARefusedDeviceIsNeverOpened) {
    // A node of the test's own (1:5, as /dev/zero): the watch is on its inode, so what
    // other processes open through /dev/zero does not show in it.
    const support::TempDir scratch;
    const std::string zero = scratch.Path() + "/zero";
    if (mknod(zero.c_str(), S_IFCHR | 0600, makedev(1, 5)) != 0) {
        GTEST_SKIP() << "making a device node needs root";
    }
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_NE(watch, -1);
    ASSERT_NE(inotify_add_watch(watch, zero.c_str(), IN_OPEN), -1);
    char events[4096];
    const char* reason = nullptr;
    EXPECT_EQ(OpenAppendFile(zero.c_str(), "the trace", &reason), -1);
    EXPECT_EQ(Shown(reason), kNotTerminal);
    EXPECT_EQ(read(watch, events, sizeof events), -1) << zero << " was opened";
    const int seen = open(zero.c_str(), O_RDONLY | O_CLOEXEC);  // the watch does see an open
    if (seen >= 0) {  // not on a file system mounted nodev
        EXPECT_GT(read(watch, events, sizeof events), 0);
        close(seen);
    }
    close(watch);
    // What is refused after its open is closed again.
    int taken[4];
    for (int& fd : taken) {
        fd = OpenAppendFile("/dev/null", "x", &reason);
    }
    const int next = dup(0);
    close(next);
    EXPECT_EQ(OpenAppendFile("/dev/null", "x", &reason), -1);
    EXPECT_EQ(Shown(reason), "too many files are appended to at once");
    const int after = dup(0);
    EXPECT_EQ(after, next) << "the refused descriptor is still open";
    close(after);
    for (const int fd : taken) {
        ForgetAppendFile(fd);
        close(fd);
    }
}

}  // namespace
