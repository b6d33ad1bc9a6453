// Driving real windows from a test: a dialog runs in a worker thread (or another process) and the test finds
// its windows and sends them messages by control id.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

// Runs a function on a thread of its own (the dialog's user-interface thread); joined when destroyed.
class UiThread {
public:
    explicit UiThread(std::function<void()> body);
    ~UiThread();
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;

    DWORD Id() const { return m_id; }
    // Waits for the body to return; false after timeout ms.
    bool Join(DWORD timeout = 20000);

private:
    std::thread m_thread;
    HANDLE m_done = nullptr;
    DWORD m_id = 0;
};

// A visible top-level dialog (#32770) of the thread, other than other; null after timeout ms.
HWND WaitForDialog(DWORD threadId, HWND other = nullptr, DWORD timeout = 20000);
// A visible top-level dialog (#32770) of the process, other than other, that accept (when given) takes; null
// when there is none now.
HWND FindProcessDialog(DWORD processId, HWND other = nullptr, const std::function<bool(HWND)>& accept = nullptr);
// A visible top-level dialog (#32770) of another process; null after timeout ms.
HWND WaitForProcessDialog(DWORD processId, DWORD timeout = 30000);
// The first window below parent (at any depth, pages included) with the control id; null when none.
HWND FindDescendant(HWND parent, int id);
// Waits until condition holds, checking every 10 ms; false after timeout ms.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeout = 5000);

std::string GetWindowTextString(HWND hwnd);
std::string GetItemText(HWND dialog, int id);
void SetItemText(HWND dialog, int id, const std::string& text);
// The window with the keyboard focus in the thread's queue.
HWND FocusOf(DWORD threadId);
// A key pressed and released, posted to the window (the modal loop sees it as typed).
void PressKey(HWND hwnd, WPARAM key);
// BM_CLICK posted, so a handler that opens modal UI does not block the test.
void ClickButton(HWND dialog, int id);
// The control's rectangle in the dialog's client coordinates.
RECT GetItemRect(HWND dialog, int id);
// Resizes the dialog's window so that its client area gets the given size.
void SetClientSize(HWND dialog, int cx, int cy);
SIZE GetClientSize(HWND dialog);

// Answers the message box the thread shows (its text is returned) with the button id; empty text when none
// appeared in time.
std::string AnswerMessageBox(DWORD threadId, int button, HWND other = nullptr, DWORD timeout = 20000);

// A new job object that ends every process in it when its last handle is closed, also when the program
// holding it is killed (CTest's time-out): nothing a test started outlives it to disturb the tests after it.
// Null on failure.
HANDLE CreateKillOnCloseJob();

// Puts a process created with CREATE_SUSPENDED into job and lets it run; on failure the process is ended.
bool ResumeInJob(HANDLE job, const PROCESS_INFORMATION& pi);
