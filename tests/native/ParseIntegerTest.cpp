// Integer conversion: strtol's success rule, trailing text, overflow, bases.
#include "IntegerParse.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct Case {
    const char* text;
    int base;
    int32_t value;
    bool error;
};

TEST(ParseIntegerText, Cases)
{
    const Case cases[] = {
        // 0 counts only with a consumed "0" digit.
        {"0", 10, 0, false}, {"  -0", 10, 0, false}, {"000", 10, 0, false},
        {"", 10, 0, true}, {"   ", 10, 0, true}, {"-", 10, 0, true}, {"x1", 10, 0, true}, {nullptr, 10, 0, true},
        // Trailing white space only; a byte above 0x7F is text, never a crash in the white-space test.
        {"12 ", 10, 12, false}, {" \t-34\r\n", 10, -34, false},
        {"12a", 10, 12, true}, {"12 3", 10, 12, true}, {"7\xA0", 10, 7, true},
        // Overflow saturates to the 32-bit limits, also where long is wider.
        {"2147483647", 10, INT32_MAX, false}, {"-2147483648", 10, INT32_MIN, false},
        {"2147483648", 10, INT32_MAX, true}, {"-2147483649", 10, INT32_MIN, true},
        {"99999999999999999999999", 10, INT32_MAX, true},
        // Bases as strtol takes them; "0x" alone is the number 0 followed by text.
        {"0x1F", 16, 31, false}, {"0x1F", 0, 31, false}, {"017", 0, 15, false}, {"102", 2, 2, true},
        {"0x", 16, 0, true}, {"12", 1, 0, true}, {"12", 37, 0, true},
    };
    for (const Case& c : cases) {
        bool error = !c.error;
        EXPECT_EQ(ParseIntegerText(c.text, &error, c.base), c.value) << (c.text ? c.text : "(null)");
        EXPECT_EQ(error, c.error) << (c.text ? c.text : "(null)");
    }
    EXPECT_EQ(ParseIntegerText("42", nullptr, 10), 42);
}

}  // namespace
