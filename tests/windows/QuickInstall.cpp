#include "QuickInstall.h"

#include "WindowDriver.h"
#include "resource.h"

#include <atomic>
#include <thread>

namespace {

constexpr int ID_NEXT = IDOK;
constexpr int ID_EXIT = IDCANCEL;
constexpr UINT ID_ABOUT_ENTRY = 0x10;

bool Enabled(HWND frame, int id) { return IsWindowEnabled(GetDlgItem(frame, id)) != FALSE; }

void Press(HWND frame, int id) { SendMessageA(frame, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

BOOL CALLBACK FindVisiblePage(HWND child, LPARAM param)
{
    char cls[16] = {};
    GetClassNameA(child, cls, sizeof cls);
    if (GetParent(child) != *reinterpret_cast<HWND*>(param) || lstrcmpA(cls, "#32770") != 0 ||
        !IsWindowVisible(child))
        return TRUE;
    *reinterpret_cast<HWND*>(param) = child;
    return FALSE;
}

// The page the frame shows: its one visible child dialog.
HWND CurrentPage(HWND frame)
{
    HWND found = frame;
    EnumChildWindows(frame, FindVisiblePage, reinterpret_cast<LPARAM>(&found));
    return found != frame ? found : nullptr;
}

// Sends a message whose handler may show a message box: a box that comes up is answered OK, so the walk
// goes on, and its text returned. Sent from a thread of its own, which the box holds until it is answered.
std::string SendAndAnswer(HWND target, UINT message, WPARAM wParam, LPARAM lParam, HWND frame)
{
    const DWORD threadId = GetWindowThreadProcessId(frame, nullptr);
    std::atomic<bool> handled(false);
    std::thread sender([&] {
        SendMessageTimeoutA(target, message, wParam, lParam, SMTO_NORMAL, 60000, nullptr);
        handled = true;
    });
    HWND box = nullptr;
    WaitUntil([&] { return handled || (box = WaitForDialog(threadId, frame, 0)) != nullptr; }, 20000);
    const std::string text = box ? AnswerMessageBox(threadId, IDOK, frame, 5000) : std::string();
    sender.join();
    return text;
}

// Opens a dialog over the frame by posting the message, reports it as the step once ready, and closes it
// with the button. False when it did not appear.
bool VisitDialog(HWND frame, HWND target, UINT message, WPARAM wParam, const char* step, int closeButton,
                 const std::function<bool(HWND)>& ready, const std::function<void(HWND, const char*)>& notify)
{
    const DWORD threadId = GetWindowThreadProcessId(frame, nullptr);
    PostMessageA(target, message, wParam, 0);
    const HWND dialog = WaitForDialog(threadId, frame, 60000);
    if (!dialog)
        return false;
    const bool ok = WaitUntil([&] { return ready(dialog); }, 30000);
    if (ok)
        notify(dialog, step);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(closeButton, BN_CLICKED), 0);
    WaitUntil([dialog] { return !IsWindow(dialog); });
    return ok;
}

}  // namespace

QuickInstallResult RunQuickInstallation(const std::string& setupExe,
                                        const std::function<void(HWND, const char*)>& onPage,
                                        const WizardWalk& walk)
{
    QuickInstallResult result;
    std::string command = "\"" + setupExe + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        result.exitCode = 1000;
        return result;
    }
    const auto notify = [&](HWND window, const char* step) {
        if (onPage)
            onPage(window, step);
    };
    const HWND frame = WaitForProcessDialog(pi.dwProcessId);
    result.bShown = frame != nullptr;
    if (frame) {
        const DWORD threadId = GetWindowThreadProcessId(frame, nullptr);
        // Once it is the active window, as a user meets it.
        WaitUntil([frame] { return GetForegroundWindow() == frame; }, 5000);
        if (walk.languageItem >= 0) {
            // As a user does it: the list's selection changes, and its page hears of it.
            const HWND page = CurrentPage(frame);
            const HWND list = GetDlgItem(page, IDC_LANGUAGE_LIST);
            result.bWalked = SendMessageA(list, CB_SETCURSEL, walk.languageItem, 0) == walk.languageItem;
            result.languageMessage = SendAndAnswer(page, WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE_LIST, CBN_SELCHANGE),
                                                   reinterpret_cast<LPARAM>(list), frame);
        }
        // The About box first: closing it gives the activation back to the frame, so the language page is
        // seen active whatever the window system did at the start.
        if (walk.bAbout) {
            result.bWalked &= VisitDialog(frame, frame, WM_SYSCOMMAND, ID_ABOUT_ENTRY, "about", IDOK,
                                          [](HWND) { return true; }, notify);
        }
        notify(frame, "language");
        Press(frame, ID_NEXT);
        if (walk.bAdvanced)
            SendMessageA(GetDlgItem(CurrentPage(frame), IDC_ADVANCED), BM_CLICK, 0, 0);
        notify(frame, "method");
        Press(frame, ID_NEXT);
        if (walk.bAdvanced) {
            notify(frame, "folder");
            if (walk.bBrowse) {
                // The folder tree dialog fills its path once it has walked to the folder; the system browser
                // has no such box and is taken as it comes up.
                const auto ready = [](HWND dialog) {
                    const HWND path = GetDlgItem(dialog, IDC_FOLDER_PATH);
                    return !path || !GetWindowTextString(path).empty();
                };
                result.bWalked &= VisitDialog(frame, GetDlgItem(CurrentPage(frame), IDC_BROWSE), BM_CLICK, 0,
                                              "browse", IDCANCEL, ready, notify);
            }
            Press(frame, ID_NEXT);
            notify(frame, "shortcut");
            Press(frame, ID_NEXT);
        }
        notify(frame, "summary");
        if (walk.bInstall) {
            // Install runs inside the button's handler: posted, then Exit is disabled until the run ends.
            PostMessageA(frame, WM_COMMAND, MAKEWPARAM(ID_NEXT, BN_CLICKED), 0);
            WaitUntil([frame] { return !Enabled(frame, ID_EXIT); }, 5000);
            WaitUntil([frame] { return Enabled(frame, ID_EXIT); }, 120000);
            result.log = GetWindowTextString(FindDescendant(frame, IDC_LOG));
            // Only a completed installation disables Back on the progress page.
            result.bCompleted = Enabled(frame, ID_NEXT) && !Enabled(frame, IDC_BACK);
            notify(frame, "log");
            if (result.bCompleted) {
                Press(frame, ID_NEXT);
                notify(frame, "information");
            }
        }
        // Before or after a failed run Exit asks; the question is answered Yes.
        PostMessageA(frame, WM_COMMAND, MAKEWPARAM(ID_EXIT, BN_CLICKED), 0);
        if (!result.bCompleted)
            AnswerMessageBox(threadId, IDYES, frame, 5000);
    }
    result.exitCode = 1001;
    if (WaitForSingleObject(pi.hProcess, frame ? 60000 : 120000) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &result.exitCode);
    else
        TerminateProcess(pi.hProcess, 1001);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return result;
}
