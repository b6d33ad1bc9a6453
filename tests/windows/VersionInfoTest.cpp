// The version-information reader on test libraries and programs with known version resources.
#include "Handles.h"
#include "TestSupport.h"
#include "VersionInfo.h"
#include "WinApp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

std::string TestFile(const char* name) { return WinPath(QU_VERSION_TEST_DIR) + "\\" + name; }

// A record whose fields all hold stale values, to see which ones the reader resets.
VERSION_INFO Stale(uint32_t request)
{
    VERSION_INFO info;
    info.nRequest = request;
    info.nFileVersion = 99;
    info.nFileFlags = 99;
    info.strTitle = info.strProductName = info.strProductVersion = "stale";
    info.strFileDescription = info.strLegalNotice = "stale";
    return info;
}

TEST(ReadVersionInfo, EveryItemOfAPrivateDebugBuild)
{
    VERSION_INFO info = Stale(VI_ALL);
    ASSERT_TRUE(ReadVersionInfo(info, TestFile("version_flags.dll").c_str(), true));
    EXPECT_EQ(info.strTitle, "Sarventa Test 5.82 - Private - Debug");
    EXPECT_EQ(info.strProductName, "Sarventa Test");
    EXPECT_EQ(info.strProductVersion, "5.82");
    EXPECT_EQ(info.strFileDescription, "Version test library");
    EXPECT_EQ(info.strLegalNotice, "(c) Quillon & Partners");
    EXPECT_EQ(info.nFileVersion, 0x0005005200010002ull);
    EXPECT_EQ(info.nFileFlags, static_cast<uint32_t>(VS_FF_PRIVATEBUILD | VS_FF_DEBUG));

    // The same flags, of which the mask keeps only the private one.
    info.nRequest = VI_TITLE | VI_FILE_FLAGS;
    ASSERT_TRUE(ReadVersionInfo(info, TestFile("version_masked.dll").c_str(), true));
    EXPECT_EQ(info.strTitle, "Sarventa Test 5.82 - Private");
    EXPECT_EQ(info.nFileFlags, static_cast<uint32_t>(VS_FF_PRIVATEBUILD));
}

TEST(ReadVersionInfo, OnlyRequestedStringsAreTouched)
{
    VERSION_INFO info = Stale(VI_PRODUCT_NAME);
    ASSERT_TRUE(ReadVersionInfo(info, TestFile("version_flags.dll").c_str(), true));
    EXPECT_EQ(info.strProductName, "Sarventa Test");
    EXPECT_EQ(info.strTitle, "stale");
    EXPECT_EQ(info.strProductVersion, "stale");
    EXPECT_EQ(info.strLegalNotice, "stale");
    // The numbers are always reset.
    EXPECT_EQ(info.nFileVersion, 0u);
    EXPECT_EQ(info.nFileFlags, 0u);
}

TEST(ReadVersionInfo, MissingStringsFailButTheRestIsRead)
{
    // Strings under 040C04E4 (French, code page 1252), without a description and a legal notice.
    VERSION_INFO info = Stale(VI_ALL);
    EXPECT_FALSE(ReadVersionInfo(info, TestFile("version_french.dll").c_str(), true));
    EXPECT_EQ(info.strTitle, "Sarventa Test 5.82");
    EXPECT_EQ(info.strProductName, "Sarventa Test");
    EXPECT_EQ(info.strProductVersion, "5.82");
    EXPECT_EQ(info.nFileVersion, 0x0005005200010002ull);
    EXPECT_EQ(info.strFileDescription, "");
    EXPECT_EQ(info.strLegalNotice, "");

    VERSION_INFO some = Stale(VI_PRODUCT_NAME | VI_FILE_VERSION);
    EXPECT_TRUE(ReadVersionInfo(some, TestFile("version_french.dll").c_str(), true));
}

// True when a message box of this process shows up within the wait; it is closed.
bool MessageBoxAppears(DWORD waitMs)
{
    HWND box = FindMessageBox(GetCurrentProcessId(), nullptr, waitMs);
    if (box)
        PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    return box != nullptr;
}

TEST(ReadVersionInfo, NoVersionResourceFailsQuietly)
{
    std::atomic<bool> shown{false};
    std::thread watcher([&] { shown = MessageBoxAppears(300); });
    for (const char* name : {"version_notrans.dll", "version_none.dll", "no_such_file.dll"}) {
        VERSION_INFO info = Stale(VI_ALL);
        EXPECT_FALSE(ReadVersionInfo(info, TestFile(name).c_str(), true)) << name;
        EXPECT_EQ(info.strTitle, "") << name;
        EXPECT_EQ(info.strLegalNotice, "") << name;
        EXPECT_EQ(info.nFileVersion, 0u) << name;
    }
    watcher.join();
    EXPECT_FALSE(shown);
}

TEST(ReadVersionInfo, WithoutANameTheApplicationsModule)
{
    VERSION_INFO info;
    info.nRequest = VI_TITLE;
    // The test program itself carries no version resource.
    EXPECT_FALSE(ReadVersionInfo(info, nullptr, false));
    ModuleHandle library(LoadLibraryA(TestFile("version_flags.dll").c_str()));
    ASSERT_TRUE(library);
    CWinApp app("Versioned");
    app.m_hInstance = library.Get();
    EXPECT_TRUE(ReadVersionInfo(info, nullptr, false));
    EXPECT_EQ(info.strTitle, "Sarventa Test 5.82 - Private - Debug");
}

TEST(ReadVersionInfo, VersionedPrograms)
{
    const struct {
        const char* file;
        uint64_t version;
        const char* title;
    } cases[] = {
        {"version_5_23_9_1.exe", 0x0005001700090001ull, "Sarventa 5.23.9.1"},
        {"version_5_22_4_7.exe", 0x0005001600040007ull, "Sarventa 5.22.4.7"},
        {"version_5_24_0_0.exe", 0x0005001800000000ull, "Sarventa 5.24.0.0"},
        {"version_6_0_0_0.exe", 0x0006000000000000ull, "Sarventa 6.0.0.0"},
    };
    for (const auto& c : cases) {
        VERSION_INFO info;
        info.nRequest = VI_ALL;
        EXPECT_TRUE(ReadVersionInfo(info, TestFile(c.file).c_str(), true)) << c.file;
        EXPECT_EQ(info.nFileVersion, c.version) << c.file;
        EXPECT_EQ(info.strTitle, c.title) << c.file;
        EXPECT_EQ(info.nFileFlags, 0u) << c.file;
    }
}

}  // namespace
