// Integer conversion: strtol's success rule, trailing text, overflow, bases.
#include "IntegerParse.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct Parsed {
    int32_t value;
    bool error;
};

Parsed Parse(const char* text, int base = 10)
{
    bool error = false;
    const int32_t value = ParseIntegerText(text, &error, base);
    return {value, error};
}

TEST(ParseIntegerText, ZeroNeedsAConsumedZeroDigit)
{
    EXPECT_EQ(Parse("0").value, 0);
    EXPECT_FALSE(Parse("0").error);
    EXPECT_FALSE(Parse("  -0").error);
    EXPECT_FALSE(Parse("000").error);
    for (const char* bad : {"", "   ", "-", "+", "x1", "a"}) {
        EXPECT_EQ(Parse(bad).value, 0) << bad;
        EXPECT_TRUE(Parse(bad).error) << bad;
    }
    EXPECT_TRUE(Parse(nullptr).error);
}

TEST(ParseIntegerText, TrailingWhiteSpaceOnlyIsAccepted)
{
    EXPECT_EQ(Parse("12 ").value, 12);
    EXPECT_FALSE(Parse("12 ").error);
    EXPECT_FALSE(Parse(" \t-34\r\n").error);
    EXPECT_EQ(Parse(" \t-34\r\n").value, -34);
    EXPECT_EQ(Parse("12a").value, 12);
    EXPECT_TRUE(Parse("12a").error);
    EXPECT_TRUE(Parse("12 3").error);
    // A byte above 0x7F after the number is text, never a crash in the white-space test.
    EXPECT_TRUE(Parse("7\xA0").error);
    EXPECT_TRUE(Parse("7\xE9").error);
}

TEST(ParseIntegerText, OverflowSaturatesToThe32BitLimitsWithTheErrorFlag)
{
    EXPECT_EQ(Parse("2147483647").value, INT32_MAX);
    EXPECT_FALSE(Parse("2147483647").error);
    EXPECT_EQ(Parse("-2147483648").value, INT32_MIN);
    EXPECT_FALSE(Parse("-2147483648").error);
    EXPECT_EQ(Parse("2147483648").value, INT32_MAX);
    EXPECT_TRUE(Parse("2147483648").error);
    EXPECT_EQ(Parse("-2147483649").value, INT32_MIN);
    EXPECT_TRUE(Parse("-2147483649").error);
    EXPECT_EQ(Parse("99999999999999999999999").value, INT32_MAX);
    EXPECT_TRUE(Parse("99999999999999999999999").error);
}

TEST(ParseIntegerText, BasesFollowStrtol)
{
    EXPECT_EQ(Parse("ff", 16).value, 255);
    EXPECT_FALSE(Parse("0x1F", 16).error);
    EXPECT_EQ(Parse("0x1F", 0).value, 31);
    EXPECT_EQ(Parse("017", 0).value, 15);
    EXPECT_EQ(Parse("101", 2).value, 5);
    EXPECT_TRUE(Parse("102", 2).error);
    // "0x" alone: the "0" is the number, the "x" trailing text.
    EXPECT_EQ(Parse("0x", 16).value, 0);
    EXPECT_TRUE(Parse("0x", 16).error);
    // An unusable base converts nothing.
    EXPECT_TRUE(Parse("12", 1).error);
    EXPECT_TRUE(Parse("12", 37).error);
}

TEST(ParseIntegerText, ErrorFlagIsOptionalAndOverwritten)
{
    EXPECT_EQ(ParseIntegerText("42", nullptr, 10), 42);
    bool error = true;
    ParseIntegerText("5", &error, 10);
    EXPECT_FALSE(error);
    ParseIntegerText("5z", &error, 10);
    EXPECT_TRUE(error);
}

}  // namespace
