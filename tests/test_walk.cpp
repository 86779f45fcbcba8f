// The option walk against the fake seam: which requests go out, in which order, with
// which values and record bytes.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "avrig/avrig_main.h"
#include "device/vip.h"
#include "tests/fake_seam.h"

namespace {

struct Sent {
    uint32_t code;
    uint32_t value;  // number requests
    std::vector<uint8_t> record;  // record requests
};

bool operator==(const Sent& a, const Sent& b) {
    return a.code == b.code && a.value == b.value && a.record == b.record;
}

std::ostream& operator<<(std::ostream& out, const Sent& s) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%08x ", s.code);
    out << text;
    if (s.record.empty()) {
        std::snprintf(text, sizeof text, "value 0x%08x", s.value);
        return out << text;
    }
    out << "record ";
    for (uint8_t b : s.record) {
        std::snprintf(text, sizeof text, "%02x", b);
        out << text;
    }
    return out;
}

Sent V(uint32_t code, uint32_t value) { return {code, value, {}}; }
Sent N(uint32_t code) { return {code, 0, {}}; }

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words, size_t size) {
    std::vector<uint8_t> bytes;
    for (uint32_t w : words) {
        for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<uint8_t>(w >> (8 * k)));
    }
    bytes.resize(size, 0);
    return bytes;
}

Sent R(uint32_t code, std::vector<uint8_t> record) { return {code, 0, std::move(record)}; }

// Runs the tool in-process with its standard output thrown away (the lines it prints are
// checked end to end); returns its exit status.
int RunAvrig(std::vector<std::string> args) {
    args.insert(args.begin(), "avrig");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
    const int status = AvrigMain(static_cast<int>(args.size()), argv.data());
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    return status;
}

std::vector<Sent> SentRequests() {
    std::vector<Sent> sent;
    for (const fake::Ioctl& call : fake::Get().ioctls) {
        sent.push_back({call.code, call.record.empty() ? call.value : 0, call.record});
    }
    return sent;
}

struct WalkCase {
    std::vector<std::string> args;
    std::vector<Sent> expected;
};

class Walk : public ::testing::Test {
protected:
    void SetUp() override { fake::Reset(); }
    void TearDown() override { fake::Reset(); }
    void Check(const std::vector<WalkCase>& cases) {
        for (const WalkCase& c : cases) {
            fake::Reset();
            RunAvrig(c.args);
            std::string line;
            for (const std::string& a : c.args) line += a + " ";
            EXPECT_EQ(SentRequests(), c.expected) << "avrig " << line;
        }
    }
};

TEST_F(Walk, ImmediateOptionsPackTheirValues) {
    Check({
        {{"-osd", "3"}, {V(VIP_SET_OSD, 3)}},
        {{"-vsync2", "0"}, {V(VIP_SET_VSYNC, 0x02)}},
        {{"-vsync18", "5"}, {V(VIP_SET_VSYNC, 0x12)}},
        {{"-vsync", "1"}, {V(VIP_SET_VSYNC, 0x10)}},
        {{"-syncdet1", "1"}, {V(VIP_SET_SYNCDET, 0x11)}},
        {{"-adc1", "-5"}, {V(VIP_SET_ADC, 0x8501)}},
        {{"-adc1", "-0"}, {V(VIP_SET_ADC, 0x8001)}},
        {{"-adc1", "200"}, {V(VIP_SET_ADC, 0x4801)}},
        {{"-adc300", "1"}, {V(VIP_SET_ADC, 0x012c)}},
        {{"-a", "2"}, {V(VIP_SET_ASPECT, 2)}},
        {{"-a", "4294967295"}, {V(VIP_SET_ASPECT, 0xffffffff)}},
        {{"-ad", "2"}, {V(VIP_SET_ASPECT, 2)}},
        {{"-v1", "300"}, {V(VIP_SET_V, 0x2c01)}},
        {{"-p", "9"}, {V(VIP_SET_P, 9)}},
        {{"-pctest", "5"}, {V(VIP_SET_P, 5)}},
        {{"-n", "7"}, {}},
    });
}

