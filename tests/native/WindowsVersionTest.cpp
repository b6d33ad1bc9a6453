// Version-dependent rules: the global namespace prefix and the supported Windows versions.
#include "WindowsVersion.h"

#include <gtest/gtest.h>

#include <string>

TEST(GlobalPrefixFor, OnlyNt5AndLater)
{
    EXPECT_EQ(std::string(GlobalPrefixFor(QU_PLATFORM_WIN32_NT, 4)), "");
    EXPECT_EQ(std::string(GlobalPrefixFor(QU_PLATFORM_WIN32_WINDOWS, 4)), "");
    EXPECT_EQ(std::string(GlobalPrefixFor(QU_PLATFORM_WIN32_WINDOWS, 5)), "");  // never on the 9x family
    EXPECT_EQ(std::string(GlobalPrefixFor(0, 6)), "");                         // Win32s
    EXPECT_EQ(std::string(GlobalPrefixFor(QU_PLATFORM_WIN32_NT, 5)), "Global\\");
    EXPECT_EQ(std::string(GlobalPrefixFor(QU_PLATFORM_WIN32_NT, 6)), "Global\\");
    EXPECT_EQ(std::string(GlobalPrefixFor(QU_PLATFORM_WIN32_NT, 10)), "Global\\");
}

TEST(IsSupportedWindowsVersion, BelowSixUpToSixThreeAndTenZero)
{
    EXPECT_TRUE(IsSupportedWindowsVersion(4, 10));
    EXPECT_TRUE(IsSupportedWindowsVersion(5, 2));
    EXPECT_TRUE(IsSupportedWindowsVersion(6, 0));
    EXPECT_TRUE(IsSupportedWindowsVersion(6, 3));
    EXPECT_FALSE(IsSupportedWindowsVersion(6, 4));
    EXPECT_FALSE(IsSupportedWindowsVersion(7, 0));
    EXPECT_TRUE(IsSupportedWindowsVersion(10, 0));
    EXPECT_FALSE(IsSupportedWindowsVersion(10, 1));
    EXPECT_FALSE(IsSupportedWindowsVersion(11, 0));
}
