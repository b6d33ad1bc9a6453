#include "MessagePump.h"

#include "WinApp.h"

void PumpMessages(bool runIdle)
{
    CWinApp* app = AfxGetApp();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (app && app->PreTranslateMessage(&msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (runIdle && app) {
        app->OnIdle(0);
        app->OnIdle(1);
    }
}
