// Entry of the tool: open the VIP driver, walk the command line in pairs, send the
// deferred requests, close.
#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "avrig/avrig_main.h"
#include "avrig/control.h"
#include "report/report.h"
#include "device/requests.h"
#include "device/watch.h"

bool SendVip(Walk& walk, uint32_t code, uintptr_t arg) {
    if (DeviceIoctl(walk.vipFd, code, arg) != -1) {
        return true;
    }
    const int reason = errno;
    const VipRequest* request = FindVipRequest(code);
    Complain("request 0x%08x (%s) failed: %s", static_cast<unsigned>(code),
             request != nullptr ? request->name : "unknown", std::strerror(reason));
    walk.failed = true;
    return false;
}

void PrintUsage() {
    std::puts("Usage:");
    std::puts("./avrig [-s %d -a %d -v%d %d]");
    std::fputs("[-s]: chamge source, range 0~7.", stdout);
    std::fputs("[-a]: chamge wide, range 0~7. there are 16x9, 4x3, zoom1, zoom2, panorama, auto, game mode, native.",
               stdout);
    std::puts("Example:");
    std::puts("./avrig -s 5");
    std::puts("./avrig -a 2");
    std::puts("./avrig -s 5 -a 2");
}

namespace {

int Run(int argc, char** argv) {
    // The walk holds every record the driver reads or answers, for the whole run.
    Walk walk{argc, argv, 1, -1, ControlSettings{}, VipRecords{}, false};

    // Close-on-exec: the shell commands the tool runs have no business with the driver.
    walk.vipFd = DeviceOpen(kVipDevice, O_RDWR | O_CLOEXEC);
    if (walk.vipFd < 0) {
        std::puts("open vip driver error!!");
        return -1;
    }
    if (argc >= 2 && std::strncmp(argv[1], "-h", 2) == 0) {
        PrintUsage();
        walk.i = 2;  // the help word is not also the height option
    }
    for (; walk.i < argc; walk.i += 2) {
        HandleWord(walk);
    }
    SendDeferredRequests(walk);

    const int closed = DeviceClose(walk.vipFd);
    return walk.failed ? 1 : closed;
}

}  // namespace

int AvrigMain(int argc, char** argv) {
    if (!OpenStandardDescriptors()) {
        return 1;
    }
    const StreamOnStandardOutput stream(argc, argv);
    if (stream.Refused()) {
        return 1;
    }
    const FileSizeLimitFailsWrites fileSizeLimit;
    if (!WatchStart(argc, argv)) {
        return 1;
    }
    const int status = Run(argc, argv);
    // A run that failed keeps its own status; one that did not is no success without its trace or record.
    const bool whole = WatchFinish();
    return CheckOutputStreams(status == 0 && !whole ? 1 : status);
}
