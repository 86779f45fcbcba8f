// Wall time of each writer on one 1920x1080 frame, against a seam that answers at once:
// what the tool's own code costs on this machine, per pixel. The register-request count
// per frame is reported beside it.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "bench/bench_seam.h"
#include "device/mmio.h"
#include "memget/capture.h"
#include "memget/capture_descriptor.h"
#include "memget/jpeg_dump.h"
#include "memget/frame_writers.h"
#include "memget/output_formats.h"

namespace {

constexpr uint32_t kWidth = 1920;
constexpr uint32_t kHeight = 1080;
constexpr uint32_t kFrameY = 0xa1000000;
constexpr uint32_t kFrameUV = 0xa1900000;

struct Layout {
    const char* name;
    uint32_t colorSpace;
    uint32_t encodeMode;
    uint32_t chromaBytes;  // bytes a chroma line of kWidth pixels needs
};

constexpr Layout kLayouts[] = {
    {"YUV_444C10", kColorSpace444, kEncodeChroma10, (20 * kWidth + 7) / 8},
    {"YUV_444C8", kColorSpace444, kEncodeChroma8, 2 * kWidth},
    {"YUV_422C10", kColorSpace422, kEncodeChroma10, (10 * kWidth + 7) / 8},
    {"YUV_422C8", kColorSpace422, kEncodeChroma8, kWidth},
};

constexpr uint32_t RoundUp256(uint32_t bytes) { return (bytes + 255u) & ~255u; }

using Writer = int (*)(CaptureDescriptor*);

void Report(benchmark::State& state, uint64_t reads, uint64_t frames) {
    state.counters["ns/px"] = benchmark::Counter(static_cast<double>(frames) * kWidth * kHeight,
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["requests/frame"] = frames == 0 ? 0.0 : static_cast<double>(reads) / static_cast<double>(frames);
}

void Frame(benchmark::State& state, Writer writer, const Layout& layout) {
    FILE* sink = std::fopen("/dev/null", "w");
    if (sink == nullptr || MmioOpen() == -1) {
        state.SkipWithError("cannot open /dev/null or the bench seam");
        return;
    }
    CaptureDescriptor desc{};
    desc.pFile = sink;
    desc.uiWidth = kWidth;
    desc.uiHeight = kHeight;
    desc.uiLineOffsetY = RoundUp256((10 * kWidth + 7) / 8);
    desc.uiLineOffsetUV = RoundUp256(layout.chromaBytes);
    desc.uiColorSpace = layout.colorSpace;
    desc.uiEncodeMode = layout.encodeMode;
    desc.uiCurAddrY = kFrameY;
    desc.uiCurAddrUV = kFrameUV;
    const uint64_t readsBefore = BenchReads();
    uint64_t frames = 0;
    for (auto _ : state) {
        desc.uiRowBytes = 3 * kWidth;
        std::rewind(sink);
        benchmark::DoNotOptimize(writer(&desc));
        ++frames;
    }
    Report(state, BenchReads() - readsBefore, frames);
    MmioClose();
    std::fclose(sink);
}

// The JPEG buffer through a row's JPEG-road writer.
void Jpeg(benchmark::State& state, int (*writer)(CaptureDescriptor*, const JpegBuffer&)) {
    const uint32_t lineOffset = RoundUp256(3 * kWidth);
    BenchSetRegister(0xbe1c8060, 0x04000000 / 16);  // base
    BenchSetRegister(0xbe1cc400, 0);                // horizontal start
    BenchSetRegister(0xbe1cc408, kWidth / 2 - 1);   // horizontal end
    BenchSetRegister(0xbe1cc404, 0);                // vertical start
    BenchSetRegister(0xbe1cc40c, kHeight);          // vertical end
    BenchSetRegister(0xbe1c8074, lineOffset / 256);
    FILE* sink = std::fopen("/dev/null", "w");
    if (sink == nullptr || MmioOpen() == -1) {
        state.SkipWithError("cannot open /dev/null or the bench seam");
        return;
    }
    CaptureDescriptor desc{};
    desc.pFile = sink;
    // The dump prints its information block on every call; keep it off the console
    // while it runs (the benchmark prints its table afterwards).
    std::fflush(stdout);
    const int console = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    if (console != -1 && null != -1) {
        dup2(null, 1);
    }
    // The dump's own register reads, once: only the rows are timed.
    JpegBuffer jpeg;
    ProbeJpegBuffer(&jpeg);
    const uint64_t readsBefore = BenchReads();
    uint64_t frames = 0;
    for (auto _ : state) {
        std::rewind(sink);
        benchmark::DoNotOptimize(writer(&desc, jpeg));
        ++frames;
    }
    Report(state, BenchReads() - readsBefore, frames);
    std::fflush(stdout);
    if (console != -1 && null != -1) {
        dup2(console, 1);
    }
    if (console != -1) {
        close(console);
    }
    if (null != -1) {
        close(null);
    }
    MmioClose();
    std::fclose(sink);
}

}  // namespace

int main(int argc, char** argv) {
    for (const OutputFormat& format : kOutputFormats) {  // a stream's writer: one frame of it
        for (const Layout& layout : kLayouts) {
            const std::string name = std::string("memget cap") + format.ending + "/" + layout.name;
            benchmark::RegisterBenchmark(name.c_str(), Frame, format.write, layout)->Unit(benchmark::kMillisecond);
        }
        const std::string name = std::string("memget cap") + format.ending + "/JPEG";
        benchmark::RegisterBenchmark(name.c_str(), Jpeg, format.jpeg)->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
