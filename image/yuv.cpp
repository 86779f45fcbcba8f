// The YUV dump: the 8-bit Cr, Cb, Y of every pixel in the BMP container, unconverted.
#include "image/frame_rows.h"
#include "image/writers.h"

int WriteYuvFile(FILE* file, FrameFormat* format, const LineSource& lines) {
    return WriteBmpFrame(file, format, lines, BuildYuvRow);
}
