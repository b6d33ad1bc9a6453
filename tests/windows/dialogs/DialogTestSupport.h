// Shared pieces of the dialog tests: a modal run on a thread of its own, and code run on the dialog's thread.
#pragma once

#include "Dialog.h"
#include "WindowDriver.h"

#include <functional>

// Message that runs a std::function<void()>* on the dialog's thread (see DECLARE_TEST_RUNNER).
constexpr UINT WM_TEST_RUN = WM_APP + 1;

// In a test dialog class: the handler of WM_TEST_RUN; the class's map has ON_MESSAGE(WM_TEST_RUN, OnTestRun).
#define DECLARE_TEST_RUNNER()                                         \
    LRESULT OnTestRun(WPARAM, LPARAM lParam)                          \
    {                                                                 \
        (*reinterpret_cast<std::function<void()>*>(lParam))();        \
        return 0;                                                     \
    }

// Runs fn on the thread of the dialog window (whose class declares the test runner).
inline void RunOnDialogThread(HWND hwnd, std::function<void()> fn)
{
    SendMessageA(hwnd, WM_TEST_RUN, 0, reinterpret_cast<LPARAM>(&fn));
}

// The dialog runs modally on a thread of its own; hwnd is its window once shown (null if none appeared).
struct ModalRun {
    CDialog& dlg;
    INT_PTR result = 0;
    UiThread thread;
    HWND hwnd = nullptr;
    explicit ModalRun(CDialog& d) : dlg(d), thread([this] { result = dlg.DoModal(); })
    {
        hwnd = WaitForDialog(thread.Id());
    }
    // Cancels the dialog and waits for the run to end.
    bool Cancel()
    {
        if (hwnd && IsWindow(hwnd))
            PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return thread.Join();
    }
};