TEST_F(Walk, WordsAreMatchedInTableOrderAndTheWalkAlwaysStepsByTwo) {
    Check({
        {{}, {}},
        {{"-sync", "1"}, {V(VIP_SET_SOURCE, 0x0101)}},
        {{"-v", "5"}, {}},                      // too short for "-v", and 5 goes with it
        {{"9", "8"}, {N(VIP_KEY_9)}},           // "8" is the value position of "9"
        {{"-a", "-s", "3"}, {V(VIP_SET_ASPECT, 0)}},
        {{"-osd"}, {}},                          // an option word without a value
        {{"-info", "3"}, {V(VIP_SET_SOURCE, 0x0305)}},
        {{"bogus", "-a", "1"}, {}},            // "-a" is the value position of the unknown word
        {{"-h", "600"}, {}},                     // help, then 600 is a word nobody takes
        {{"-s", "3", "-h", "600"}, {V(VIP_SET_WINSIZE, 0x4b5a), V(VIP_SET_SOURCE, 0x0103)}},
        {{"9", "memget", "shot.bmp"}, {N(VIP_KEY_9)}},
        {{"coeff", "x", "22", "x", "32", "x", "info", "x", "8"},
         {N(VIP_COEFF), N(VIP_KEY_22), N(VIP_KEY_32), N(VIP_INFO), N(VIP_KEY_8)}},
    });
}

TEST_F(Walk, KeywordsSendTheirRequests) {
    Check({
        {{"deblock", "12"}, {V(VIP_DEBLOCK, 12)}},
        {{"nelist", "3"}, {V(VIP_NELIST, 3)}},
        {{"pctest", "ff"}, {}},
        {{"memc_blanking", "disable"}, {V(VIP_MEMC_BLANKING, 0)}},
        {{"memc_blanking", "enable"}, {V(VIP_MEMC_BLANKING, 2)}},
        {{"memc_set", "weak"}, {V(VIP_MEMC_SET, 4)}},
        {{"memc_set", "medium"}, {}},
        {{"memc_set", "Off"}, {}},
        {{"memc_in", "1F"}, {V(VIP_MEMC_IN, 1)}},
        {{"memc_out", "0x1f"}, {V(VIP_MEMC_OUT, 0x1f)}},
        {{"memc_msg", "4294967295"}, {V(VIP_MEMC_MSG, 0xffffffff)}},
        {{"data_format", "11"}, {V(VIP_DATA_FORMAT, 11)}},
        {{"data_format"}, {}},
        {{"-a", "1", "data_format", "11"}, {V(VIP_SET_ASPECT, 1), V(VIP_DATA_FORMAT, 11)}},
        {{"screen_wall"}, {}},
        {{"screen_wall", "4", "9"}, {R(VIP_SCREEN_WALL, {9, 4}), N(VIP_KEY_9)}},
        {{"screen_wall", "260", "1"}, {R(VIP_SCREEN_WALL, {1, 4})}},
        {{"capture", "x"}, {R(VIP_CAPTURE_INFO, Words({0, 0, 0, 0, 0, 0}, 24))}},
        {{"memget"}, {R(VIP_CAPTURE_INFO, Words({0, 0, 0, 0, 0, 1}, 24))}},
        {{"capture_pos", "1", "2", "3", "4"}, {R(VIP_CAPTURE_POS, Words({1, 2, 3, 4}, 16))}},
        // Fewer than four values: four zero words, and the walk goes on at "2".
        {{"capture_pos", "1", "-a", "3"}, {R(VIP_CAPTURE_POS, Words({}, 16)), V(VIP_SET_ASPECT, 3)}},
        {{"output_window", "10", "20", "30", "40"},
         {R(VIP_OUTPUT_WINDOW, Words({10, 30, 20, 40, 0, 0}, 24))}},
    });
}

TEST_F(Walk, KeywordsShortOfValuesSendNothingAndTheWalkGoesOn) {
    Check({
        {{"-a", "1", "deblock"}, {V(VIP_SET_ASPECT, 1)}},
        {{"-a", "1", "output_window", "1", "2"}, {V(VIP_SET_ASPECT, 1)}},
        {{"-a", "1", "screen_wall", "4"}, {V(VIP_SET_ASPECT, 1)}},
        {{"-a", "1", "data_format"}, {V(VIP_SET_ASPECT, 1)}},
        {{"-a", "1", "memc_set"}, {V(VIP_SET_ASPECT, 1)}},
        {{"-s", "2", "memc_in"}, {V(VIP_SET_SOURCE, 0x0102)}},
    });
}

