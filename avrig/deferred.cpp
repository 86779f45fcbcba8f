// The requests that combine several options or depend on the whole command line; they
// go out once, after the walk, in this order.
#include <cstdio>
#include <cstring>

#include "avrig/control.h"

namespace {

void SendJpegConfig(Walk& w) {
    const ControlSettings& s = w.settings;
    if (!s.bSizeSet) {
        return;
    }
    JpegConfig& config = w.records.jpegConfig;
    config = JpegConfig{};
    config.uiBaseAddr = 0x04000000;
    config.ucFlag = 1;
    config.ucJpegValue = static_cast<uint8_t>(s.iJpegValue);
    config.uiWidth = s.uiWinWidth;
    config.uiHeight = s.uiWinHeight;
    config.uiStride = (3u * s.uiWinWidth + 255u) & ~0xffu;  // a line of 3-byte pixels, in 256s
    SendVipRecord(w, VIP_JPEG_CONFIG, &config);
}

void SendJpegValue(Walk& w) {
    w.records.jpegValue = static_cast<uint8_t>(w.settings.iJpegValue);
    SendVipRecord(w, VIP_JPEG_VALUE, &w.records.jpegValue);
}

void SendJpegParam(Walk& w) {
    JpegParam& param = w.records.jpegParam;
    param = JpegParam{};
    param.ucJpegValue = static_cast<uint8_t>(w.settings.iJpegValue);
    param.uiValue = static_cast<uint32_t>(w.settings.iKeyValue);
    SendVipRecord(w, VIP_JPEG_PARAM, &param);
}

// The queries print whatever the answer holds; it is cleared first, so a field the
// driver leaves alone prints as 0.
void QueryBorder(Walk& w) {
    BorderInfo& border = w.records.border;
    border = BorderInfo{};
    SendVipRecord(w, VIP_GET_BORDER, &border);
    std::fprintf(stderr, "top=%d down=%d left=%d right=%d\n", static_cast<int>(border.iTop),
                 static_cast<int>(border.iDown), static_cast<int>(border.iLeft),
                 static_cast<int>(border.iRight));
}

void QueryZoom(Walk& w) {
    uint8_t* zoom = w.records.zoom;
    zoom[0] = 0;
    SendVipRecord(w, VIP_GET_ZOOM, zoom);
    std::fprintf(stderr, "cZoomRatio=%d\n", static_cast<int>(static_cast<int8_t>(zoom[0])));
}

void QueryPanel(Walk& w) {
    PanelInfo& panel = w.records.panel;
    panel = PanelInfo{};
    SendVipRecord(w, VIP_GET_PANEL, &panel);
    std::fprintf(stderr,
                 "uiPanelMaxHres=%d uiPanelMaxVres=%d uiBaseAddrPage[]=0x%x, 0x%x, 0x%x 0x%x 0x%x 0x%x\n",
                 static_cast<int>(panel.uiPanelMaxHres), static_cast<int>(panel.uiPanelMaxVres),
                 static_cast<unsigned>(panel.uiBaseAddrPage[0]), static_cast<unsigned>(panel.uiBaseAddrPage[1]),
                 static_cast<unsigned>(panel.uiBaseAddrPage[2]), static_cast<unsigned>(panel.uiBaseAddrPage[3]),
                 static_cast<unsigned>(panel.uiBaseAddrPage[4]), static_cast<unsigned>(panel.uiBaseAddrPage[5]));
}

void SendJpegMode(Walk& w) {
    switch (w.settings.iJpegMode) {
        case 2: QueryZoom(w); break;
        case 3: SendJpegConfig(w); break;
        case 4: SendJpegValue(w); break;
        case 5: SendJpegParam(w); break;
        case 6: QueryBorder(w); break;
        case 7: QueryPanel(w); break;
        default: break;  // other modes mean nothing to the driver
    }
}

}  // namespace

void SendDeferredRequests(Walk& w) {
    const ControlSettings& s = w.settings;
    if (s.bRhRvSet) {
        SendVip(w, VIP_SET_RHRV, Pack16(static_cast<uint32_t>(s.iRh), static_cast<uint32_t>(s.iRv)));
    }
    if (s.bSizeSet && s.iJpegMode == 0) {
        SendVip(w, VIP_SET_WINSIZE, Pack16(s.uiWinWidth / 8u, s.uiWinHeight / 8u));
    }
    if (s.bSourceSet) {
        SendVip(w, VIP_SET_SOURCE, Pack16(static_cast<uint32_t>(s.iSource), static_cast<uint32_t>(s.iInput)));
    }
    SendJpegMode(w);
    if (s.iMiscMode != 0) {
        // The mode is not masked: a mode above 15 overlaps the shifted value.
        const uint32_t value = (static_cast<uint32_t>(s.iCtrlValue) << 4) | static_cast<uint32_t>(s.iMiscMode);
        SendVip(w, VIP_SET_MISC, value);
    }
}
