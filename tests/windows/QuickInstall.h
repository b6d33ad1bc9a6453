// Drives setup.exe's wizard from another process by control ids: by default along the quick path (Next,
// Next, Install, then Next and Exit once the installation completed; Exit, reading Cancel, after a failed
// one). A WizardWalk chooses the language in the list, the advanced path, the About box and Browse.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

struct QuickInstallResult {
    DWORD exitCode = 0;     // setup.exe's exit code; 1000 when it did not start, 1001 when it did not end
    bool bShown = false;    // the wizard appeared
    bool bCompleted = false;  // Exit read "Exit" after Install
    bool bWalked = true;    // every window the walk asked for appeared
    std::string log;        // the progress page's log box after the run
    std::string languageMessage;  // the message box answered after the language was chosen, if any
};

struct WizardWalk {
    int languageItem = -1;   // entry of the language page's list to choose, from 0; -1 keeps the one shown
    bool bAdvanced = false;  // choose advanced on the method page: the folder and shortcut pages are shown
    bool bAbout = false;     // open the About box from the system menu on the language page, then OK
    bool bBrowse = false;    // press Browse on the folder page (advanced only), then Cancel
    bool bInstall = true;    // false: Exit on the summary, the question answered Yes
};

// onPage (may be empty) is called with the frame after each move, with the step's name: "language",
// "method", "folder", "shortcut", "summary", "log" (the progress page after the run) and "information";
// and with the dialog itself for "about" and "browse" while it is open. So a caller can look at or
// photograph every page.
QuickInstallResult RunQuickInstallation(const std::string& setupExe,
                                        const std::function<void(HWND window, const char* step)>& onPage = {},
                                        const WizardWalk& walk = {});
