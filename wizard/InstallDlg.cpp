#include "InstallDlg.h"

#include "ErrorReport.h"
#include "Texts.h"
#include "VersionInfo.h"
#include "WizardTexts.h"
#include "resource.h"

namespace {

constexpr UINT IDM_ABOUTBOX = 0x0010;

// Handled only for the About entry; every other system command takes the default way.
bool ThunkSysCommand(CWnd* p, WPARAM wParam, LPARAM, LRESULT& lResult)
{
    lResult = 0;
    return static_cast<CInstallDlg*>(p)->OnSysCommand(static_cast<UINT>(wParam));
}

// Handled only while minimised.
bool ThunkPaint(CWnd* p, WPARAM, LPARAM, LRESULT& lResult)
{
    lResult = 0;
    return static_cast<CInstallDlg*>(p)->OnPaint();
}

RECT ChildRect(const CWnd& parent, HWND hChild)
{
    RECT rc = {};
    ::GetWindowRect(hChild, &rc);
    parent.ScreenToClient(&rc);
    return rc;
}

}  // namespace

IMPLEMENT_DYNAMIC(CInstallDlg, CDialog)

BEGIN_MESSAGE_MAP(CInstallDlg, CDialog)
    ON_COMMAND(IDC_BACK, OnBack)
    {WM_SYSCOMMAND, 0, 0, 0, &ThunkSysCommand},
    {WM_PAINT, 0, 0, 0, &ThunkPaint},
    ON_MESSAGE(WM_QUERYDRAGICON, OnQueryDragIcon)
    ON_WM_GETMINMAXINFO()
    ON_WM_DESTROY()
END_MESSAGE_MAP()

BOOL CAboutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    IWizardContext& app = GetWizardContext();
    VERSION_INFO info;
    info.nRequest = VI_TITLE | VI_LEGAL_NOTICE;
    ReadVersionInfo(info, nullptr, true);
    std::string caption = app.LoadText(IDS_ABOUT);
    if (caption.empty())
        caption = GetWindowText();
    SetWindowText(FormatMessageText(caption, app.GetTitle(false)).c_str());
    if (!info.strTitle.empty())
        SetDlgItemText(IDC_ABOUT_PRODUCT, info.strTitle.c_str());
    if (!info.strLegalNotice.empty())
        SetDlgItemText(IDC_ABOUT_LEGAL, info.strLegalNotice.c_str());
    SetDlgItemText(IDOK, app.LoadText(IDS_OK).c_str());
    return TRUE;
}

CInstallDlg::CInstallDlg(CWnd* pParent) : CDialog(IDD_INSTALL, pParent)
{
    m_hIcon = ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_APPLICATION_ICON));
}

CInstallDlg::~CInstallDlg()
{
    if (HasWizardContext() && GetWizardContext().GetWizardWindow() == this)
        GetWizardContext().SetWizardWindow(nullptr);
}

BOOL CInstallDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    IWizardContext& app = GetWizardContext();
    app.SetWizardWindow(this);
    if (CWinApp* winApp = AfxGetApp())
        winApp->m_hMainWnd = m_hWnd;
    SetCaptionAndAboutEntry(true);
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));

    CWizardPage* pages[PAGE_COUNT] = {&m_dlgLanguage, &m_dlgMethod, &m_dlgFolder,
                                      &m_dlgShortcut, &m_dlgInstall, &m_dlgInfo};
    for (int i = 0; i < PAGE_COUNT; ++i) {
        m_pPages[i] = pages[i];
        m_pPages[i]->Create(m_pPages[i]->m_lpszTemplateName, this);
    }
    LayoutPageArea();
    RefreshTexts();
    ShowPage(PAGE_LANGUAGE);
    if (app.GetInstallStatus() == INSTALL_STATUS_NEWER)
        ::EnableWindow(GetDlgItem(IDOK), FALSE);
    return TRUE;
}

void CInstallDlg::OnDestroy()
{
    IWizardContext& app = GetWizardContext();
    if (app.GetWizardWindow() == this)
        app.SetWizardWindow(nullptr);
    CWinApp* winApp = AfxGetApp();
    if (winApp && winApp->m_hMainWnd == m_hWnd)
        winApp->m_hMainWnd = nullptr;
}

