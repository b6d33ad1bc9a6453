#include "QuickInstall.h"

#include "WindowDriver.h"

namespace {

constexpr int ID_NEXT = IDOK;
constexpr int ID_EXIT = IDCANCEL;
constexpr int ID_BACK = 3;
constexpr int ID_LOG_BOX = 1015;

bool Enabled(HWND frame, int id) { return IsWindowEnabled(GetDlgItem(frame, id)) != FALSE; }

void Press(HWND frame, int id) { SendMessageA(frame, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

}  // namespace

QuickInstallResult RunQuickInstallation(const std::string& setupExe,
                                        const std::function<void(HWND, const char*)>& onPage)
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
    const auto notify = [&](HWND frame, const char* step) {
        if (onPage)
            onPage(frame, step);
    };
    const HWND frame = WaitForProcessDialog(pi.dwProcessId);
    result.bShown = frame != nullptr;
    if (frame) {
        notify(frame, "language");
        Press(frame, ID_NEXT);
        notify(frame, "method");
        Press(frame, ID_NEXT);
        notify(frame, "summary");
        // Install runs inside the button's handler: posted, then Exit is disabled until the run ends.
        PostMessageA(frame, WM_COMMAND, MAKEWPARAM(ID_NEXT, BN_CLICKED), 0);
        WaitUntil([frame] { return !Enabled(frame, ID_EXIT); }, 5000);
        WaitUntil([frame] { return Enabled(frame, ID_EXIT); }, 120000);
        result.log = GetWindowTextString(FindDescendant(frame, ID_LOG_BOX));
        // Only a completed installation disables Back on the progress page.
        result.bCompleted = Enabled(frame, ID_NEXT) && !Enabled(frame, ID_BACK);
        notify(frame, "log");
        if (result.bCompleted) {
            Press(frame, ID_NEXT);
            notify(frame, "information");
        }
        // After a failed run Exit asks; the question is answered Yes.
        const DWORD threadId = GetWindowThreadProcessId(frame, nullptr);
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
