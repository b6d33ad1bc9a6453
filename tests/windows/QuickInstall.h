// Drives setup.exe's wizard from another process along the quick path by control ids: Next, Next, Install,
// then Next and Exit once the installation completed (Exit, reading Cancel, after a failed one).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

struct QuickInstallResult {
    DWORD exitCode = 0;     // setup.exe's exit code; 1000 when it did not start, 1001 when it did not end
    bool bShown = false;    // the wizard appeared
    bool bCompleted = false;  // Exit read "Exit" after Install
    std::string log;        // the progress page's log box after the run
};

// onPage (may be empty) is called with the frame after each move, and once with the log page after the
// run, so that a caller can look at or photograph every page.
QuickInstallResult RunQuickInstallation(const std::string& setupExe,
                                        const std::function<void(HWND frame, const char* step)>& onPage = {});
