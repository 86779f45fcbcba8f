// The simulated target behind a real kernel: serves the target's device nodes through CUSE
// (character devices in user space), so the shipped avrig, in a MIPS Linux guest, opens
// and requests real device nodes, while the same simulated drivers as avrig-sim answer and
// write the same log.
//
//   AVRIG_SIM_TARGET=FILE AVRIG_SIM_LOG=LOG [AVRIG_SIM_TRACE_MMIO=1] avrig-box-server READY
//       serves the nodes the target's `nodes` names; creates the file READY once they all
//       exist; serves until killed. When the target offers /dev/mem, the guest kernel's own
//       /dev/mem is it: the target's memory in the hole the box boots the kernel with
//       (physical kHoleStart..kHoleEnd, outside its RAM) is written there through /dev/mem
//       first, with the target's `mapword` words over it.
//   byte ARGS...   (called by that name) logs "shell byte ARGS" to AVRIG_SIM_LOG, as
//       avrig-sim logs the shell command the tool runs.
#include <fcntl.h>
#include <fuse3/cuse_lowlevel.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/mmio.h"
#include "device/requests.h"
#include "device/seam.h"
#include "sim/log.h"
#include "sim/sim.h"
#include "sim/state.h"

namespace {

// Whether a request passes the address of a record, which the server fetches from and
// stores back to the caller's memory. The request table says so, not the code's direction
// bits: a number travels under codes that announce a 4-byte record. Unknown codes pass
// as values; the simulated driver logs and refuses them itself.
bool TakesRecord(uint32_t node, uint32_t code) {
    if (node != sim::kNodeVip) {
        return code == MMIO_REG_READ || code == MMIO_REG_WRITE;
    }
    const VipRequest* request = FindVipRequest(code);
    return request != nullptr && request->arg == VipArg::kRecord;
}

struct Served {
    uint32_t node;
    const char* path;
    fuse_session* session = nullptr;
};

// One lock for the simulated target: the nodes' loops run in their own threads.
std::mutex g_target;
std::atomic<int> g_waiting{0};
const char* g_ready = nullptr;

uint32_t NodeOf(fuse_req_t req) { return static_cast<Served*>(fuse_req_userdata(req))->node; }

void Open(fuse_req_t req, fuse_file_info* fi) {
    const std::lock_guard<std::mutex> lock(g_target);
    const int descriptor = SeamOpen(sim::PathOfNode(NodeOf(req)), O_RDWR);
    if (descriptor < 0) {
        fuse_reply_err(req, errno);
        return;
    }
    fi->fh = static_cast<uint64_t>(descriptor);
    fuse_reply_open(req, fi);
}

void Release(fuse_req_t req, fuse_file_info* fi) {
    const std::lock_guard<std::mutex> lock(g_target);
    SeamClose(static_cast<int>(fi->fh));
    fuse_reply_err(req, 0);
}

void Ioctl(fuse_req_t req, int cmd, void* arg, fuse_file_info* fi, unsigned /*flags*/, const void* in,
           size_t inSize, size_t /*outSize*/) {
    const uint32_t code = static_cast<uint32_t>(cmd);
    uintptr_t passed = reinterpret_cast<uintptr_t>(arg);
    const bool record = TakesRecord(NodeOf(req), code) && passed != 0;
    const size_t size = record ? VipPayloadSize(code) : 0;
    if (record && inSize < size) {
        // Unrestricted ioctls arrive with no data: ask the kernel to fetch the record and
        // to take it back afterwards.
        iovec iov{arg, size};
        fuse_reply_ioctl_retry(req, &iov, 1, &iov, 1);
        return;
    }
    std::vector<uint8_t> buffer;
    if (record) {
        buffer.assign(static_cast<const uint8_t*>(in), static_cast<const uint8_t*>(in) + size);
        passed = reinterpret_cast<uintptr_t>(buffer.data());
    }
    int result = 0;
    int error = 0;
    {
        const std::lock_guard<std::mutex> lock(g_target);
        result = SeamIoctl(static_cast<int>(fi->fh), code, passed);
        error = errno;
    }
    if (result < 0) {
        fuse_reply_err(req, error);
        return;
    }
    fuse_reply_ioctl(req, result, buffer.data(), buffer.size());
}

// The drivers take requests only. A read or write on a node is the tool's text gone astray
// (a standard descriptor handed to a node): logged, a line avrig-sim never writes, so the
// comparison of the two logs shows it; and refused.
void Astray(fuse_req_t req, const char* what, size_t size) {
    {
        const std::lock_guard<std::mutex> lock(g_target);
        sim::LogLine("%s %s %zu bytes", what, sim::PathOfNode(NodeOf(req)), size);
    }
    fuse_reply_err(req, EINVAL);
}

void Read(fuse_req_t req, size_t size, off_t /*offset*/, fuse_file_info* /*fi*/) { Astray(req, "read", size); }

void Write(fuse_req_t req, const char* /*buf*/, size_t size, off_t /*offset*/, fuse_file_info* /*fi*/) {
    Astray(req, "write", size);
}

void InitDone(void* /*userdata*/) {
    if (--g_waiting == 0) {
        const int ready = open(g_ready, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (ready >= 0) {
            close(ready);
        }
    }
}

// Physical memory the box's kernel leaves alone (board-box boots it with
// mem=64M@0 mem=32M@96M): the memory node's frames lie there.
constexpr uint32_t kHoleStart = 0x04000000;
constexpr uint32_t kHoleEnd = 0x06000000;

// The target's memory in the hole, through the kernel's /dev/mem: zeros where the target
// holds nothing, then the target's words, then the words its mapping shows differently.
bool WriteMemoryHole() {
    const int node = open("/dev/mem", O_RDWR | O_SYNC | O_CLOEXEC);
    if (node < 0) {
        std::fprintf(stderr, "avrig-box-server: cannot open /dev/mem: %s\n", std::strerror(errno));
        return false;
    }
    const uint32_t length = kHoleEnd - kHoleStart;
    void* mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, node, kHoleStart);
    close(node);
    if (mapped == MAP_FAILED) {
        std::fprintf(stderr, "avrig-box-server: cannot map the hole at 0x%08x: %s\n", static_cast<unsigned>(kHoleStart),
                     std::strerror(errno));
        return false;
    }
    auto* words = static_cast<volatile uint32_t*>(mapped);
    sim::Target& target = sim::GetState().target;
    sim::Memory& memory = target.memory;
    for (uint32_t k = 0; k < length / 4u; ++k) {
        words[k] = 0;
    }
    // Only what the target placed: its computed buffers and its pages of words.
    auto copy = [&](uint32_t start, uint32_t end) {
        start = start < kHoleStart ? kHoleStart : start;
        end = end > kHoleEnd ? kHoleEnd : end;
        for (uint32_t address = start & ~3u; address < end; address += 4u) {
            words[(address - kHoleStart) / 4u] = sim::MemoryRead(&memory, address);
        }
    };
    for (const sim::ComputedBuffer& buffer : memory.buffers) {
        copy(buffer.base, buffer.base + buffer.size);
    }
    for (uint32_t page = kHoleStart / sim::kPageBytes; page < kHoleEnd / sim::kPageBytes; ++page) {
        const std::unique_ptr<sim::PageBlock>& block = memory.blocks[page / sim::kBlockPages];
        if (block && block->pages[page % sim::kBlockPages]) {
            copy(page * sim::kPageBytes, (page + 1u) * sim::kPageBytes);
        }
    }
    for (const sim::MappedWord& word : target.mappedWords) {
        if (word.phys >= kHoleStart && word.phys < kHoleEnd) {
            words[(word.phys - kHoleStart) / 4u] = word.value;
        }
    }
    munmap(mapped, length);
    return true;
}

int LogShellCommand(int argc, char** argv) {
    const char* log = std::getenv("AVRIG_SIM_LOG");
    if (log == nullptr || *log == '\0') {
        return 0;
    }
    const char* reason = nullptr;
    if (!sim::LogToFile(log, &reason)) {
        std::fprintf(stderr, "byte: %s: cannot open the log: %s\n", log, reason);
        return 1;
    }
    std::string command = "byte";
    for (int i = 1; i < argc; ++i) {
        command += ' ';
        command += argv[i];
    }
    SeamSystem(command.c_str());
    return sim::LogClose() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const char* slash = std::strrchr(argv[0], '/');
    if (std::strcmp(slash == nullptr ? argv[0] : slash + 1, "byte") == 0) {
        return LogShellCommand(argc, argv);
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: avrig-box-server READY_FILE\n");
        return 2;
    }
    g_ready = argv[1];

    // The target, the log and the trace switch exactly as avrig-sim takes them.
    sim::Reset();
    if (!sim::LoadFromEnvironment("avrig-box-server")) {
        return 2;
    }

    if ((sim::GetState().target.nodes & sim::kNodeMemory) != 0 && !WriteMemoryHole()) {
        return 1;
    }

    cuse_lowlevel_ops ops{};
    ops.init_done = InitDone;
    ops.open = Open;
    ops.release = Release;
    ops.ioctl = Ioctl;
    ops.read = Read;
    ops.write = Write;

    std::vector<Served> served;
    for (uint32_t node : {sim::kNodeVip, sim::kNodeMmioDebug, sim::kNodeMmio}) {
        if ((sim::GetState().target.nodes & node) != 0) {
            served.push_back(Served{node, sim::PathOfNode(node)});
        }
    }
    g_waiting = static_cast<int>(served.size()) + 1;
    for (Served& one : served) {
        const std::string name = std::string("DEVNAME=") + (std::strrchr(one.path, '/') + 1);
        const char* info[] = {name.c_str()};
        cuse_info ci{};
        ci.dev_info_argc = 1;
        ci.dev_info_argv = info;
        ci.flags = CUSE_UNRESTRICTED_IOCTL;
        char program[] = "avrig-box-server";
        char foreground[] = "-f";
        char* args[] = {program, foreground, nullptr};
        int multithreaded = 0;
        one.session = cuse_lowlevel_setup(2, args, &ci, &ops, &multithreaded, &one);
        if (one.session == nullptr) {
            std::fprintf(stderr, "avrig-box-server: cannot serve %s\n", one.path);
            return 1;
        }
    }
    // The library's handlers would only end one loop: let a signal end the process, and
    // with it every node.
    for (int number : {SIGHUP, SIGINT, SIGTERM}) {
        std::signal(number, SIG_DFL);
    }
    std::vector<std::thread> loops;
    for (Served& one : served) {
        loops.emplace_back([&one] { fuse_session_loop(one.session); });
    }
    InitDone(nullptr);  // covers a target with no nodes at all
    for (std::thread& loop : loops) {
        loop.join();
    }
    return 0;
}
