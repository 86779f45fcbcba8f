// The writers' refusals, taken before a capture creates any file.
#include "image/frame_rows.h"
#include "image/writers.h"

bool WriterAcceptsFrame(const CaptureDescriptor* desc) {
    if (!FrameGeometryOk(desc)) {
        return false;
    }
    return desc->uiFileType == kFileTypePbm || BmpGeometryOk(desc);  // BMP and YUV share the container
}
