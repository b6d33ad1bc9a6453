// Display, theme and system helpers against the real system: monitors, DLLs, window classes, shell items.
#include "Handles.h"
#include "MultiMonitor.h"
#include "PlatformUtils.h"
#include "TestSupport.h"
#include "WinApp.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

std::string TestDll(const char* name) { return WinPath(QU_VERSION_TEST_DIR) + "\\" + name; }

std::string ModulePath(HMODULE module)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    return path;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

// Runs a test body with the multi-monitor entry points resolved from module, then from USER32 again.
class SingleMonitorFallback : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_metricsOnly.Reset(LoadLibraryA(TestDll("version_masked.dll").c_str()));
        ASSERT_TRUE(m_metricsOnly);
        SetMultiMonitorSource(m_metricsOnly.Get());
    }
    void TearDown() override { SetMultiMonitorSource(nullptr); }

    const int m_cx = GetSystemMetrics(SM_CXSCREEN);
    const int m_cy = GetSystemMetrics(SM_CYSCREEN);

private:
    ModuleHandle m_metricsOnly;
};

TEST(MultiMonitor, RealFunctionsWhenUser32HasThemAll)
{
    SetMultiMonitorSource(nullptr);
    EXPECT_EQ(xGetSystemMetrics(SM_CMONITORS), GetSystemMetrics(SM_CMONITORS));
    const HMONITOR primary = xMonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    EXPECT_EQ(primary, MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY));
    EXPECT_NE(primary, PRIMARY_MONITOR_PSEUDO_HANDLE);
}

TEST_F(SingleMonitorFallback, OneEntryPointAloneIsNotEnough)
{
    // The module's own GetSystemMetrics (777) is forgotten with the six missing ones.
    EXPECT_EQ(xGetSystemMetrics(SM_CMONITORS), 1);
}

TEST_F(SingleMonitorFallback, MetricsDescribeThePrimaryScreen)
{
    EXPECT_EQ(xGetSystemMetrics(SM_XVIRTUALSCREEN), 0);
    EXPECT_EQ(xGetSystemMetrics(SM_YVIRTUALSCREEN), 0);
    EXPECT_EQ(xGetSystemMetrics(SM_CXVIRTUALSCREEN), m_cx);
    EXPECT_EQ(xGetSystemMetrics(SM_CYVIRTUALSCREEN), m_cy);
    EXPECT_EQ(xGetSystemMetrics(SM_CMONITORS), 1);
    EXPECT_EQ(xGetSystemMetrics(SM_SAMEDISPLAYFORMAT), 1);
    EXPECT_EQ(xGetSystemMetrics(SM_CXHSCROLL), GetSystemMetrics(SM_CXHSCROLL));
    EXPECT_GT(m_cx, 0);
}

TEST_F(SingleMonitorFallback, RectanglesAndPointsOnThePrimaryScreen)
{
    const RECT inside = {10, 10, 20, 20};
    const RECT above = {-50, -50, 0, 0};      // touches the corner only: right and bottom are not above 0
    const RECT right = {m_cx, 0, m_cx + 10, 10};
    EXPECT_EQ(xMonitorFromRect(&inside, MONITOR_DEFAULTTONULL), PRIMARY_MONITOR_PSEUDO_HANDLE);
    EXPECT_EQ(xMonitorFromRect(&above, MONITOR_DEFAULTTONULL), nullptr);
    EXPECT_EQ(xMonitorFromRect(&right, MONITOR_DEFAULTTONULL), nullptr);
    EXPECT_EQ(xMonitorFromRect(&above, MONITOR_DEFAULTTOPRIMARY), PRIMARY_MONITOR_PSEUDO_HANDLE);
    EXPECT_EQ(xMonitorFromRect(&right, MONITOR_DEFAULTTONEAREST), PRIMARY_MONITOR_PSEUDO_HANDLE);
    EXPECT_EQ(xMonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTONULL), PRIMARY_MONITOR_PSEUDO_HANDLE);
    EXPECT_EQ(xMonitorFromPoint(POINT{m_cx, 0}, MONITOR_DEFAULTTONULL), nullptr);
    EXPECT_EQ(xMonitorFromPoint(POINT{-1, 5}, MONITOR_DEFAULTTONEAREST), PRIMARY_MONITOR_PSEUDO_HANDLE);
}

