// What the option walk carries: the remembered settings, the driver's records and the
// position on the command line.
#pragma once

#include <cstdint>

#include "device/vip.h"

struct ControlSettings {
    int32_t iSource = 5;
    int32_t iInput = 1;
    uint32_t uiWinWidth = 720;
    uint32_t uiWinHeight = 480;
    int32_t iRh = 0;
    int32_t iRv = 0;
    int32_t iJpegMode = 0;
    int32_t iJpegValue = 0;
    int32_t iMiscMode = 0;
    int32_t iCtrlValue = 0;  // last of "-osd", "-vsync", "-syncdet", "-p", "-misc"
    int32_t iKeyValue = 0;   // last value of "-n" and the value keywords
    bool bSourceSet = false;
    bool bSizeSet = false;
    bool bRhRvSet = false;
};

// The payload records of every request; they live for the whole run.
struct VipRecords {
    CaptureInfo capture{};
    CapturePos capturePos{};
    OutputWindow outputWindow{};
    ScreenWall screenWall{};
    JpegConfig jpegConfig{};
    uint8_t jpegValue = 0;
    JpegParam jpegParam{};
    BorderInfo border{};
    uint8_t zoom[4]{};
    PanelInfo panel{};
};

struct Walk {
    int argc;
    char** argv;
    int i;  // index of the word being handled
    int vipFd;
    ControlSettings settings;
    VipRecords records;
    bool failed;  // a request was refused or a capture did not write its files
};

// Sends one VIP request; a refusal is reported in one line on standard error and
// remembered for the exit status. `arg` is the number, or the record's address.
// Returns whether the driver accepted it.
bool SendVip(Walk& walk, uint32_t code, uintptr_t arg);

template <typename Record>
bool SendVipRecord(Walk& walk, uint32_t code, Record* record) {
    return SendVip(walk, code, reinterpret_cast<uintptr_t>(record));
}

// Two bytes in the low half of a request's number: byte 0 from `low`, byte 1 from `high`.
inline uint32_t Pack16(uint32_t low, uint32_t high) { return (low & 0xffu) | ((high & 0xffu) << 8); }

// Parses with the value's full length, as every handler does.
int32_t DecimalArg(const char* text);
int32_t HexArg(const char* text);

// Handles argv[walk.i] if a row of the walk's table accepts it.
void HandleWord(Walk& walk);

// The requests built from the remembered settings, in their order.
void SendDeferredRequests(Walk& walk);

void PrintUsage();
