// The YUV4MPEG2 writer: the capture's frames as one stream every video tool reads, the
// samples exact (16-bit little-endian on the 10-bit scale, 8-bit chroma times 4).
//
// The planes come whole one after the other (all Y, then Cb, then Cr), while frame
// memory gives a line of both at a time. Rather than hold a frame's chroma in memory,
// each line's samples are put at their computed places in the file: memory stays one
// line, and every word of frame memory is still read once. A stream that cannot seek
// (standard output) gets the same lines put at the same places in the frame held whole
// in memory instead, written at once when the frame is complete.
#include <sys/types.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "image/frame_rows.h"
#include "image/writers.h"
#include "report/report.h"

static_assert(sizeof(off_t) == 8, "streams past 2 GiB need 64-bit file offsets");

namespace {

// The frame rate is not in the registers: 25 frames a second, the rate players assume
// when a stream gives none. Every picture is a whole stored buffer, so progressive (Ip);
// the pixel aspect is not known (A0:0).
int PutHeader(FILE* file, uint32_t width, uint32_t height, const char* chroma) {
    return file != nullptr && std::fprintf(file, "YUV4MPEG2 W%u H%u F25:1 Ip A0:0 C%s\n",
                                           static_cast<unsigned>(width), static_cast<unsigned>(height), chroma) > 0;
}

bool PutAt(FILE* file, uint64_t at, const uint8_t* bytes, uint64_t count) {
    return fseeko(file, static_cast<off_t>(at), SEEK_SET) == 0 && fwrite(bytes, 1, count, file) == count;
}

// Hands each plane's part of lines `line` .. `line + count - 1` (held one after the other
// in each of `planes`' buffers) to `put` with its offset from the frame's first sample: the
// one place that knows where a line's samples go.
template <typename Put>
bool PlacePlanarLines(uint32_t line, uint32_t count, uint32_t height, const PlanarLine& planes, Put put) {
    const uint64_t lumaPlane = planes.lumaBytes * height;
    const uint64_t chromaPlane = planes.chromaBytes * height;
    return put(planes.lumaBytes * line, planes.y, planes.lumaBytes * count) &&
           put(lumaPlane + planes.chromaBytes * line, planes.cb, planes.chromaBytes * count) &&
           put(lumaPlane + chromaPlane + planes.chromaBytes * line, planes.cr, planes.chromaBytes * count);
}

}  // namespace

bool Y4mGeometryOk(uint32_t width, uint32_t height) {
    if (width == 0 || height == 0) {
        Complain("a YUV4MPEG2 stream cannot hold a %ux%u picture", static_cast<unsigned>(width),
                 static_cast<unsigned>(height));
        return false;
    }
    return true;
}

uint64_t PlanarChromaLineBytes(const FrameFormat& format) {
    const uint64_t width = format.width;
    return 2u * (format.colorSpace == kColorSpace422 ? (width + 1u) / 2u : width);
}

bool Y4mFrameOut::Start(FILE* file, const PlanarLine& planes, uint32_t height, bool whole) {
    file_ = file;
    height_ = height;
    frame_.reset();
    if (whole) {
        frameBytes_ = (planes.lumaBytes + 2u * planes.chromaBytes) * height;
        if (frameBytes_ == static_cast<size_t>(frameBytes_)) {  // a 32-bit board holds no more
            frame_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(frameBytes_)]);
        }
        if (!frame_) {
            Complain("cannot hold a frame of %llu bytes in memory", static_cast<unsigned long long>(frameBytes_));
            return false;
        }
        return true;
    }
    const off_t start = ftello(file);
    start_ = static_cast<uint64_t>(start);
    return start >= 0;
}

bool Y4mFrameOut::Put(uint32_t line, const PlanarLine& planes, uint32_t count) {
    if (!frame_) {
        const uint64_t start = start_;
        FILE* const file = file_;
        return PlacePlanarLines(line, count, height_, planes, [file, start](uint64_t at, const uint8_t* bytes, uint64_t n) {
            return PutAt(file, start + at, bytes, n);
        });
    }
    uint8_t* const frame = frame_.get();
    return PlacePlanarLines(line, count, height_, planes, [frame](uint64_t at, const uint8_t* bytes, uint64_t count) {
        std::memcpy(frame + at, bytes, count);
        return true;
    });
}

bool Y4mFrameOut::Finish() {
    if (!frame_) {
        return true;  // every line is in the file already
    }
    // Once per frame: the reader gets each frame whole as soon as it is read.
    const bool written = fwrite(frame_.get(), 1, frameBytes_, file_) == frameBytes_ && std::fflush(file_) == 0;
    frame_.reset();
    return written;
}

int WriteY4mHeader(FILE* file, const FrameFormat& format) {
    // Each frame writes its own "FRAME" line.
    return PutHeader(file, format.width, format.height, format.colorSpace == kColorSpace422 ? "422p10" : "444p10");
}

namespace {

int WriteFrame(FILE* file, FrameFormat* format, const LineSource& lines, bool whole) {
    if (!WriterAcceptsFormat(*format, Y4mAccepts) || file == nullptr) {
        return 0;
    }
    const uint64_t lumaBytes = 2u * uint64_t{format->width};
    const uint64_t chromaBytes = PlanarChromaLineBytes(*format);
    // A band of lines: each plane's lines lie one after the other in the file as in the
    // band, so a band is three writes, not three a line.
    const uint64_t lineBytes = lumaBytes + 2u * chromaBytes;
    const uint32_t bandRows = BandRows(static_cast<size_t>(lineBytes), format->height);
    FrameLines frame{};
    if (!PrepareFrameLines(&frame, *format, lines, static_cast<size_t>(lineBytes * bandRows))) {
        return 0;
    }
    uint8_t* const y = frame.row;
    uint8_t* const cb = y + lumaBytes * bandRows;
    uint8_t* const cr = cb + chromaBytes * bandRows;
    const PlanarLine planes{y, cb, cr, lumaBytes, chromaBytes};
    Y4mFrameOut out;
    if (std::fputs("FRAME\n", file) == EOF || !out.Start(file, planes, format->height, whole)) {
        return 0;
    }
    for (uint32_t line = 0; line < format->height; line += bandRows) {
        const uint32_t rows = format->height - line < bandRows ? format->height - line : bandRows;
        for (uint32_t k = 0; k < rows; ++k) {
            FetchBothPlanes(&frame, line + k);
            // 16-bit words from the row's start (8-byte aligned) at even offsets: aligned stores.
            BuildPlanarRow(&frame, reinterpret_cast<uint16_t*>(y + lumaBytes * k),
                           reinterpret_cast<uint16_t*>(cb + chromaBytes * k),
                           reinterpret_cast<uint16_t*>(cr + chromaBytes * k));
        }
        // The last line's Cr ends the frame, where the next frame's "FRAME" goes.
        if (!out.Put(line, planes, rows)) {
            return 0;
        }
    }
    return out.Finish() ? 1 : 0;
}

}  // namespace

int WriteY4mFrame(FILE* file, FrameFormat* format, const LineSource& lines) {
    return WriteFrame(file, format, lines, false);
}

int WriteY4mWholeFrame(FILE* file, FrameFormat* format, const LineSource& lines) {
    return WriteFrame(file, format, lines, true);
}

int WriteY4mJpegHeader(FILE* file, uint32_t width, uint32_t height) {
    return Y4mGeometryOk(width, height) && PutHeader(file, width, height, "444") && std::fputs("FRAME\n", file) != EOF;
}