TEST_F(SingleMonitorFallback, WindowsByTheirRectangle)
{
    HWND onScreen = CreateWindowA("STATIC", "", WS_POPUP, 10, 10, 100, 100, nullptr, nullptr, nullptr, nullptr);
    HWND offScreen = CreateWindowA("STATIC", "", WS_POPUP, -500, -500, 100, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(onScreen && offScreen);
    EXPECT_EQ(xMonitorFromWindow(onScreen, MONITOR_DEFAULTTONULL), PRIMARY_MONITOR_PSEUDO_HANDLE);
    EXPECT_EQ(xMonitorFromWindow(offScreen, MONITOR_DEFAULTTONULL), nullptr);
    EXPECT_EQ(xMonitorFromWindow(offScreen, MONITOR_DEFAULTTOPRIMARY), PRIMARY_MONITOR_PSEUDO_HANDLE);
    // A minimised window counts by its normal position, not by where the icon went.
    HWND minimised = CreateWindowA("STATIC", "", WS_POPUP | WS_VISIBLE | WS_MINIMIZE, 30, 30, 100, 100, nullptr,
                                   nullptr, nullptr, nullptr);
    ASSERT_TRUE(minimised);
    ShowWindow(minimised, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(minimised));
    EXPECT_EQ(xMonitorFromWindow(minimised, MONITOR_DEFAULTTONULL), PRIMARY_MONITOR_PSEUDO_HANDLE);
    DestroyWindow(minimised);
    DestroyWindow(onScreen);
    DestroyWindow(offScreen);
    EXPECT_EQ(xMonitorFromWindow(onScreen, MONITOR_DEFAULTTONULL), nullptr);
}

TEST_F(SingleMonitorFallback, MonitorInfoOfThePseudoHandle)
{
    RECT work;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    MONITORINFOEXA info = {};
    info.cbSize = sizeof(MONITORINFO);
    ASSERT_TRUE(xGetMonitorInfo(PRIMARY_MONITOR_PSEUDO_HANDLE, &info));
    EXPECT_EQ(info.rcMonitor.left, 0);
    EXPECT_EQ(info.rcMonitor.top, 0);
    EXPECT_EQ(info.rcMonitor.right, m_cx);
    EXPECT_EQ(info.rcMonitor.bottom, m_cy);
    EXPECT_TRUE(EqualRect(&info.rcWork, &work));
    EXPECT_EQ(info.dwFlags, static_cast<DWORD>(MONITORINFOF_PRIMARY));
    EXPECT_EQ(info.szDevice[0], '\0');  // the short structure has no device name

    info.cbSize = sizeof info;
    ASSERT_TRUE(xGetMonitorInfo(PRIMARY_MONITOR_PSEUDO_HANDLE, &info));
    EXPECT_STREQ(info.szDevice, "DISPLAY");

    info.cbSize = sizeof(MONITORINFO) - 1;
    EXPECT_FALSE(xGetMonitorInfo(PRIMARY_MONITOR_PSEUDO_HANDLE, &info));
    info.cbSize = sizeof info;
    EXPECT_FALSE(xGetMonitorInfo(reinterpret_cast<HMONITOR>(static_cast<INT_PTR>(0x12340043)), &info));
}

BOOL CALLBACK CollectMonitor(HMONITOR monitor, HDC, LPRECT rect, LPARAM data)
{
    reinterpret_cast<std::vector<std::pair<HMONITOR, RECT>>*>(data)->push_back({monitor, *rect});
    return TRUE;
}

TEST_F(SingleMonitorFallback, EnumerationsListTheOneMonitorAndDisplay)
{
    std::vector<std::pair<HMONITOR, RECT>> seen;
    const RECT clip = {5, 6, 50, 60};
    EXPECT_TRUE(xEnumDisplayMonitors(nullptr, &clip, CollectMonitor, reinterpret_cast<LPARAM>(&seen)));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, PRIMARY_MONITOR_PSEUDO_HANDLE);
    EXPECT_TRUE(EqualRect(&seen[0].second, &clip));

    DISPLAY_DEVICEA device = {};
    device.cb = sizeof device;
    ASSERT_TRUE(xEnumDisplayDevices(nullptr, 0, &device, 0));
    EXPECT_STREQ(device.DeviceName, "DISPLAY");
    EXPECT_TRUE(device.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE);
    EXPECT_FALSE(xEnumDisplayDevices(nullptr, 1, &device, 0));
}

TEST(LoadSystemLibrary, SystemFolderFirstThenTheSearchOrder)
{
    char system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 0u);
    ModuleHandle version(LoadSystemLibrary("version.dll"));
    ASSERT_TRUE(version);
    EXPECT_EQ(Lower(ModulePath(version.Get())), Lower(std::string(system) + "\\version.dll"));

    // Not in the system folder: found beside the program by the normal search order.
    ModuleHandle besideProgram(LoadSystemLibrary("version_flags.dll"));
    ASSERT_TRUE(besideProgram);
    EXPECT_EQ(Lower(ModulePath(besideProgram.Get())), Lower(TestDll("version_flags.dll")));

    ModuleHandle absolute(LoadSystemLibrary(TestDll("version_none.dll").c_str()));
    EXPECT_TRUE(absolute);
    EXPECT_FALSE(LoadSystemLibrary("qu_no_such_library.dll"));
    EXPECT_FALSE(LoadSystemLibrary(TestDll("qu_no_such_library.dll").c_str()));
    EXPECT_FALSE(LoadSystemLibrary(""));
}

