// Platform layer: the message pump and message box captions.
#include "ErrorReport.h"
#include "MessagePump.h"
#include "WinApp.h"

#include <gtest/gtest.h>

namespace {

UINT g_received = 0;

LRESULT CALLBACK CountingProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP + 1)
        ++g_received;
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

HWND CreateCountingWindow()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QuPumpTest";
    RegisterClassA(&wc);
    return CreateWindowA("QuPumpTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

class FilteringApp : public CWinApp {
public:
    FilteringApp() : CWinApp("Filtering") {}
    bool PreTranslateMessage(MSG* pMsg) override { return pMsg->message == WM_APP + 1 && ++filtered > 0; }
    bool OnIdle(long lCount) override
    {
        idle.push_back(lCount);
        return false;
    }
    int filtered = 0;
    std::vector<long> idle;
};

TEST(PumpMessages, DispatchesPostedMessages)
{
    HWND hWnd = CreateCountingWindow();
    ASSERT_TRUE(hWnd);
    g_received = 0;
    PostMessageA(hWnd, WM_APP + 1, 0, 0);
    PostMessageA(hWnd, WM_APP + 1, 0, 0);
    PumpMessages(false);
    EXPECT_EQ(g_received, 2u);
    PumpMessages(false);  // nothing waits: returns at once
    EXPECT_EQ(g_received, 2u);
    DestroyWindow(hWnd);
}

TEST(PumpMessages, ApplicationFiltersAndIdles)
{
    HWND hWnd = CreateCountingWindow();
    ASSERT_TRUE(hWnd);
    g_received = 0;
    FilteringApp app;
    PostMessageA(hWnd, WM_APP + 1, 0, 0);
    PumpMessages(false);
    EXPECT_EQ(app.filtered, 1);
    EXPECT_EQ(g_received, 0u);
    EXPECT_TRUE(app.idle.empty());
    PumpMessages(true);
    EXPECT_EQ(app.idle, (std::vector<long>{0, 1}));
    DestroyWindow(hWnd);
}

TEST(MessageBoxCaption, GivenThenApplicationThenProgram)
{
    EXPECT_EQ(GetMessageBoxCaption("Given"), "Given");
    {
        CWinApp app("Installer -- Sarventa 5.23i");
        EXPECT_EQ(AfxGetApp(), &app);
        EXPECT_EQ(GetMessageBoxCaption(""), "Installer -- Sarventa 5.23i");
        EXPECT_EQ(GetMessageBoxCaption(nullptr), "Installer -- Sarventa 5.23i");
        app.SetAppName("Renamed");
        EXPECT_EQ(GetMessageBoxCaption(""), "Renamed");
    }
    EXPECT_EQ(AfxGetApp(), nullptr);
    // The test program has no version information: its file name.
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string title;
    EXPECT_FALSE(ReadProgramTitle(title));
    EXPECT_EQ(GetMessageBoxCaption(""), path);
}

}  // namespace
