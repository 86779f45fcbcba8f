#include <gtest/gtest.h>

#include <cstring>

#include "avrig/parsers.h"

namespace {

struct ParseCase {
    const char* text;
    int value;
    int consumed;
};

TEST(StrToDecimalNumber, TakesLeadingDigitsOnlyAndWraps) {
    const ParseCase cases[] = {
        {"12", 12, 2},         {"12ab", 12, 2},       {"", 0, 0},
        {"-5", 0, 0},          {"+5", 0, 0},          {" 5", 0, 0},
        {"4294967297", 1, 10},  // 2^32 + 1 wraps to 1
        {"4294967295", -1, 10}, {"007", 7, 3},         {"1x2", 1, 1},
    };
    for (const ParseCase& c : cases) {
        int out = 12345;
        const int consumed = StrToDecimalNumber(c.text, &out, static_cast<unsigned>(std::strlen(c.text)));
        EXPECT_EQ(out, c.value) << '"' << c.text << '"';
        EXPECT_EQ(consumed, c.consumed) << '"' << c.text << '"';
    }
}

TEST(StrToDecimalNumber, StopsAtTheGivenLength) {
    int out = -1;
    EXPECT_EQ(StrToDecimalNumber("1234", &out, 2), 2);
    EXPECT_EQ(out, 12);
    EXPECT_EQ(StrToDecimalNumber("1234", &out, 0), 0);
    EXPECT_EQ(out, 0);  // always written
}

TEST(StrToHexNumber, SkipsEverythingButDigitsAndLowerCaseLetters) {
    const ParseCase cases[] = {
        {"0x1f", 31, 4}, {"0x1F", 1, 4},  {"FF", 0, 2},         {"1 2", 0x12, 3},
        {"ff", 255, 2},  {"", 0, 0},      {"g1h2", 0x12, 4},    {"100000001", 1, 9},  // wraps
        {"-a", 10, 2},   {"deadbeef", static_cast<int>(0xdeadbeefu), 8},
    };
    for (const ParseCase& c : cases) {
        int out = 12345;
        const int examined = StrToHexNumber(c.text, &out, static_cast<unsigned>(std::strlen(c.text)));
        EXPECT_EQ(out, c.value) << '"' << c.text << '"';
        EXPECT_EQ(examined, c.consumed) << '"' << c.text << '"';
    }
}

}  // namespace