TEST(GetDllVersion, FromTheExportOrZero)
{
    const std::string withExport = TestDll("version_flags.dll");
    EXPECT_EQ(GetDllVersion(withExport.c_str()), 0x00050052u);
    // Loaded for the call only.
    EXPECT_EQ(GetModuleHandleA(withExport.c_str()), nullptr);
    {
        ModuleHandle held(LoadLibraryA(withExport.c_str()));
        EXPECT_EQ(GetDllVersion(withExport.c_str()), 0x00050052u);
        EXPECT_EQ(GetModuleHandleA(withExport.c_str()), held.Get());
    }
    EXPECT_EQ(GetDllVersion(TestDll("version_none.dll").c_str()), 0u);    // no DllGetVersion
    EXPECT_EQ(GetDllVersion(TestDll("version_french.dll").c_str()), 0u);  // DllGetVersion fails
    EXPECT_EQ(GetDllVersion("qu_no_such_library.dll"), 0u);
    // Without a manifest the program gets common controls 5.x.
    const DWORD commonControls = GetDllVersion("Comctl32.dll");
    EXPECT_GE(commonControls, 0x00050000u);
    EXPECT_LT(commonControls, 0x00060000u);
}

TEST(VisualStyles, InactiveBelowCommonControls6SoNoThemeIsApplied)
{
    ResetVisualStyleState();
    HWND tree = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(tree);
    ModuleHandle uxTheme(LoadLibraryA("uxtheme.dll"));
    ASSERT_TRUE(uxTheme);
    EXPECT_FALSE(IsVisualStyleActive());
    EXPECT_FALSE(ApplyWindowTheme(tree, L"explorer", nullptr));
    DestroyWindow(tree);
    ResetVisualStyleState();
}

TEST(IsWindowClass, CaseInsensitiveAndByPrefix)
{
    HWND edit = CreateWindowA("Edit", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(edit);
    EXPECT_TRUE(IsWindowClass(edit, "edit"));
    EXPECT_TRUE(IsWindowClass(edit, "EDIT"));
    EXPECT_TRUE(IsWindowClass(edit, "Ed"));  // only as many characters as the name has are read
    EXPECT_FALSE(IsWindowClass(edit, "Editor"));
    EXPECT_FALSE(IsWindowClass(edit, "Button"));
    DestroyWindow(edit);
    EXPECT_FALSE(IsWindowClass(edit, "Edit"));
    EXPECT_FALSE(IsWindowClass(nullptr, "Edit"));
}

TEST(IsSameShellItem, ComparesParsedPaths)
{
    const std::string root = FreshFolder("shell_items");
    const std::string one = root + "\\One";
    const std::string two = root + "\\Two";
    ASSERT_TRUE(CreateDirectoryA(one.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(two.c_str(), nullptr));
    std::string upper = one;
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));

    EXPECT_TRUE(IsSameShellItem(one.c_str(), one.c_str()));
    EXPECT_TRUE(IsSameShellItem(one.c_str(), upper.c_str()));
    EXPECT_TRUE(IsSameShellItem(one.c_str(), (one + "\\").c_str()));
    EXPECT_FALSE(IsSameShellItem(one.c_str(), two.c_str()));
    EXPECT_FALSE(IsSameShellItem(one.c_str(), root.c_str()));
    // Paths that do not exist cannot be parsed: different, unless the strings are equal.
    const std::string missing = root + "\\Missing";
    EXPECT_FALSE(IsSameShellItem(missing.c_str(), (missing + "\\").c_str()));
    EXPECT_FALSE(IsSameShellItem(missing.c_str(), one.c_str()));
    EXPECT_TRUE(IsSameShellItem(missing.c_str(), missing.c_str()));
    EXPECT_FALSE(IsSameShellItem("", one.c_str()));
    EXPECT_FALSE(IsSameShellItem(nullptr, one.c_str()));
    RemoveTree(root);
}

TEST(ParseInteger, TextOrStringResource)
{
    bool error = false;
    EXPECT_EQ(ParseInteger("12 ", &error), 12);
    EXPECT_FALSE(error);
    EXPECT_EQ(ParseInteger("1f", &error, 16), 31);
    EXPECT_FALSE(error);

    ModuleHandle strings(LoadLibraryA(TestDll("version_flags.dll").c_str()));
    ASSERT_TRUE(strings);
    AfxSetResourceHandle(strings.Get());
    EXPECT_EQ(ParseInteger(MAKEINTRESOURCEA(101), &error), 42);
    EXPECT_FALSE(error);
    EXPECT_EQ(ParseInteger(MAKEINTRESOURCEA(102), &error), 12);
    EXPECT_TRUE(error);
    EXPECT_EQ(ParseInteger(MAKEINTRESOURCEA(103), &error), INT_MIN);
    EXPECT_TRUE(error);
    // Longer than the first buffer: read whole, leading zeros and all.
    EXPECT_EQ(ParseInteger(MAKEINTRESOURCEA(104), &error), 42);
    EXPECT_FALSE(error);
    EXPECT_EQ(ParseInteger(MAKEINTRESOURCEA(105), &error), 0);
    EXPECT_TRUE(error);
    AfxSetResourceHandle(nullptr);
}

}  // namespace
