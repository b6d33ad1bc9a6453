#include "WizardPage.h"

#include "WizardContext.h"
#include "WizardTexts.h"
#include "resource.h"

void CWizardPage::LayoutControls(int dx, int dy)
{
    size_t count = 0;
    const PAGE_LAYOUT* rows = GetPageLayout(count);
    for (size_t i = 0; i < count; ++i) {
        const HWND hCtrl = GetDlgItem(rows[i].nID);
        if (!hCtrl)
            continue;
        RECT rc;
        ::GetWindowRect(hCtrl, &rc);
        ScreenToClient(&rc);
        const unsigned f = rows[i].nFlags;
        if (f & PAGE_MOVE_X)
            ::OffsetRect(&rc, dx, 0);
        if (f & PAGE_MOVE_Y)
            ::OffsetRect(&rc, 0, dy);
        if (f & PAGE_GROW_X)
            rc.right += dx;
        if (f & PAGE_GROW_Y)
            rc.bottom += dy;
        ::MoveWindow(hCtrl, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, FALSE);
    }
}

const PAGE_LAYOUT* CWizardPage::GetPageLayout(size_t& count) const
{
    count = 0;
    return nullptr;
}

void CWizardPage::SetStatusText(int baseId, int captionId, int secondCaptionId)
{
    IWizardContext& app = GetWizardContext();
    const std::string second = secondCaptionId ? app.LoadText(secondCaptionId) : std::string();
    SetDlgItemText(IDC_STATUS, app.FormatText(baseId, app.LoadText(captionId), second).c_str());
}

namespace {
IWizardContext* g_pWizardContext = nullptr;
}  // namespace

void SetWizardContext(IWizardContext* pContext) { g_pWizardContext = pContext; }

void ForgetWizardContext(const IWizardContext* pContext)
{
    if (g_pWizardContext == pContext)
        g_pWizardContext = nullptr;
}

bool HasWizardContext() { return g_pWizardContext != nullptr; }

IWizardContext& GetWizardContext() { return *g_pWizardContext; }

std::string GetButtonCaption(int textId)
{
    const std::string text = GetWizardContext().LoadText(textId);
    if (textId == IDS_NEXT)
        return text + "  >";
    if (textId == IDS_BACK)
        return "<  " + text;
    return text;
}
