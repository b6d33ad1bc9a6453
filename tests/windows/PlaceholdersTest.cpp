// Placeholders resolved against the real special folders of the Wine prefix.
#include "PayloadExtractor.h"
#include "Placeholders.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

namespace {

std::string ShellFolder(int csidl)
{
    char buffer[MAX_PATH + 1] = {};
    EXPECT_TRUE(SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE)) << csidl;
    return buffer;
}

TEST(Placeholders, ResolveToTheShellFolders)
{
    EXPECT_EQ(ResolvePlaceholder("<ProgramFiles>"), ShellFolder(CSIDL_PROGRAM_FILES));
    EXPECT_EQ(ResolvePlaceholder("<ProgramCommon>"), ShellFolder(CSIDL_PROGRAM_FILES_COMMON));
    EXPECT_EQ(ResolvePlaceholder("<CommonData>"), ShellFolder(CSIDL_COMMON_APPDATA));
    EXPECT_EQ(ResolvePlaceholder("<UserData>"), ShellFolder(CSIDL_APPDATA));
    EXPECT_EQ(ResolvePlaceholder("<CommonDocuments>"), ShellFolder(CSIDL_COMMON_DOCUMENTS));
    EXPECT_EQ(ResolvePlaceholder("<Documents>"), ShellFolder(CSIDL_PERSONAL));
    EXPECT_EQ(ResolvePlaceholder("<CommonDesktop>"), ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY));
    EXPECT_EQ(ResolvePlaceholder("<Desktop>"), ShellFolder(CSIDL_DESKTOPDIRECTORY));
    EXPECT_EQ(ResolvePlaceholder("<WinDir>"), ShellFolder(CSIDL_WINDOWS));
    EXPECT_EQ(ResolvePlaceholder("<System>"), ShellFolder(CSIDL_SYSTEM));
    EXPECT_EQ(ResolvePlaceholder("<Unknown>"), "");
    EXPECT_EQ(ResolvePlaceholder("<programfiles>"), "");
}

// Lookups that fail for the all-users folders (as on systems that lack them) or for every folder.
bool WithoutCommonFolders(int csidl, std::string& out)
{
    if (csidl == CSIDL_COMMON_APPDATA || csidl == CSIDL_COMMON_DOCUMENTS || csidl == CSIDL_COMMON_DESKTOPDIRECTORY)
        return false;
    return GetShellFolder(csidl, out);
}

bool NoShellFolders(int, std::string&) { return false; }

std::string RegistryFolder(const char* value)
{
    char buffer[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    SHGetValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", value, nullptr, buffer, &size);
    return buffer;
}

TEST(Placeholders, Fallbacks)
{
    EXPECT_EQ(ResolvePlaceholder("<CommonData>", WithoutCommonFolders), ShellFolder(CSIDL_APPDATA));
    EXPECT_EQ(ResolvePlaceholder("<CommonDocuments>", WithoutCommonFolders), ShellFolder(CSIDL_PERSONAL));
    EXPECT_EQ(ResolvePlaceholder("<CommonDesktop>", WithoutCommonFolders), ShellFolder(CSIDL_DESKTOPDIRECTORY));

    ASSERT_FALSE(RegistryFolder("ProgramFilesDir").empty());
    EXPECT_EQ(ResolvePlaceholder("<ProgramFiles>", NoShellFolders), RegistryFolder("ProgramFilesDir"));
    EXPECT_EQ(ResolvePlaceholder("<ProgramCommon>", NoShellFolders), RegistryFolder("CommonFilesDir"));
    char windows[MAX_PATH] = {}, system[MAX_PATH] = {};
    GetWindowsFolder(windows, MAX_PATH);
    GetSystemDirectoryA(system, MAX_PATH);
    EXPECT_EQ(ResolvePlaceholder("<WinDir>", NoShellFolders), windows);
    EXPECT_EQ(ResolvePlaceholder("<System>", NoShellFolders), system);
    // Without a fallback the value is empty.
    EXPECT_EQ(ResolvePlaceholder("<UserData>", NoShellFolders), "");
    EXPECT_EQ(ResolvePlaceholder("<Desktop>", NoShellFolders), "");
    EXPECT_EQ(ResolvePlaceholder("<CommonData>", NoShellFolders), "");
}

TEST(Placeholders, WindowsFolder)
{
    char folder[MAX_PATH] = {};
    char plain[MAX_PATH] = {};
    const UINT n = GetWindowsFolder(folder, MAX_PATH);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(n, strlen(folder));
    GetWindowsDirectoryA(plain, MAX_PATH);
    EXPECT_STREQ(folder, plain);
    EXPECT_EQ(ResolvePlaceholder("<WinDir>"), folder);
}

TEST(Placeholders, ExtractorExpandsWithItsFolders)
{
    PayloadExtractor extractor;
    extractor.SetInstallFolder("C:\\Program Files\\Quillon & Partners\\Sarventa 5\\");
    EXPECT_EQ(extractor.ExpandPlaceholders("<InstallPath>\\Uninstall.exe"),
              "C:\\Program Files\\Quillon & Partners\\Sarventa 5\\Uninstall.exe");
    const std::string desktop = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
    EXPECT_EQ(extractor.ExpandPlaceholders("<SamplePath>\\a.dat"), desktop + "\\a.dat");
    extractor.SetSamplesFolder("Sarventa Examples");
    EXPECT_EQ(extractor.ExpandPlaceholders("<SamplePath>\\Sample1.dat"), desktop + "\\Sarventa Examples\\Sample1.dat");
    extractor.SetSamplesFolder("D:\\Samples");
    EXPECT_EQ(extractor.ExpandPlaceholders("<SamplePath>\\a.dat"), "D:\\Samples\\a.dat");
    EXPECT_EQ(extractor.ExpandPlaceholders("<UserData>\\x;<UserData>\\y"),
              ShellFolder(CSIDL_APPDATA) + "\\x;" + ShellFolder(CSIDL_APPDATA) + "\\y");
    // A folder that itself holds a placeholder is taken as it is.
    extractor.SetInstallFolder("C:\\<InstallPath>");
    EXPECT_EQ(extractor.ExpandPlaceholders("<InstallPath>\\x"), "C:\\<InstallPath>\\x");
}

}  // namespace
