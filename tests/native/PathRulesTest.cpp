// Which paths from files are taken as naming exactly one item.
#include "PathRules.h"

#include <gtest/gtest.h>

TEST(PathRules, PlainFullPaths)
{
    const struct {
        const char* path;
        bool plain;
    } cases[] = {
        {"C:\\Program Files\\Sarventa 5\\a.txt", true},
        {"c:/x/y", true},
        {"C:\\", true},
        {"C:\\a\\\\b", true},  // an empty component is one separator
        {"\\\\server\\share\\a.txt", true},
        {"C:\\a\\..\\..\\Windows\\x.dll", false},
        {"C:\\a\\.\\b", false},
        {"C:\\a/../b", false},
        {"C:\\a\\..", false},
        {"C:\\a\\b:stream", false},
        {"C:a.txt", false},  // relative to the drive's current folder
        {"\\Windows\\x", false},
        {"a\\b.txt", false},
        {"..\\victim.txt", false},
        {"", false},
        {"\\\\?\\C:\\x", false},
        {"\\\\.\\PhysicalDrive0", false},
        {"\\\\server", false},
        {"\\\\server\\..\\x", false},
        {"\\\\\\x", false},
        {"1:\\x", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsPlainFullPath(c.path), c.plain) << c.path;
}
