// Dispatching pending window messages during long work on the user-interface thread.
#pragma once

// Removes and dispatches every waiting message (the application's PreTranslateMessage first). With
// runIdle, the application's OnIdle runs with 0 and 1 once the queue is empty. Returns at once when no
// message waits; WM_QUIT is dispatched like any other message.
void PumpMessages(bool runIdle);
