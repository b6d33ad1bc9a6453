// Error reports shown in real message boxes, read back and closed by a watcher thread.
#include "ErrorReport.h"
#include "TestSupport.h"
#include "WinApp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

struct SeenBox {
    std::string caption;
    std::string text;
};

// Waits for a message box of this process, reads it and presses OK.
SeenBox WatchForMessageBox()
{
    SeenBox seen;
    if (HWND box = FindMessageBox(GetCurrentProcessId(), nullptr, 10000)) {
        char buffer[1024] = {};
        GetWindowTextA(box, buffer, sizeof buffer);
        seen.caption = buffer;
        GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
        seen.text = buffer;
        PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    }
    return seen;
}

SeenBox Report(DWORD code, const char* format)
{
    SeenBox seen;
    std::thread watcher([&] { seen = WatchForMessageBox(); });
    ReportSystemError(code, format, 0);
    watcher.join();
    return seen;
}

std::string SystemText(DWORD code)
{
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                   code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string s = text ? text : "";
    LocalFree(text);
    return s;
}

// The message box control drops the trailing line break of the system text.
std::string Trimmed(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

TEST(ReportSystemError, ShowsTheSystemTextCaptionedWithTheApplicationName)
{
    CWinApp app("Installer -- Sarventa 5.23i");
    const SeenBox seen = Report(ERROR_BAD_PATHNAME, "%s");
    EXPECT_EQ(seen.caption, "Installer -- Sarventa 5.23i");
    ASSERT_FALSE(SystemText(ERROR_BAD_PATHNAME).empty());
    EXPECT_EQ(Trimmed(seen.text), Trimmed(SystemText(ERROR_BAD_PATHNAME)));
}

TEST(ReportSystemError, FormatWithPrefixAndUnknownCodes)
{
    CWinApp app("Caption");
    const SeenBox prefixed = Report(ERROR_BAD_PATHNAME, "Cannot go on: %s");
    EXPECT_EQ(Trimmed(prefixed.text), "Cannot go on: " + Trimmed(SystemText(ERROR_BAD_PATHNAME)));
    const SeenBox unknown = Report(0x2000FFFF, nullptr);
    EXPECT_EQ(unknown.text, UNKNOWN_ERROR_TEXT);
    EXPECT_EQ(unknown.caption, "Caption");
}

TEST(ReportSystemError, WithoutApplicationTheProgramNameIsTheCaption)
{
    // The program has no version information; reading it must not report again (one box only).
    ASSERT_EQ(AfxGetApp(), nullptr);
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const SeenBox seen = Report(ERROR_FILE_NOT_FOUND, "%s");
    EXPECT_EQ(seen.caption, path);
    EXPECT_EQ(Trimmed(seen.text), Trimmed(SystemText(ERROR_FILE_NOT_FOUND)));
}

}  // namespace
