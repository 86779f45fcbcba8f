// The table of words and the handlers that act while the walk runs: immediate requests
// go out at once, in command-line order; remembering options only store their value.
//
// Adding an option:
//   1. device/vip.h: the request's code in the AVRIG_VIP_CODES list, as the driver
//      encodes it on MIPS; for a record, its struct and the size check.
//   2. device/requests.h: the row (code, how the argument travels, name). The build
//      refuses a code without its row, and two codes that share the code, or the type
//      and number; its error names them.
//   3. Here: the handler and its row in kWalkTable. The build refuses a word listed twice,
//      or one that an earlier prefix row takes ("-syncdet" goes before "-s"), and its
//      error spells the word out. The walk steps two words at a time whatever the row:
//      the word after the handled one is its value, taken or not. So a keyword without a
//      value takes the next word as its value ("9 8" sends only the request of "9"), and
//      a keyword with more values has every second of them looked up as a word
//      ("capture_pos 1 22 3 4" also sends the request of "22").
//      A remembered value or a record goes in avrig/control.h; a request built after the
//      walk goes in avrig/deferred.cpp. The usage text (avrig/front.cpp) is the historic
//      one: it does not grow.
//   4. Only if the driver answers with a record: sim/vip_driver.cpp, a target-file
//      directive (sim/target_file.cpp, sim/targets/default.target) and device/record.cpp.
//   5. Tests: tests/test_walk.cpp (the request and its packing), tests/test_control_sim.cpp
//      (what the user sees); the word in fuzz/fuzz_cmdline.dict and
//      fuzz/corpus/fuzz_cmdline/keywords; a run on the board in box/cases/cases.
#include <cstdio>
#include <cstring>
#include <utility>

#include "avrig/control.h"
#include "avrig/parsers.h"
#include "report/report.h"
#include "memget/capture.h"

