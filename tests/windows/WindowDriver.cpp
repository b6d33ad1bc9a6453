#include "WindowDriver.h"

#include <vector>

UiThread::UiThread(std::function<void()> body)
{
    m_done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_thread = std::thread([this, started, body = std::move(body)] {
        m_id = GetCurrentThreadId();
        SetEvent(started);
        body();
        SetEvent(m_done);
    });
    WaitForSingleObject(started, INFINITE);
    CloseHandle(started);
}

UiThread::~UiThread()
{
    if (m_thread.joinable())
        m_thread.join();
    CloseHandle(m_done);
}

bool UiThread::Join(DWORD timeout)
{
    if (!m_thread.joinable())
        return true;
    if (WaitForSingleObject(m_done, timeout) != WAIT_OBJECT_0)
        return false;
    m_thread.join();
    return true;
}

namespace {

struct DialogSearch {
    HWND other;
    HWND found;
};

BOOL CALLBACK FindDialogOfThread(HWND hwnd, LPARAM param)
{
    auto* search = reinterpret_cast<DialogSearch*>(param);
    char cls[16] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (hwnd != search->other && lstrcmpA(cls, "#32770") == 0 && IsWindowVisible(hwnd)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

struct ProcessDialogSearch {
    DWORD processId;
    HWND other;
    const std::function<bool(HWND)>* accept;
    HWND found;
};

BOOL CALLBACK FindDialogOfProcess(HWND hwnd, LPARAM param)
{
    auto* search = reinterpret_cast<ProcessDialogSearch*>(param);
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    char cls[16] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (processId == search->processId && hwnd != search->other && lstrcmpA(cls, "#32770") == 0 &&
        IsWindowVisible(hwnd) && (!*search->accept || (*search->accept)(hwnd))) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

struct DescendantSearch {
    int id;
    HWND found;
};

BOOL CALLBACK FindDescendantById(HWND hwnd, LPARAM param)
{
    auto* search = reinterpret_cast<DescendantSearch*>(param);
    if (GetDlgCtrlID(hwnd) != search->id)
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

}  // namespace

HWND FindProcessDialog(DWORD processId, HWND other, const std::function<bool(HWND)>& accept)
{
    ProcessDialogSearch search = {processId, other, &accept, nullptr};
    EnumWindows(FindDialogOfProcess, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForProcessDialog(DWORD processId, DWORD timeout)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindProcessDialog(processId)) != nullptr; }, timeout);
    return found;
}

HWND FindDescendant(HWND parent, int id)
{
    DescendantSearch search = {id, nullptr};
    EnumChildWindows(parent, FindDescendantById, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForDialog(DWORD threadId, HWND other, DWORD timeout)
{
    DialogSearch search = {other, nullptr};
    WaitUntil(
        [&] {
            EnumThreadWindows(threadId, FindDialogOfThread, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeout);
    return search.found;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeout)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeout)
            return false;
        Sleep(10);
    }
}

std::string GetWindowTextString(HWND hwnd)
{
    const LRESULT n = SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::vector<char> text(static_cast<size_t>(n) + 1);
    SendMessageA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

std::string GetItemText(HWND dialog, int id) { return GetWindowTextString(GetDlgItem(dialog, id)); }

void SetItemText(HWND dialog, int id, const std::string& text)
{
    SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

HWND FocusOf(DWORD threadId)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(threadId, &info) ? info.hwndFocus : nullptr;
}

void PressKey(HWND hwnd, WPARAM key)
{
    PostMessageA(hwnd, WM_KEYDOWN, key, 1);
    PostMessageA(hwnd, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001));
}

void ClickButton(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

RECT GetItemRect(HWND dialog, int id)
{
    RECT rc = {};
    GetWindowRect(GetDlgItem(dialog, id), &rc);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

void SetClientSize(HWND dialog, int cx, int cy)
{
    RECT window, client;
    GetWindowRect(dialog, &window);
    GetClientRect(dialog, &client);
    const int frameX = (window.right - window.left) - client.right;
    const int frameY = (window.bottom - window.top) - client.bottom;
    SetWindowPos(dialog, nullptr, 0, 0, cx + frameX, cy + frameY, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

SIZE GetClientSize(HWND dialog)
{
    RECT rc = {};
    GetClientRect(dialog, &rc);
    return SIZE{rc.right, rc.bottom};
}

std::string AnswerMessageBox(DWORD threadId, int button, HWND other, DWORD timeout)
{
    const HWND box = WaitForDialog(threadId, other, timeout);
    if (!box)
        return std::string();
    const std::string text = GetItemText(box, 0xFFFF);
    PostMessageA(GetDlgItem(box, button), BM_CLICK, 0, 0);
    WaitUntil([box] { return !IsWindow(box); });
    return text;
}

HANDLE CreateKillOnCloseJob()
{
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job && !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

bool ResumeInJob(HANDLE job, const PROCESS_INFORMATION& pi)
{
    if (!job || !AssignProcessToJobObject(job, pi.hProcess)) {
        TerminateProcess(pi.hProcess, 99);
        return false;
    }
    ResumeThread(pi.hThread);
    return true;
}