void CInstallDlg::SetCaptionAndAboutEntry(bool bAppendEntry)
{
    IWizardContext& app = GetWizardContext();
    SetWindowText(app.GetTitle(true).c_str());
    std::string about = app.FormatText(IDS_ABOUT, app.GetTitle(false));
    if (!about.empty())
        about = "&" + about + "...";
    const HMENU hMenu = ::GetSystemMenu(m_hWnd, FALSE);
    if (!hMenu || about.empty())
        return;
    if (bAppendEntry) {
        ::AppendMenuA(hMenu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuA(hMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    } else {
        ::ModifyMenuA(hMenu, IDM_ABOUTBOX, MF_BYCOMMAND | MF_STRING, IDM_ABOUTBOX, about.c_str());
    }
}

void CInstallDlg::LayoutPageArea()
{
    RECT area = {};
    GetClientRect(&area);
    area.left = ChildRect(*this, GetDlgItem(IDC_PANEL)).right;
    area.bottom = ChildRect(*this, GetDlgItem(IDC_SEPARATOR)).top;

    RECT unionRect = area;
    for (CWizardPage* page : m_pPages) {
        page->SetWindowPos(nullptr, unionRect.left, unionRect.top, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
        const RECT rc = ChildRect(*this, page->m_hWnd);
        ::UnionRect(&unionRect, &unionRect, &rc);
    }
    const int dx = (unionRect.right - unionRect.left) - (area.right - area.left);
    const int dy = (unionRect.bottom - unionRect.top) - (area.bottom - area.top);

    RECT frame = {};
    GetWindowRect(&frame);
    SetWindowPos(nullptr, 0, 0, frame.right - frame.left + dx, frame.bottom - frame.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    const int width = unionRect.right - unionRect.left;
    const int height = unionRect.bottom - unionRect.top;
    for (CWizardPage* page : m_pPages) {
        RECT before = {};
        page->GetWindowRect(&before);
        page->MoveWindow(unionRect.left, unionRect.top, width, height, false);
        page->LayoutControls(width - (before.right - before.left), height - (before.bottom - before.top));
    }

    const auto adjust = [this](int id, int moveX, int moveY, int growX, int growY) {
        const HWND hCtrl = GetDlgItem(id);
        const RECT rc = ChildRect(*this, hCtrl);
        ::MoveWindow(hCtrl, rc.left + moveX, rc.top + moveY, rc.right - rc.left + growX, rc.bottom - rc.top + growY,
                     TRUE);
    };
    adjust(IDC_PANEL, 0, 0, 0, dy);
    adjust(IDC_SEPARATOR, 0, dy, dx, 0);
    for (const int id : {IDC_BACK, IDOK, IDCANCEL})
        adjust(id, dx, dy, 0, 0);
}

void CInstallDlg::ShowPage(int index)
{
    if (m_nCurrentPage >= 0) {
        if (!m_pPages[m_nCurrentPage]->UpdateData(true))
            return;
        m_pPages[m_nCurrentPage]->ShowWindow(SW_HIDE);
    }
    index = ResolveTargetPage(m_nCurrentPage, index, GetWizardContext().GetChoices().m_bAdvanced);
    if (index < 0 || index >= PAGE_COUNT)
        return;
    if (index != m_nCurrentPage)
        m_pPages[index]->UpdateData(false);
    m_nCurrentPage = index;
    m_pPages[index]->ShowWindow(SW_SHOW);
    UpdateButtons();

    const WizardButtons buttons = ComputeWizardButtons(m_nCurrentPage, m_bInstallComplete);
    ::EnableWindow(GetDlgItem(IDC_BACK), buttons.bBackEnabled);
    ::EnableWindow(GetDlgItem(IDOK), buttons.bNextEnabled);
    const int defaultId = buttons.bNextIsDefault ? IDOK : IDCANCEL;
    SendMessage(DM_SETDEFID, static_cast<WPARAM>(defaultId));
    GotoDlgCtrl(GetDlgItem(defaultId));
}

void CInstallDlg::UpdateButtons()
{
    const WizardButtons buttons = ComputeWizardButtons(m_nCurrentPage, m_bInstallComplete);
    SetDlgItemText(IDOK, GetButtonCaption(buttons.bNextInstalls ? IDS_INSTALL : IDS_NEXT).c_str());
    SetDlgItemText(IDC_BACK, GetButtonCaption(IDS_BACK).c_str());
    SetDlgItemText(IDCANCEL, GetButtonCaption(buttons.bExitReadsExit ? IDS_EXIT : IDS_CANCEL).c_str());
}

void CInstallDlg::RefreshTexts()
{
    SetCaptionAndAboutEntry(false);
    UpdateButtons();
    for (CWizardPage* page : m_pPages) {
        if (page)
            page->RefreshTexts();
    }
}

void CInstallDlg::OnOK()
{
    if (m_nCurrentPage == PAGE_PROGRESS && !m_bInstallComplete) {
        for (const int id : {IDC_BACK, IDOK, IDCANCEL})
            ::EnableWindow(GetDlgItem(id), FALSE);
        m_bInstallComplete = m_dlgInstall.RunInstallSequence();
        ShowPage(m_nCurrentPage);
        ::EnableWindow(GetDlgItem(IDCANCEL), TRUE);
        return;
    }
    ShowPage(m_nCurrentPage + 1);
}

void CInstallDlg::OnBack() { ShowPage(m_nCurrentPage - 1); }

void CInstallDlg::OnCancel()
{
    // A disabled Exit also refuses Escape and the close box while the installation runs.
    if (!::IsWindowEnabled(GetDlgItem(IDCANCEL)))
        return;
    IWizardContext& app = GetWizardContext();
    if (ExitNeedsConfirmation(m_bInstallComplete, app.GetInstallStatus(), m_nCurrentPage) &&
        ShowMessageBox(app.LoadText(IDS_CONFIRM_EXIT).c_str(), "", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) !=
            IDYES)
        return;
    EndDialog(m_bInstallComplete ? IDOK : IDCANCEL);
}

bool CInstallDlg::OnSysCommand(UINT nID)
{
    if ((nID & 0xFFF0) != IDM_ABOUTBOX)
        return false;
    CAboutDlg about;
    about.m_pParentWnd = this;
    about.DoModal();
    return true;
}

bool CInstallDlg::OnPaint()
{
    if (!::IsIconic(m_hWnd))
        return false;
    PAINTSTRUCT ps;
    const HDC hdc = ::BeginPaint(m_hWnd, &ps);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc));
    RECT rc = {};
    GetClientRect(&rc);
    const int x = (rc.right - rc.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (rc.bottom - rc.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(hdc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &ps);
    return true;
}

void CInstallDlg::OnGetMinMaxInfo(MINMAXINFO* pInfo)
{
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (!::GetWindowPlacement(m_hWnd, &placement))
        return;
    pInfo->ptMaxPosition = {0, 0};
    pInfo->ptMaxSize = {placement.rcNormalPosition.right - placement.rcNormalPosition.left,
                        placement.rcNormalPosition.bottom - placement.rcNormalPosition.top};
}