namespace {

const char* Word(const Walk& w) { return w.argv[w.i]; }
const char* Value(const Walk& w, int k = 1) { return w.argv[w.i + k]; }

// Keywords read their values without a prefix row's guard; one that stands too near the
// end of the command line is reported and sends nothing, rather than reading past argv.
bool HasValues(Walk& w, int count) {
    if (w.i + count < w.argc) {
        return true;
    }
    w.failed = true;
    Complain("%s needs %d value%s; nothing sent for it", Printable(Word(w)).c_str(), count, count == 1 ? "" : "s");
    return false;
}

// The number written right after an option's text ("-vsync1", "-adc2"); 0 without digits.
int32_t NumberAfter(const Walk& w, size_t optionLength) {
    const char* rest = Word(w) + optionLength;
    return DecimalArg(rest);
}

uint32_t PackSyncFlag(const Walk& w, size_t optionLength) {
    const uint32_t n = static_cast<uint32_t>(NumberAfter(w, optionLength));
    const int32_t v = DecimalArg(Value(w));
    return (n & 0x0fu) | (v != 0 ? 0x10u : 0u);
}

void SendValue(Walk& w, uint32_t code, int32_t value) {
    SendVip(w, code, static_cast<uint32_t>(value));
}

// --- Immediate options ----------------------------------------------------------------

void HandleOsd(Walk& w) {
    const int32_t v = DecimalArg(Value(w));
    SendValue(w, VIP_SET_OSD, v);
    w.settings.iCtrlValue = v;
}

void HandleVsync(Walk& w) {
    const uint32_t packed = PackSyncFlag(w, 6);
    SendVip(w, VIP_SET_VSYNC, packed);
    w.settings.iCtrlValue = static_cast<int32_t>(packed);
}

void HandleSyncdet(Walk& w) {
    const uint32_t packed = PackSyncFlag(w, 8);
    SendVip(w, VIP_SET_SYNCDET, packed);
    w.settings.iCtrlValue = static_cast<int32_t>(packed);
}

void HandleAdc(Walk& w) {
    const uint32_t n = static_cast<uint32_t>(NumberAfter(w, 4));
    const char* v = Value(w);
    const bool negative = v[0] == '-';
    const uint32_t magnitude = static_cast<uint32_t>(DecimalArg(negative ? v + 1 : v));
    SendVip(w, VIP_SET_ADC, Pack16(n, (magnitude & 0x7fu) | (negative ? 0x80u : 0u)));
}

void HandleAspect(Walk& w) { SendValue(w, VIP_SET_ASPECT, DecimalArg(Value(w))); }

void HandleV(Walk& w) {
    const uint32_t n = static_cast<uint32_t>(NumberAfter(w, 2));
    SendVip(w, VIP_SET_V, Pack16(n, static_cast<uint32_t>(DecimalArg(Value(w)))));
}

void HandleP(Walk& w) {
    const int32_t v = DecimalArg(Value(w));
    SendValue(w, VIP_SET_P, v);
    w.settings.iCtrlValue = v;
}

void HandleN(Walk& w) { w.settings.iKeyValue = DecimalArg(Value(w)); }

// --- Remembering options --------------------------------------------------------------

void HandleSource(Walk& w) {
    w.settings.iSource = DecimalArg(Value(w));
    w.settings.bSourceSet = true;
}

void HandleInput(Walk& w) {
    w.settings.iInput = DecimalArg(Value(w));
    w.settings.bSourceSet = true;
}

void HandleWidth(Walk& w) {
    w.settings.uiWinWidth = static_cast<uint32_t>(DecimalArg(Value(w)));
    w.settings.bSizeSet = true;
}

void HandleHeight(Walk& w) {
    w.settings.uiWinHeight = static_cast<uint32_t>(DecimalArg(Value(w)));
    w.settings.bSizeSet = true;
}

void HandleRh(Walk& w) {
    w.settings.iRh = DecimalArg(Value(w));
    w.settings.bRhRvSet = true;
}

void HandleRv(Walk& w) {
    w.settings.iRv = DecimalArg(Value(w));
    w.settings.bRhRvSet = true;
}

void HandleJpeg(Walk& w) {
    w.settings.iJpegMode = NumberAfter(w, 5);
    w.settings.iJpegValue = DecimalArg(Value(w));
}

void HandleMisc(Walk& w) {
    w.settings.iMiscMode = NumberAfter(w, 5);
    w.settings.iCtrlValue = DecimalArg(Value(w));
}

// --- Keywords -------------------------------------------------------------------------

int32_t KeyDecimal(Walk& w, int k = 1) { return w.settings.iKeyValue = DecimalArg(Value(w, k)); }
int32_t KeyHex(Walk& w, int k = 1) { return w.settings.iKeyValue = HexArg(Value(w, k)); }

void HandleKey9(Walk& w) { SendVip(w, VIP_KEY_9, 0); }
void HandleKey8(Walk& w) { SendVip(w, VIP_KEY_8, 0); }
void HandleCoeff(Walk& w) { SendVip(w, VIP_COEFF, 0); }
void HandleKey22(Walk& w) { SendVip(w, VIP_KEY_22, 0); }
void HandleKey32(Walk& w) { SendVip(w, VIP_KEY_32, 0); }
void HandleInfo(Walk& w) { SendVip(w, VIP_INFO, 0); }

void HandleDeblock(Walk& w) {
    if (HasValues(w, 1)) SendValue(w, VIP_DEBLOCK, KeyDecimal(w));
}

void HandleNelist(Walk& w) {
    if (HasValues(w, 1)) SendValue(w, VIP_NELIST, KeyDecimal(w));
}

void HandlePctest(Walk& w) {
    if (HasValues(w, 1)) KeyHex(w);
}

void HandleMemcIn(Walk& w) {
    if (HasValues(w, 1)) SendValue(w, VIP_MEMC_IN, KeyHex(w));
}

void HandleMemcOut(Walk& w) {
    if (HasValues(w, 1)) SendValue(w, VIP_MEMC_OUT, KeyHex(w));
}

void HandleMemcMsg(Walk& w) {
    if (HasValues(w, 1)) SendValue(w, VIP_MEMC_MSG, KeyDecimal(w));
}

struct NamedValue {
    const char* name;
    int32_t value;
};

constexpr NamedValue kBlankingModes[] = {{"disable", 0}, {"auto", 1}, {"enable", 2}};
constexpr NamedValue kMemcStrengths[] = {
    {"off", 1}, {"strong", 2}, {"normal", 3}, {"weak", 4}, {"demo", 5}};

template <size_t N>
void SendNamed(Walk& w, uint32_t code, const NamedValue (&names)[N]) {
    if (!HasValues(w, 1)) {
        return;
    }
    for (const NamedValue& named : names) {
        if (std::strcmp(Value(w), named.name) == 0) {
            SendValue(w, code, named.value);
            return;
        }
    }
    // Any other word sends nothing.
}

void HandleMemcBlanking(Walk& w) { SendNamed(w, VIP_MEMC_BLANKING, kBlankingModes); }
void HandleMemcSet(Walk& w) { SendNamed(w, VIP_MEMC_SET, kMemcStrengths); }

void HandleCapture(Walk& w) {
    w.records.capture.ucMemget = 0;
    SendVipRecord(w, VIP_CAPTURE_INFO, &w.records.capture);
}

void HandleMemget(Walk& w) {
    CaptureInfo& info = w.records.capture;
    info.ucMemget = 1;
    const bool answered = SendVipRecord(w, VIP_CAPTURE_INFO, &info);
    if (w.i + 1 >= w.argc) {
        return;  // without a file name only the request goes out
    }
    if (!answered) {
        // The five answer words are not defined then: capture nothing from them.
        Complain("no capture into %s: the driver did not say where the frames are", Printable(Value(w)).c_str());
        w.failed = true;
        return;
    }
    if (!VIP_MemoryCatch(info.uiAddrY, info.uiAddrUV, info.uiSizeY, info.uiSizeUV, info.iFrameCount,
                         Value(w))) {
        w.failed = true;
    }
}

void HandleCapturePos(Walk& w) {
    std::puts("capture_pos==>");
    CapturePos& pos = w.records.capturePos;
    for (int k = 0; k < 4; ++k) {
        pos.auiValue[k] = w.i + 4 < w.argc ? static_cast<uint32_t>(KeyDecimal(w, k + 1)) : 0u;
    }
    SendVipRecord(w, VIP_CAPTURE_POS, &pos);
    std::puts("capture_pos<==");
}

void HandleOutputWindow(Walk& w) {
    if (!HasValues(w, 4)) {
        return;
    }
    std::puts("output_window==>");
    uint32_t values[4];
    for (int k = 0; k < 4; ++k) {
        values[k] = static_cast<uint32_t>(KeyDecimal(w, k + 1));
    }
    // The driver takes the window's values in this order.
    OutputWindow& window = w.records.outputWindow;
    window = OutputWindow{{values[0], values[2], values[1], values[3], 0, 0}};
    SendVipRecord(w, VIP_OUTPUT_WINDOW, &window);
    std::puts("output_window<==");
}

void HandleDataFormat(Walk& w) {
    if (w.argc == 2) {
        std::puts("range 9~12. there are YUV_444C10, YUV_444C8, YUV_422C10, YUV_422C8");
        return;
    }
    if (HasValues(w, 1)) SendValue(w, VIP_DATA_FORMAT, KeyDecimal(w));
}

void HandleScreenWall(Walk& w) {
    if (w.argc == 2) {
        std::puts("select screen size and screen number");
        return;
    }
    if (!HasValues(w, 2)) {
        return;
    }
    ScreenWall& wall = w.records.screenWall;
    wall.ucScreenSize = static_cast<uint8_t>(KeyDecimal(w, 1));
    wall.ucScreenNumber = static_cast<uint8_t>(KeyDecimal(w, 2));
    SendVipRecord(w, VIP_SCREEN_WALL, &wall);
}

// --- The table ------------------------------------------------------------------------

enum class Match {
    Prefix,      // the word begins with the row's text; needs a value
    PrefixLong,  // as Prefix, and the word has at least 3 characters
    Whole,       // the word is the row's text; values are the handler's business
};

struct WalkRow {
    const char* word;
    Match match;
    void (*handle)(Walk&);
};

// Tried top to bottom; the order settles words that are prefixes of others
// ("-syncdet" before "-s", "-adc" before "-a", "-vsync" before "-v").
constexpr WalkRow kWalkTable[] = {
    {"-osd", Match::Prefix, HandleOsd},
    {"-vsync", Match::Prefix, HandleVsync},
    {"-syncdet", Match::Prefix, HandleSyncdet},
    {"-adc", Match::Prefix, HandleAdc},
    {"-jpeg", Match::Prefix, HandleJpeg},
    {"-misc", Match::Prefix, HandleMisc},
    {"-s", Match::Prefix, HandleSource},
    {"-i", Match::Prefix, HandleInput},
    {"-w", Match::Prefix, HandleWidth},
    {"-h", Match::Prefix, HandleHeight},
    {"-a", Match::Prefix, HandleAspect},
    {"-rh", Match::Prefix, HandleRh},
    {"-rv", Match::Prefix, HandleRv},
    {"-v", Match::PrefixLong, HandleV},
    {"-p", Match::Prefix, HandleP},
    {"-n", Match::Prefix, HandleN},
    {"9", Match::Whole, HandleKey9},
    {"8", Match::Whole, HandleKey8},
    {"deblock", Match::Whole, HandleDeblock},
    {"nelist", Match::Whole, HandleNelist},
    {"pctest", Match::Whole, HandlePctest},
    {"coeff", Match::Whole, HandleCoeff},
    {"22", Match::Whole, HandleKey22},
    {"32", Match::Whole, HandleKey32},
    {"info", Match::Whole, HandleInfo},
    {"memc_blanking", Match::Whole, HandleMemcBlanking},
    {"memc_set", Match::Whole, HandleMemcSet},
    {"capture", Match::Whole, HandleCapture},
    {"memget", Match::Whole, HandleMemget},
    {"capture_pos", Match::Whole, HandleCapturePos},
    {"memc_in", Match::Whole, HandleMemcIn},
    {"memc_out", Match::Whole, HandleMemcOut},
    {"output_window", Match::Whole, HandleOutputWindow},
    {"memc_msg", Match::Whole, HandleMemcMsg},
    {"data_format", Match::Whole, HandleDataFormat},
    {"screen_wall", Match::Whole, HandleScreenWall},
};

// A row that an earlier row keeps from being reached is a mistake the walk would not show:
// a word listed twice (the first row wins), or a word that an earlier prefix row takes.
// The build refuses such a table and spells out the row's word.
constexpr bool StartsWith(const char* word, const char* start) {
    for (; *start != '\0'; ++word, ++start) {
        if (*word != *start) return false;
    }
    return true;
}

constexpr bool TakesWordsOf(const WalkRow& earlier, const WalkRow& later) {
    const bool prefix = StartsWith(later.word, earlier.word);
    return prefix && (earlier.match != Match::Whole || StartsWith(earlier.word, later.word));
}

constexpr size_t kWalkRows = sizeof kWalkTable / sizeof kWalkTable[0];

constexpr size_t FirstUnreachedRow() {
    for (size_t later = 0; later < kWalkRows; ++later) {
        for (size_t earlier = 0; earlier < later; ++earlier) {
            if (TakesWordsOf(kWalkTable[earlier], kWalkTable[later])) return later;
        }
    }
    return kWalkRows;
}

constexpr size_t kUnreachedRow = FirstUnreachedRow();
constexpr const char* kUnreachedWord = kUnreachedRow < kWalkRows ? kWalkTable[kUnreachedRow].word : "";

constexpr size_t TextLength(const char* text) {
    size_t length = 0;
    while (text[length] != '\0') ++length;
    return length;
}

// The word's characters are the template's arguments, so the compiler's error shows them.
template <char... word>
struct WordTakenByAnEarlierRow {
    static_assert(sizeof...(word) == 0,
                  "a row of kWalkTable is never reached: its word is listed twice, "
                  "or an earlier prefix row takes it");
    static constexpr bool kNone = true;
};

template <size_t... k>
constexpr bool EveryRowReached(std::index_sequence<k...>) {
    return WordTakenByAnEarlierRow<kUnreachedWord[k]...>::kNone;
}
static_assert(EveryRowReached(std::make_index_sequence<TextLength(kUnreachedWord)>{}), "");

bool Accepts(const WalkRow& row, const char* word, bool hasValue) {
    switch (row.match) {
        case Match::Whole:
            return std::strcmp(word, row.word) == 0;
        case Match::PrefixLong:
            if (std::strlen(word) < 3) return false;
            [[fallthrough]];
        case Match::Prefix:
            return hasValue && std::strncmp(word, row.word, std::strlen(row.word)) == 0;
    }
    return false;
}

}  // namespace

int32_t DecimalArg(const char* text) {
    int value = 0;
    StrToDecimalNumber(text, &value, static_cast<unsigned>(std::strlen(text)));
    return value;
}

int32_t HexArg(const char* text) {
    int value = 0;
    StrToHexNumber(text, &value, static_cast<unsigned>(std::strlen(text)));
    return value;
}

void HandleWord(Walk& walk) {
    const char* word = walk.argv[walk.i];
    const bool hasValue = walk.i + 1 < walk.argc;
    for (const WalkRow& row : kWalkTable) {
        if (Accepts(row, word, hasValue)) {
            row.handle(walk);
            return;
        }
    }
    // A word that no row accepts is passed over.
}
