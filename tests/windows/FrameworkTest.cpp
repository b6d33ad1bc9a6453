// The application framework: the default application name, the profile's integers and the wait cursor.
#include "WinApp.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <string>

namespace {

TEST(WinApp, WithoutANameTheApplicationIsNamedAfterItsProgram)
{
    CWinApp app;
    EXPECT_STREQ(app.m_pszAppName, "windows_tests");
    EXPECT_EQ(AfxGetApp(), &app);
    app.SetAppName("Installer -- Sarventa 5.23i");
    EXPECT_STREQ(app.m_pszAppName, "Installer -- Sarventa 5.23i");
}

TEST(WinApp, ProfileIntegersInTheRegistry)
{
    CWinApp app("Profile");
    app.SetRegistryKey("QuFrameworkTest");
    EXPECT_EQ(app.GetProfileInt("Settings\\Dialog Size", "Folder", 0), 0u);
    const int size = (300 << 16) | 450;
    EXPECT_TRUE(app.WriteProfileInt("Settings\\Dialog Size", "Folder", size));
    EXPECT_EQ(app.GetProfileInt("Settings\\Dialog Size", "Folder", 0), static_cast<UINT>(size));
    // A value of another type reads as the default.
    const char text[] = "12";
    SHSetValueA(HKEY_CURRENT_USER, "Software\\QuFrameworkTest\\windows_tests\\Settings\\Dialog Size", "Text",
                REG_SZ, text, sizeof text);
    EXPECT_EQ(app.GetProfileInt("Settings\\Dialog Size", "Text", 7), 7u);
    SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\QuFrameworkTest");
}

TEST(WinApp, ProfileIntegersInTheInitialisationFileWithoutRegistryKey)
{
    CWinApp app("Profile");
    EXPECT_EQ(app.GetProfileInt("Settings", "Width", 5), 5u);
    EXPECT_TRUE(app.WriteProfileInt("Settings", "Width", 640));
    EXPECT_EQ(app.GetProfileInt("Settings", "Width", 5), 640u);
    WritePrivateProfileStringA("Settings", nullptr, nullptr, "windows_tests.ini");
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    DeleteFileA((std::string(windows) + "\\windows_tests.ini").c_str());
}

TEST(WaitCursor, NestedScopesRestoreTheCursorOnce)
{
    CWinApp app("Cursor");
    EXPECT_FALSE(app.IsWaitCursorShown());
    {
        CWaitCursor outer;
        EXPECT_TRUE(app.IsWaitCursorShown());
        {
            CWaitCursor inner;
            inner.Restore();
            EXPECT_TRUE(app.IsWaitCursorShown());
        }
        EXPECT_TRUE(app.IsWaitCursorShown());
    }
    EXPECT_FALSE(app.IsWaitCursorShown());
    // An unbalanced end does not go below zero.
    app.DoWaitCursor(-1);
    app.DoWaitCursor(1);
    EXPECT_TRUE(app.IsWaitCursorShown());
    app.DoWaitCursor(-1);
    EXPECT_FALSE(app.IsWaitCursorShown());
}

}  // namespace
