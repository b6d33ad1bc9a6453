// Platform layer: the message pump, message box captions, and the shipped programs' own entry point.
#include "ErrorReport.h"
#include "MessagePump.h"
#include "TestSupport.h"
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

// The entry point that stands in for the runtime's start-up: static constructors before WinMain, the command
// line after a quoted program name and its blanks, exceptions thrown through the runtime's own frames,
// WinMain's result as the exit code and the static destructors at exit.
struct StartCase {
    const char* name;
    const char* mode;  // what the probe's command line starts with
    DWORD code;        // its exit code
    const char* end;   // what the report ends with after the caught exceptions
};

const StartCase kStartCases[] = {
    {"Returns", "", 7, "exit\n"},
    // An exception that nothing catches ends the program through std::terminate (abort: exit code 3, no
    // destructors), as under the runtime's start-up, not as a crash that the system reports.
    {"UncaughtException", "/Uncaught ", 3, ""},
};

class ProgramStart : public ::testing::TestWithParam<StartCase> {};

TEST_P(ProgramStart, RunsWhatTheRuntimeStartUpRan)
{
    // A folder of each case's own: CTest runs the cases side by side.
    const std::string folder = std::string("program-start-") + GetParam().name;
    const std::string report = FreshFolder(folder) + "\\report.txt";
    const std::string args = GetParam().mode + report;
    std::string command = "\"" + WinPath(QU_PROGRAM_START_PROBE) + "\" \t " + args;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    DWORD code = 0;
    const DWORD wait = WaitForSingleObject(pi.hProcess, 30000);
    EXPECT_EQ(wait, WAIT_OBJECT_0);
    if (wait != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 0xDEAD);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(code, GetParam().code);
    EXPECT_EQ(ReadFileBytes(report),
              "line [" + args + "]\nconstructed\nbad_alloc\nout of range\nfits, carried\n" + GetParam().end);
    RemoveTree(TestRoot() + "\\" + folder);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgramStart, ::testing::ValuesIn(kStartCases),
                         [](const ::testing::TestParamInfo<StartCase>& info) { return info.param.name; });

}  // namespace
