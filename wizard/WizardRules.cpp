#include "WizardRules.h"

int ResolveTargetPage(int current, int target, bool bAdvanced)
{
    const int delta = target - current;
    if (!bAdvanced && delta != 0) {
        while (target == PAGE_FOLDER || target == PAGE_SHORTCUT)
            target += delta > 0 ? 1 : -1;
    }
    return target;
}

WizardButtons ComputeWizardButtons(int page, bool bInstallComplete)
{
    WizardButtons buttons{};
    buttons.bBackEnabled = (page > PAGE_LANGUAGE && !bInstallComplete) || page > PAGE_PROGRESS;
    buttons.bNextEnabled = page < PAGE_INFO;
    buttons.bNextIsDefault = buttons.bNextEnabled;
    buttons.bNextInstalls = page == PAGE_PROGRESS && !bInstallComplete;
    buttons.bExitReadsExit = bInstallComplete;
    return buttons;
}

bool ExitNeedsConfirmation(bool bInstallComplete, int installStatus, int page)
{
    return !bInstallComplete && installStatus != -1 && !(installStatus == 1 && page == PAGE_LANGUAGE);
}

RuledLine ComputeRuledLine(int availableWidth, int dashWidth, int paddedWidth, bool bHasText)
{
    if (dashWidth <= 0)
        return {0, 0};
    const int n = (availableWidth - (bHasText ? paddedWidth : 0)) / dashWidth;
    if (n <= 0)
        return {0, 0};
    if (!bHasText)
        return {n, 0};
    return {n / 2, (n + 1) / 2};
}

bool IsRootedFolderText(const std::string& folder)
{
    const auto isSlash = [](char c) { return c == '\\' || c == '/'; };
    if (folder.size() >= 3 && ((folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z')) &&
        folder[1] == ':' && isSlash(folder[2]))
        return true;
    // "\\server\share": both names present and not empty.
    if (folder.size() < 5 || !isSlash(folder[0]) || !isSlash(folder[1]) || isSlash(folder[2]))
        return false;
    const size_t shareStart = folder.find_first_of("\\/", 2);
    return shareStart != std::string::npos && shareStart + 1 < folder.size() && !isSlash(folder[shareStart + 1]);
}
