// Expansion of destination-path placeholders, with a fake environment.
#include "PlaceholderExpansion.h"

#include <gtest/gtest.h>

#include <map>

namespace {

struct FakeFolders {
    std::map<std::string, std::string> values{
        {"<CommonDesktop>", "C:\\Users\\Public\\Desktop"},
        {"<UserData>", "C:\\Users\\u\\AppData\\Roaming"},
        {"<System>", "C:\\windows\\system32"},
    };
    int lookups = 0;

    PlaceholderEnvironment Environment(const std::string& install, const std::string& samples)
    {
        PlaceholderEnvironment env;
        env.installFolder = install;
        env.samplesFolder = samples;
        env.resolve = [this](const std::string& token) {
            ++lookups;
            auto it = values.find(token);
            return it == values.end() ? std::string() : it->second;
        };
        // Windows' rules in short: rooted with "\" or a drive letter is absolute.
        env.isRelative = [](const std::string& p) {
            return !(p.size() >= 1 && p[0] == '\\') && !(p.size() >= 2 && p[1] == ':');
        };
        env.append = [](const std::string& folder, const std::string& more) {
            if (folder.empty() || folder.back() == '\\')
                return folder + more;
            return folder + "\\" + more;
        };
        return env;
    }
};

const char INSTALL[] = "C:\\Program Files\\Quillon & Partners\\Sarventa 5";

TEST(PlaceholderExpansion, InstallPathAndOtherFolders)
{
    FakeFolders f;
    auto env = f.Environment(INSTALL, "");
    EXPECT_EQ(ExpandPlaceholderText("<InstallPath>\\Uninstall.exe", env), std::string(INSTALL) + "\\Uninstall.exe");
    EXPECT_EQ(ExpandPlaceholderText("<System>\\x.dll", env), "C:\\windows\\system32\\x.dll");
    EXPECT_EQ(ExpandPlaceholderText("no placeholder", env), "no placeholder");
    EXPECT_EQ(ExpandPlaceholderText("", env), "");
}

TEST(PlaceholderExpansion, UnknownWrongCaseAndFailedLookupsBecomeEmpty)
{
    FakeFolders f;
    auto env = f.Environment(INSTALL, "");
    EXPECT_EQ(ExpandPlaceholderText("<installpath>\\x", env), "\\x");
    EXPECT_EQ(ExpandPlaceholderText("<Documents>\\x", env), "\\x");
    EXPECT_EQ(ExpandPlaceholderText("<>\\x", env), "\\x");
}

TEST(PlaceholderExpansion, UnclosedBracketStopsTheExpansion)
{
    FakeFolders f;
    auto env = f.Environment(INSTALL, "");
    // The token runs from the first "<" to the next ">", whatever lies between.
    EXPECT_EQ(ExpandPlaceholderText("<InstallPath>\\a<b\\<System>", env), std::string(INSTALL) + "\\a");
    EXPECT_EQ(ExpandPlaceholderText("<InstallPath>\\<rest", env), std::string(INSTALL) + "\\<rest");
}

TEST(PlaceholderExpansion, RepeatedPlaceholderIsReplacedEverywhereAndLookedUpOnce)
{
    FakeFolders f;
    auto env = f.Environment(INSTALL, "");
    EXPECT_EQ(ExpandPlaceholderText("<UserData>\\a;<UserData>\\b", env),
              "C:\\Users\\u\\AppData\\Roaming\\a;C:\\Users\\u\\AppData\\Roaming\\b");
    EXPECT_EQ(f.lookups, 1);
}

TEST(PlaceholderExpansion, SamplePathRules)
{
    FakeFolders f;
    // An absolute samples folder is used as it is.
    EXPECT_EQ(ExpandPlaceholderText("<SamplePath>\\a.dat", f.Environment(INSTALL, "D:\\Samples")), "D:\\Samples\\a.dat");
    // A bare name lands on the all-users desktop.
    EXPECT_EQ(ExpandPlaceholderText("<SamplePath>\\Sample1.dat", f.Environment(INSTALL, "Sarventa Examples")),
              "C:\\Users\\Public\\Desktop\\Sarventa Examples\\Sample1.dat");
    // No samples folder: the desktop itself.
    EXPECT_EQ(ExpandPlaceholderText("<SamplePath>\\a.dat", f.Environment(INSTALL, "")), "C:\\Users\\Public\\Desktop\\a.dat");
    // Inside an absolute path nothing is put in front.
    EXPECT_EQ(ExpandPlaceholderText("<InstallPath>\\<SamplePath>\\a", f.Environment(INSTALL, "S")),
              std::string(INSTALL) + "\\S\\a");
}

TEST(PlaceholderExpansion, SamplePathWithoutDesktopKeepsTheRootedShape)
{
    FakeFolders f;
    f.values.erase("<CommonDesktop>");
    EXPECT_EQ(ExpandPlaceholderText("<SamplePath>\\a.dat", f.Environment(INSTALL, "Examples")), "\\Examples\\a.dat");
}

TEST(PlaceholderExpansion, EndsWhenFolderValuesContainPlaceholders)
{
    FakeFolders f;
    f.values["<CommonDesktop>"] = "<CommonDesktop>";
    f.values["<UserData>"] = "<UserData><UserData>";
    auto env = f.Environment("C:\\<InstallPath>", "<SamplePath>");
    EXPECT_EQ(ExpandPlaceholderText("<InstallPath>\\x", env), "C:\\<InstallPath>\\x");
    EXPECT_EQ(ExpandPlaceholderText("<UserData>\\x", env), "<UserData><UserData>\\x");
    EXPECT_EQ(ExpandPlaceholderText("<SamplePath>\\x", env), "<CommonDesktop>\\<SamplePath>\\x");
    auto bare = f.Environment(INSTALL, "");
    EXPECT_EQ(ExpandPlaceholderText("<SamplePath>\\x", bare), "<CommonDesktop>\\x");
}

TEST(TrimFolderValue, TrimsBlanksAndOneTrailingBackslash)
{
    EXPECT_EQ(TrimFolderValue("  C:\\Program Files\\X\\ \t"), "C:\\Program Files\\X");
    EXPECT_EQ(TrimFolderValue("C:\\"), "C:");
    EXPECT_EQ(TrimFolderValue("   "), "");
    EXPECT_EQ(TrimFolderValue("D:\\Samples"), "D:\\Samples");
}

}  // namespace
