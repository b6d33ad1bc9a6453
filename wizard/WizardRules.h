// The wizard's navigation, button and exit rules, the ruled lines of the log box and the folder text rule.
// Pure: no Windows calls.
#pragma once

#include <string>

// Page indices, in the order the wizard shows them.
enum WizardPage { PAGE_LANGUAGE = 0, PAGE_METHOD, PAGE_FOLDER, PAGE_SHORTCUT, PAGE_PROGRESS, PAGE_INFO, PAGE_COUNT };

// The page that ShowPage(target) lands on from current (-1 before the first page): in quick mode a move
// passes over the folder and shortcut pages in its own direction.
int ResolveTargetPage(int current, int target, bool bAdvanced);

// Enabling of Back and Next, and which button is the default, for a shown page.
struct WizardButtons {
    bool bBackEnabled;
    bool bNextEnabled;
    bool bNextIsDefault;  // else Exit
    bool bNextInstalls;   // Next reads Install
    bool bExitReadsExit;  // else Cancel
};
WizardButtons ComputeWizardButtons(int page, bool bInstallComplete);

// Exit asks the user unless the installation completed, a newer version is installed (status -1), or the
// same version is installed (status 1) and the language page is shown.
bool ExitNeedsConfirmation(bool bInstallComplete, int installStatus, int page);

// Dashes on each side of a header of paddedWidth pixels (0 for an empty text) in availableWidth pixels with
// dashes of dashWidth pixels. An empty text gets all its dashes on the left. No dashes when the dash has
// no width or nothing is left.
struct RuledLine {
    int nLeft;
    int nRight;
};
RuledLine ComputeRuledLine(int availableWidth, int dashWidth, int paddedWidth, bool bHasText);

// A folder typed on the folder page is rooted: a drive ("C:\...") or a UNC share ("\\server\share...").
bool IsRootedFolderText(const std::string& folder);