TEST_F(Walk, DeferredRequestsFollowTheWalkInTheirOrder) {
    Check({
        {{"-s", "3"}, {V(VIP_SET_SOURCE, 0x0103)}},
        {{"-i", "2"}, {V(VIP_SET_SOURCE, 0x0205)}},
        {{"-w", "1280"}, {V(VIP_SET_WINSIZE, 0x3ca0)}},
        {{"-w", "1287"}, {V(VIP_SET_WINSIZE, 0x3ca0)}},
        {{"-w", "4000"}, {V(VIP_SET_WINSIZE, 0x3cf4)}},
        {{"-rh", "1"}, {V(VIP_SET_RHRV, 0x0001)}},
        {{"-rv", "258"}, {V(VIP_SET_RHRV, 0x0200)}},
        {{"-s", "1", "-rh", "2", "-w", "800", "-misc1", "1"},
         {V(VIP_SET_RHRV, 0x0002), V(VIP_SET_WINSIZE, 0x3c64), V(VIP_SET_SOURCE, 0x0101), V(VIP_SET_MISC, 0x11)}},
        {{"-s", "3", "-a", "2", "-jpeg6", "0"},
         {V(VIP_SET_ASPECT, 2), V(VIP_SET_SOURCE, 0x0103), R(VIP_GET_BORDER, Words({}, 16))}},
        {{"-misc2", "5"}, {V(VIP_SET_MISC, 0x52)}},
        {{"-misc2", "5", "-osd", "3"}, {V(VIP_SET_OSD, 3), V(VIP_SET_MISC, 0x32)}},
        {{"-misc0", "5"}, {}},
        {{"-misc17", "1"}, {V(VIP_SET_MISC, 0x11 | 0x10)}},  // the mode is not masked
        {{"-s", "1", "-s", "2"}, {V(VIP_SET_SOURCE, 0x0102)}},
    });
}

TEST_F(Walk, JpegModesConfigureOrQuery) {
    std::vector<uint8_t> config640 = Words({0x04000000, 0x5001, 0, 0, 640, 480, 2048}, 28);
    std::vector<uint8_t> config512 = Words({0x04000000, 0x0101, 0, 0, 512, 480, 1536}, 28);
    Check({
        {{"-jpeg3", "80", "-w", "640", "-h", "480"}, {R(VIP_JPEG_CONFIG, config640)}},
        {{"-w", "512", "-jpeg3", "1"}, {R(VIP_JPEG_CONFIG, config512)}},
        {{"-jpeg3", "80"}, {}},
        {{"-w", "800", "-jpeg4", "9"}, {R(VIP_JPEG_VALUE, {9})}},
        {{"-n", "7", "-jpeg5", "3"}, {R(VIP_JPEG_PARAM, Words({3, 7}, 8))}},
        {{"-jpeg5", "3"}, {R(VIP_JPEG_PARAM, Words({3, 0}, 8))}},
        {{"deblock", "5", "-jpeg5", "259"}, {V(VIP_DEBLOCK, 5), R(VIP_JPEG_PARAM, Words({3, 5}, 8))}},
        {{"-jpeg2", "0"}, {R(VIP_GET_ZOOM, {0, 0, 0, 0})}},
        {{"-jpeg7", "0"}, {R(VIP_GET_PANEL, Words({}, 72))}},
        {{"-jpeg", "0"}, {}},
        {{"-jpeg1", "0"}, {}},
        {{"-jpeg8", "0"}, {}},
        {{"-jpeg6", "0", "-jpeg2", "0"}, {R(VIP_GET_ZOOM, {0, 0, 0, 0})}},  // the last one decides
    });
}

TEST_F(Walk, ExitStatusTellsWhetherEveryRequestWasAccepted) {
    fake::Get().nodes.clear();
    EXPECT_EQ(RunAvrig({"-a", "1"}), -1);
    EXPECT_TRUE(fake::Get().ioctls.empty());

    fake::Reset();
    EXPECT_EQ(RunAvrig({"-a", "1", "-s", "2"}), 0);

    fake::Reset();
    fake::Get().refusedCodes = {VIP_SET_ASPECT};
    EXPECT_EQ(RunAvrig({"-a", "1", "-s", "2"}), 1);
    EXPECT_EQ(SentRequests(), (std::vector<Sent>{V(VIP_SET_ASPECT, 1), V(VIP_SET_SOURCE, 0x0102)}));

    fake::Reset();
    EXPECT_EQ(RunAvrig({"deblock"}), 1);  // a keyword short of its value did not do its job
}

}  // namespace
