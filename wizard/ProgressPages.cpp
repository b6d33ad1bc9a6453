#include "ProgressPages.h"

#include "ProductConstants.h"
#include "WinApp.h"
#include "WizardContext.h"
#include "WizardRules.h"
#include "WizardTexts.h"
#include "resource.h"

#include <shlwapi.h>

namespace {


int TextWidth(HDC hdc, const std::string& text)
{
    SIZE size = {};
    ::GetTextExtentPoint32A(hdc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

}  // namespace

IMPLEMENT_DYNAMIC(CDlgInstall, CDialog)

BOOL CDlgInstall::OnInitDialog()
{
    CWizardPage::OnInitDialog();
    m_progress.SetRange32(0, 100);
    m_progress.ShowWindow(SW_HIDE);
    return TRUE;
}

void CDlgInstall::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_LOG, m_editLog);
    DDX_Control(pDX, IDC_PROGRESS, m_progress);
    if (!pDX->m_bSaveAndValidate && !GetWizardContext().IsInstallComplete())
        BuildSummary();
}

void CDlgInstall::BuildSummary()
{
    IWizardContext& app = GetWizardContext();
    m_editLog.SetWindowText("");
    AppendLine(app.FormatText(IDS_PRODUCT_INSTALLATION, app.GetProductName(false)) + "\r\n", false);
    AppendLine(app.LoadText(IDS_OPTIONS), true);
    const auto quoted = [](const std::string& path) {
        char buffer[MAX_PATH];
        lstrcpynA(buffer, path.c_str(), MAX_PATH);
        PathQuoteSpacesA(buffer);
        return std::string(buffer);
    };
    AppendLine(app.FormatText(IDS_FOLDER_LINE, quoted(app.GetChoices().m_strInstallFolder)) + "\r\n", false);
    if (app.GetChoices().m_bStartMenuShortcut)
        AppendLine(app.FormatText(IDS_MENU_LINE, quoted(app.GetChoices().m_strStartMenuFolder)) + "\r\n", false);
    if (app.GetChoices().m_bDesktopShortcut)
        AppendLine(app.LoadText(IDS_DESKTOP_LINE) + "\r\n", false);
    while (m_editLog.SendMessage(EM_GETFIRSTVISIBLELINE) > 0) {
        if (m_editLog.SendMessage(EM_SCROLL, SB_LINEUP) == 0)
            break;
    }
}

std::string CDlgInstall::RuleLine(const std::string& text)
{
    RECT rc = {};
    m_editLog.GetClientRect(&rc);
    const LRESULT margins = m_editLog.SendMessage(EM_GETMARGINS);
    const int available = rc.right - rc.left - 2 - LOWORD(margins) - HIWORD(margins);
    const std::string padded = text.empty() ? std::string() : " " + text + " ";
    const CFontDC dc(m_editLog.m_hWnd, reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)));
    const int dashWidth = TextWidth(dc.Get(), "-");
    const int paddedWidth = padded.empty() ? 0 : TextWidth(dc.Get(), padded);
    const RuledLine line = ComputeRuledLine(available, dashWidth, paddedWidth, !text.empty());
    return std::string(static_cast<size_t>(line.nLeft), '-') + padded +
           std::string(static_cast<size_t>(line.nRight), '-') + "\r\n";
}

void CDlgInstall::AppendLine(const std::string& text, bool bHeader)
{
    const std::string line = (text.empty() || bHeader) ? RuleLine(text) : text;
    const int length = ::GetWindowTextLengthA(m_editLog.m_hWnd);
    m_editLog.SetSel(length, length);
    m_editLog.ScrollCaret();
    m_editLog.SendMessage(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    m_editLog.SendMessage(EM_SCROLL, SB_LINEDOWN);
}

void CDlgInstall::SetStatusText(const std::string& text) { SetDlgItemText(IDC_STATUS, text.c_str()); }

void CDlgInstall::SetStatusPath(const std::string& text)
{
    ::PathSetDlgItemPathA(m_hWnd, IDC_STATUS, text.c_str());
}

bool CDlgInstall::RunInstallSequence()
{
    CInstallSequence sequence(GetWizardContext(), *this);
    const bool ok = sequence.RunInstallSequence();
    m_strProgramPath = sequence.m_strProgramPath;
    m_strUninstallerPath = sequence.m_strUninstallerPath;
    return ok;
}

void CDlgInstall::RefreshTexts() { CWizardPage::SetStatusText(IDS_CLICK_START, IDS_INSTALL); }

const PAGE_LAYOUT* CDlgInstall::GetPageLayout(size_t& count) const
{
    static const PAGE_LAYOUT rows[] = {{IDC_LOG, PAGE_GROW_X | PAGE_GROW_Y},
                                       {IDC_PROGRESS, PAGE_GROW_X | PAGE_MOVE_Y},
                                       {IDC_STATUS, PAGE_GROW_X | PAGE_MOVE_Y}};
    count = sizeof rows / sizeof rows[0];
    return rows;
}

void CDlgInfo::DoDataExchange(CDataExchange* pDX)
{
    if (!pDX->m_bSaveAndValidate && GetWizardContext().IsInstallComplete())
        SetDlgItemText(IDC_INFO, GetWizardContext().LoadText(IDS_INSTALL_COMPLETE).c_str());
}

void CDlgInfo::RefreshTexts()
{
    SetDlgItemText(IDC_INFO, "");
    SetStatusText(IDS_CLICK_EXIT, IDS_EXIT);
}

const PAGE_LAYOUT* CDlgInfo::GetPageLayout(size_t& count) const
{
    static const PAGE_LAYOUT rows[] = {{IDC_INFO, PAGE_GROW_X | PAGE_GROW_Y},
                                       {IDC_STATUS, PAGE_GROW_X | PAGE_MOVE_Y}};
    count = sizeof rows / sizeof rows[0];
    return rows;
}
