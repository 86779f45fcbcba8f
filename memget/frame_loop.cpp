// One capture: probe the capture registers, describe the frames, then write every frame to
// its own file or all into one stream, or dump the JPEG engine's buffer when that is
// active. Everything that can refuse the capture is decided before the first file is
// created, so a refused capture leaves the folder as it was.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "device/append_file.h"
#include "device/mmio.h"
#include "report/report.h"
#include "device/watch.h"
#include "memget/capture.h"
#include "memget/capture_names.h"
#include "memget/capture_registers.h"
#include "memget/frame_loop.h"
#include "memget/frame_mapping.h"
#include "memget/frame_writers.h"
#include "memget/output_file.h"
#include "memget/output_formats.h"

void Banner(const char* title) { std::printf("==============================>%s\n", title); }

bool ReadRegisterPair(uint32_t endRegister, uint32_t startRegister, uint32_t* end, uint32_t* start) {
    return RegReadWord(endRegister, end) && RegReadWord(startRegister, start);
}

namespace {

void ReportNotWritten(const char* name, const char* reason) {
    Complain("%s was not written: %s", Printable(name).c_str(), reason);
}

// Standard output took a stream in this run: a second would follow it, header and all.
bool gStreamWritten = false;

// The stream's writes: all of every buffer, waiting for room when a parent left the pipe
// non-blocking, as a filter does. 0 with errno set when a write fails.
ssize_t WriteWhole(void* cookie, const char* data, size_t size) {
    const int descriptor = static_cast<int>(reinterpret_cast<intptr_t>(cookie));
    for (size_t done = 0; done < size;) {
        const ssize_t n = write(descriptor, data + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        pollfd room{descriptor, POLLOUT, 0};
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && (poll(&room, 1, -1) >= 0 || errno == EINTR)) {
            continue;
        }
        errno = n == 0 ? EIO : errno;
        return 0;
    }
    return static_cast<ssize_t>(size);
}

int CloseDescriptor(void* cookie) { return close(static_cast<int>(reinterpret_cast<intptr_t>(cookie))); }

// The stream on standard output: nothing to create, rename or remove; it goes out as it is
// written. Its own stream on a duplicate of the descriptor, closed here, so a write that
// failed is told once, here, and leaves nothing behind for the end-of-run check. One a
// run: a second would be read as part of the first.
FileOutcome WriteStandardOutput(CaptureDescriptor* desc, FileWriter write, const void* context) {
    if (gStreamWritten) {
        Complain("standard output: it holds an earlier capture's stream; a run writes one stream there");
        return FileOutcome::kNotWritten;
    }
    std::fflush(stdout);  // when no front end keeps the text apart, it goes first
    const int set = StandardOutputStream();
    const int descriptor = fcntl(set >= 0 ? set : STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    FILE* const stream =
        descriptor >= 0
            ? fopencookie(reinterpret_cast<void*>(static_cast<intptr_t>(descriptor)), "w",
                          cookie_io_functions_t{nullptr, WriteWhole, nullptr, CloseDescriptor})
            : nullptr;
    if (stream == nullptr) {
        const int reason = errno;
        if (descriptor >= 0) {
            close(descriptor);
        }
        Complain("standard output: %s", std::strerror(reason));
        return FileOutcome::kNotWritten;
    }
    // Standard output redirected into the trace or the log would take their lines amid the
    // stream's: refused, as a frame's name that holds one is, before any memory is read.
    struct stat target {};
    const char* appended = fstat(descriptor, &target) == 0 && S_ISREG(target.st_mode)
                               ? AppendedFileAt(target.st_dev, target.st_ino)
                               : nullptr;
    if (appended != nullptr) {
        std::fclose(stream);
        Complain("standard output: it is %s", appended);
        return FileOutcome::kNotWritten;
    }
    gStreamWritten = true;
    desc->pFile = stream;
    const bool written = write(desc, context) != 0;
    int reason = errno;  // what the stream met, when it met something
    bool failed = std::ferror(stream) != 0;
    desc->pFile = nullptr;
    if (written && !failed && std::fflush(stream) != 0) {
        failed = true;
        reason = errno;
    }
    if (std::fclose(stream) != 0 && written && !failed) {
        failed = true;
        reason = errno;  // a file system that tells of a failed write at the close
    }
    if (written && !failed) {
        return FileOutcome::kWritten;
    }
    Complain("standard output: %s", failed ? std::strerror(reason) : "the writer refused the frame");
    return FileOutcome::kNotWritten;
}

}  // namespace

void ForgetStandardOutputStream() { gStreamWritten = false; }

FileOutcome WriteOutputFile(CaptureDescriptor* desc, const char* name, const char* cannotCreate, FileWriter write,
                            const void* context) {
    if (IsStandardOutputName(name)) {
        return WriteStandardOutput(desc, write, context);
    }
    OutputFile file;
    if (!file.Create(name)) {
        const int reason = errno;
        if (file.AppendedThere() != nullptr) {
            // Refused before its memory is read; the capture goes on as after a failed write.
            Complain("%s was not written: it is %s", Printable(name).c_str(), file.AppendedThere());
            return FileOutcome::kNotWritten;
        }
        std::fputs(cannotCreate, stdout);
        ReportNotWritten(name, std::strerror(reason));
        return FileOutcome::kNotCreated;
    }
    desc->pFile = file.Stream();
    const bool written = write(desc, context) != 0;
    const int reason = errno;  // what the stream met, when it met something
    const bool streamFailed = std::ferror(desc->pFile) != 0;
    desc->pFile = nullptr;
    if (!written) {
        file.Abandon();
        ReportNotWritten(name, streamFailed ? std::strerror(reason) : "the writer refused the frame");
        return FileOutcome::kNotWritten;
    }
    if (!file.Finish()) {
        ReportNotWritten(name, std::strerror(errno));
        return FileOutcome::kNotWritten;
    }
    if (!file.Place()) {
        const int placeReason = errno;
        std::fputs(cannotCreate, stdout);
        ReportNotWritten(name, std::strerror(placeReason));
        return FileOutcome::kNotCreated;
    }
    return FileOutcome::kWritten;
}

namespace {

struct Layout {
    uint32_t colorSpace;
    uint32_t encodeMode;
};

// One flag byte per layout, in the order they are tested.
constexpr Layout kLayouts[] = {
    {kColorSpace444, kEncodeChroma10},  // YUV_444C10
    {kColorSpace444, kEncodeChroma8},   // YUV_444C8
    {kColorSpace422, kEncodeChroma10},  // YUV_422C10
    {kColorSpace422, kEncodeChroma8},   // YUV_422C8
};

struct Probe {
    uint32_t lineOffsetY = 0;
    uint32_t lineOffsetUV = 0;
    uint32_t height = 0;
    uint32_t captureWidth = 0;
    uint32_t panelWidth = 0;
    const Layout* layout = nullptr;
};

// Reads geometry and layout; false (with its message printed) when the registers make no
// sense for a capture.
bool ProbeGeometry(Probe& probe) {
    uint8_t byte = 0;
    RegReadByte(kRegLineOffsetY, &byte);
    probe.lineOffsetY = byte * 256u;
    byte = 0;
    RegReadByte(kRegLineOffsetUV, &byte);
    probe.lineOffsetUV = byte * 256u;
    uint32_t word = 0;
    RegReadWord(kRegHeight, &word);
    probe.height = word & 0xfffu;
    if (probe.lineOffsetY == 0 || probe.height == 0) {
        std::puts("Function gets wrong register value(s) !");
        return false;
    }

    uint32_t end = 0;
    uint32_t start = 0;
    if (ReadRegisterPair(kRegCaptureEnd, kRegCaptureStart, &end, &start)) {
        probe.captureWidth = (end & 0xfffu) - (start & 0xfffu);
    }
    if (ReadRegisterPair(kRegPanelEnd, kRegPanelStart, &end, &start)) {
        probe.panelWidth = ((end & 0x7ffu) - (start & 0x1ffu)) * 2u;
    }

    for (uint32_t k = 0; k < 4; ++k) {
        uint8_t flag = 0;
        if (RegReadByte(kRegFormatFlags + k, &flag) && (flag & 1u)) {
            probe.layout = &kLayouts[k];
            break;
        }
    }
    if (probe.layout == nullptr) {
        std::puts("Unkown color space or encode type");
        return false;
    }
    return true;
}

// Completes the descriptor from the probe and prints the information block.
void Describe(CaptureDescriptor* desc, bool interlaced, const Probe& probe) {
    const uint32_t width = probe.captureWidth < probe.panelWidth ? probe.captureWidth : probe.panelWidth;
    desc->uiInterlace = interlaced ? 1 : 0;
    desc->uiLineOffsetY = probe.lineOffsetY;
    desc->uiLineOffsetUV = probe.lineOffsetUV;
    desc->uiHeight = probe.height;
    desc->uiWidth = width;
    desc->uiRowBytes = 3u * width;
    desc->uiEncodeMode = probe.layout->encodeMode;
    desc->uiColorSpace = probe.layout->colorSpace;

    Banner("Informaiton");
    std::printf("Device ID: %d \n", static_cast<int>(desc->uiDeviceId));
    std::printf("Interlace: %d\n", static_cast<int>(desc->uiInterlace));
    std::printf("Width: %d, Height: %d\n", static_cast<int>(desc->uiWidth), static_cast<int>(desc->uiHeight));
    std::printf("Capture Width: %d, Panel Width: %d\n", static_cast<int>(probe.captureWidth),
                static_cast<int>(probe.panelWidth));
    std::printf("Line Offset Y: %d, Line Offset UV: %d\n", static_cast<int>(desc->uiLineOffsetY),
                static_cast<int>(desc->uiLineOffsetUV));
    std::printf("Color space is %d\n", static_cast<int>(desc->uiColorSpace));
    std::printf("Encode mode is %d\n", static_cast<int>(desc->uiEncodeMode));
    std::printf("address Y: %#x, address UV: %#x\n", static_cast<unsigned>(desc->uiAddrY),
                static_cast<unsigned>(desc->uiAddrUV));
    std::printf("size Y: %#x, size UV: %#x\n", static_cast<unsigned>(desc->uiSizeY),
                static_cast<unsigned>(desc->uiSizeUV));
    Banner("Informaiton");
}

// Called with the frame's file created: only then is the frame mapped and read.
int WriteFrame(CaptureDescriptor* desc, const void* format) {
    const FrameMapping mapping(desc);
    return static_cast<const OutputFormat*>(format)->write(desc);
}

// Frame i's slot and addresses, and the block that announces it under `name`.
void SelectFrame(CaptureDescriptor* desc, int32_t i, bool interlaced, const char* name) {
    const uint32_t position = interlaced ? static_cast<uint32_t>(i) % 6u : 2u * (static_cast<uint32_t>(i) % 3u);
    const int32_t slot = desc->piFrameOrder[position];
    desc->uiCurAddrY = desc->uiAddrY + static_cast<uint32_t>(slot) * desc->uiSizeY;
    desc->uiCurAddrUV = desc->uiAddrUV + static_cast<uint32_t>(slot) * desc->uiSizeUV;
    desc->iCurFrame = i;
    desc->iCurSlot = slot;

    const uint32_t physY = desc->uiCurAddrY & 0x5fffffffu;
    const uint32_t physUV = desc->uiCurAddrUV & 0x5fffffffu;
    Banner("Encodeing");
    std::printf("Output name: %s\n", name);
    std::printf("address Y: %#x, address UV: %#x\n", static_cast<unsigned>(physY), static_cast<unsigned>(physUV));
    std::printf("address Y: %#x, address UV: %#x(%d)\n", static_cast<unsigned>(physY >> 3),
                static_cast<unsigned>(physUV >> 3), static_cast<int>(slot));
}

// After frame i: the bases move on to the next group once a group is done.
void AdvanceGroup(CaptureDescriptor* desc, int32_t i, bool interlaced) {
    const uint32_t groupSize = interlaced ? 6u : 3u;
    if (static_cast<uint32_t>(i) % groupSize == groupSize - 1) {
        const uint32_t groupStride = groupSize * (desc->uiSizeY + desc->uiSizeUV);
        desc->uiAddrY += groupStride;
        desc->uiAddrUV += groupStride;
    }
}

void CannotCreateText(char (&text)[kFileNameSize + 32], const char* name) {
    std::snprintf(text, sizeof text, "Can NOT create %s file\n\n", name);
}

// Frame i: its name, slot and addresses, its file.
FileOutcome WriteOneFrame(CaptureDescriptor* desc, int32_t i, bool interlaced, const OutputFormat& format) {
    char name[kFileNameSize];
    FrameName(name, desc->acFileName, i, desc->iTotalCount);
    SelectFrame(desc, i, interlaced, name);
    char cannotCreate[kFileNameSize + 32];
    CannotCreateText(cannotCreate, name);
    const FileOutcome outcome = WriteOutputFile(desc, name, cannotCreate, WriteFrame, &format);
    if (outcome != FileOutcome::kNotCreated) {
        Banner("End");
    }
    return outcome;
}

struct StreamRun {
    const OutputFormat* format;
    bool interlaced;
};

// Every frame into the one stream, each announced as a frame file is, under the stream's
// name. The first frame that fails ends the stream: the file as a whole is not written.
int WriteStreamFrames(CaptureDescriptor* desc, const void* context) {
    const auto* run = static_cast<const StreamRun*>(context);
    if (!run->format->streamHeader(desc)) {
        return 0;
    }
    for (int32_t i = 0; i < desc->iTotalCount; ++i) {
        SelectFrame(desc, i, run->interlaced, desc->acFileName);
        const FrameMapping mapping(desc);
        const int written = run->format->write(desc);
        Banner("End");
        if (!written) {
            return 0;
        }
        AdvanceGroup(desc, i, run->interlaced);
    }
    return 1;
}

int WriteStream(CaptureDescriptor* desc, bool interlaced, const OutputFormat& format) {
    if (desc->iTotalCount == 0) {
        return 1;  // no frame, no file
    }
    char cannotCreate[kFileNameSize + 32];
    CannotCreateText(cannotCreate, desc->acFileName);
    const StreamRun run{&format, interlaced};
    return WriteOutputFile(desc, desc->acFileName, cannotCreate, WriteStreamFrames, &run) == FileOutcome::kWritten
               ? 1
               : 0;
}

}  // namespace

void Disable_CVD2_debug() { DeviceSystem(kDisableCvd2Command); }

int WriteFile(CaptureDescriptor* desc) {
    Disable_CVD2_debug();

    uint8_t control = 0;
    if (!RegReadByte(kRegCaptureControl, &control)) {
        // Nothing below may act on registers that were never read.
        Complain("cannot read the capture registers: no register access device (/dev/zormmio-dbg, /dev/zormmio)");
        return 0;
    }
    const bool interlaced = (control & 0x08u) != 0;
    uint32_t jpegBuffer = 0;
    RegReadWord(kRegJpegBuffer, &jpegBuffer);
    const SignalCleanup cleanup;
    if (jpegBuffer != 0) {
        return WriteBmpJPEG(desc);
    }

    const OutputFormat* row = FindOutputFormat(desc->uiFileType);
    if (row == nullptr) {
        return 0;  // the request refuses such names first
    }
    const OutputFormat& format = *row;
    const int32_t files = FileCount(format, desc->iTotalCount);
    Probe probe;
    if (!NameFits(desc->acFileName, LongestRequestName(files), desc->iTotalCount, files) || !ProbeGeometry(probe)) {
        return 0;
    }
    Describe(desc, interlaced, probe);
    if (desc->iTotalCount > 0 && !WriterAcceptsFrame(desc)) {
        return 0;  // every frame would be refused the same way
    }
    if (format.streamHeader != nullptr) {
        return WriteStream(desc, interlaced, format);
    }

    int written = 1;
    for (int32_t i = 0; i < desc->iTotalCount; ++i) {
        // A frame that fails leaves its name as it was and the next frame its chance;
        // a name that cannot be created ends the capture, as it always has.
        const FileOutcome outcome = WriteOneFrame(desc, i, interlaced, format);
        if (outcome == FileOutcome::kNotCreated) {
            return 0;
        }
        if (outcome == FileOutcome::kNotWritten) {
            written = 0;
        }
        AdvanceGroup(desc, i, interlaced);
    }
    return written;
}
