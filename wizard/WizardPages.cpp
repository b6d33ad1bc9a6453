#include "WizardPages.h"

#include "DataExchangeFlags.h"
#include "ErrorReport.h"
#include "FlagStrip.h"
#include "FolderBrowser.h"
#include "FolderDialog.h"
#include "ProductConstants.h"
#include "WinApp.h"
#include "WizardContext.h"
#include "Languages.h"
#include "NamedObjects.h"
#include "Texts.h"
#include "WizardRules.h"
#include "WizardTexts.h"
#include "resource.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <vector>

namespace {

constexpr int MAX_FOLDER_CHARS = 260;

// The extra room of the language list's drop-down beyond the widest name.
constexpr int DROPDOWN_EXTRA = 30;

std::string PublisherSubFolder()
{
    char sub[MAX_PATH];
    lstrcpynA(sub, PUBLISHER_FOLDER_NAME, MAX_PATH);
    PathAppendA(sub, GetWizardContext().GetShortProductName().c_str());
    return sub;
}

std::string SpecialFolder(int csidl, int fallbackCsidl)
{
    char path[MAX_PATH] = {};
    if (SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE) ||
        SHGetSpecialFolderPathA(nullptr, path, fallbackCsidl, FALSE))
        return path;
    return std::string();
}

}  // namespace

bool UseSystemFolderBrowser()
{
    const OSVERSIONINFOEXA& v = GetOsVersionInfo();
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT &&
           (v.dwMajorVersion > 5 || (v.dwMajorVersion == 5 && v.dwMinorVersion != 0));
}

// Language page.

BEGIN_MESSAGE_MAP(CDlgLanguage, CWizardPage)
    ON_CONTROL(CBN_SELCHANGE, IDC_LANGUAGE_LIST, OnSelChangeLanguage)
END_MESSAGE_MAP()

void CDlgLanguage::DoDataExchange(CDataExchange* pDX) { DDX_Control(pDX, IDC_LANGUAGE_LIST, m_comboLanguage); }

BOOL CDlgLanguage::OnInitDialog()
{
    CWizardPage::OnInitDialog();
    m_imageList.Reset(ImageList_Create(18, 12, ILC_COLOR24, 8, 1));
    m_comboLanguage.SetImageList(m_imageList.Get());

    const std::vector<int> offered = GetListedLanguages();

    const int current = GetWizardContext().GetLanguage();
    int selected = -1;
    int widest = 0;
    // The flags, in one strip; without them (GDI failed) the list shows the names alone.
    const int firstImage = AppendFlagStrip(m_imageList.Get(), AfxGetResourceHandle(), offered);

    const CFontDC dc(m_comboLanguage.m_hWnd, reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)));
    const HDC hdc = dc.Get();
    for (size_t i = 0; i < offered.size(); ++i) {
        const int language = offered[i];
        const int image = firstImage < 0 ? -1 : firstImage + static_cast<int>(i);
        const std::string name = GetLanguageName(language);
        const int position = m_comboLanguage.InsertItem(m_comboLanguage.GetCount(), name.c_str(), image, language);
        if (language == current)
            selected = position;
        SIZE size = {};
        if (::GetTextExtentPoint32A(hdc, name.c_str(), static_cast<int>(name.size()), &size))
            widest = std::max(widest, static_cast<int>(size.cx));
    }
    m_comboLanguage.SendMessage(CB_SETDROPPEDWIDTH, static_cast<WPARAM>(widest + DROPDOWN_EXTRA));
    m_comboLanguage.SetCurSel(selected);
    return TRUE;
}

void CDlgLanguage::OnSelChangeLanguage()
{
    const int position = m_comboLanguage.GetCurSel();
    if (position < 0)
        return;
    COMBOBOXEXITEMA item = {};
    item.mask = CBEIF_LPARAM;
    item.iItem = position;
    if (!m_comboLanguage.SendMessage(CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return;
    GetWizardContext().SetLanguage(static_cast<int>(item.lParam));
}

void CDlgLanguage::RefreshTexts()
{
    IWizardContext& app = GetWizardContext();
    std::string version;
    const int status = app.GetInstallStatus(&version);
    const std::string product = app.GetProductName(false);
    std::string state;
    switch (status) {
    case INSTALL_STATUS_NONE:
        state = app.FormatText(IDS_PRODUCT_INSTALLATION, product);
        SetStatusText(IDS_CLICK_CONTINUE, IDS_NEXT);
        break;
    case INSTALL_STATUS_SAME:
        state = app.FormatText(IDS_ALREADY_INSTALLED, product) + "\r\n" + app.LoadText(IDS_CONFIRM_REINSTALL);
        SetStatusText(IDS_CLICK_CONTINUE_OR_EXIT, IDS_NEXT, IDS_CANCEL);
        break;
    case INSTALL_STATUS_NEWER:
        state = app.FormatText(IDS_PRODUCT_INSTALLATION, product) + "\r\n" + app.FormatText(IDS_MORE_RECENT, version);
        SetStatusText(IDS_CLICK_EXIT, IDS_CANCEL);
        break;
    default:
        state = app.FormatText(IDS_UPDATE_FROM_TO, version, product);
        SetStatusText(IDS_CLICK_CONTINUE, IDS_NEXT);
        break;
    }
    SetDlgItemText(IDC_INFO, state.c_str());
    // The template has no control 1020: the title line is kept for a template that shows one.
    SetDlgItemText(IDC_LANGUAGE_TITLE, app.FormatText(IDS_LANGUAGE_TITLE, product).c_str());
    SetDlgItemText(IDC_LANGUAGE_LABEL, app.LoadText(IDS_SELECT_LANGUAGE).c_str());
}

const PAGE_LAYOUT* CDlgLanguage::GetPageLayout(size_t& count) const
{
    static const PAGE_LAYOUT rows[] = {{IDC_LANGUAGE_LIST, PAGE_GROW_X}, {IDC_LANGUAGE_TITLE, PAGE_GROW_X}, {IDC_INFO, PAGE_GROW_X | PAGE_GROW_Y},
                                       {IDC_STATUS, PAGE_GROW_X | PAGE_MOVE_Y}};
    count = sizeof rows / sizeof rows[0];
    return rows;
}

// Method page.

void CDlgMethod::DoDataExchange(CDataExchange* pDX)
{
    IWizardContext& app = GetWizardContext();
    if (!pDX->m_bSaveAndValidate)
        m_nMethod = app.GetChoices().m_bAdvanced ? 1 : 0;
    DDX_Radio(pDX, IDC_QUICK, m_nMethod);
    if (pDX->m_bSaveAndValidate)
        app.GetChoices().m_bAdvanced = m_nMethod == 1;
}

void CDlgMethod::RefreshTexts()
{
    IWizardContext& app = GetWizardContext();
    SetDlgItemText(IDC_METHOD_GROUP, app.LoadText(IDS_METHOD).c_str());
    SetDlgItemText(IDC_QUICK, app.LoadText(IDS_QUICK).c_str());
    SetDlgItemText(IDC_ADVANCED, app.LoadText(IDS_ADVANCED).c_str());
    SetStatusText(IDS_CLICK_CONTINUE, IDS_NEXT);
}

const PAGE_LAYOUT* CDlgMethod::GetPageLayout(size_t& count) const
{
    static const PAGE_LAYOUT rows[] = {{IDC_METHOD_GROUP, PAGE_GROW_X}, {IDC_QUICK, PAGE_GROW_X}, {IDC_ADVANCED, PAGE_GROW_X},
                                       {IDC_STATUS, PAGE_GROW_X | PAGE_MOVE_Y}};
    count = sizeof rows / sizeof rows[0];
    return rows;
}

// Folder page.

BEGIN_MESSAGE_MAP(CDlgFolder, CWizardPage)
    ON_CONTROL(BN_CLICKED, IDC_BROWSE, OnBrowse)
END_MESSAGE_MAP()

void CDlgFolder::DoDataExchange(CDataExchange* pDX)
{
    IWizardContext& app = GetWizardContext();
    if (!pDX->m_bSaveAndValidate)
        m_strFolder = app.GetChoices().m_strInstallFolder;
    DDX_Text(pDX, IDC_FOLDER, m_strFolder);
    DDV_MaxChars(pDX, m_strFolder, MAX_FOLDER_CHARS);
    if (!pDX->m_bSaveAndValidate || pDX->m_bFailed)
        return;
    // A relative folder would land beside the installer's current folder, and invalid characters would be
    // mangled on the way: neither is stored.
    if (!IsRootedFolderText(m_strFolder) || !IsValidPathText(m_strFolder.c_str())) {
        ReportSystemError(ERROR_BAD_PATHNAME, "%s", 0);
        pDX->Fail();
        return;
    }
    app.GetChoices().m_strInstallFolder = m_strFolder;
}

BOOL CDlgFolder::OnInitDialog()
{
    CWizardPage::OnInitDialog();
    if (GetWizardContext().GetInstallStatus() != INSTALL_STATUS_NONE) {
        ::EnableWindow(GetDlgItem(IDC_FOLDER_LABEL), FALSE);
        ::EnableWindow(GetDlgItem(IDC_BROWSE), FALSE);
        SendDlgItemMessage(IDC_FOLDER, EM_SETREADONLY, TRUE);
    }
    return TRUE;
}

void CDlgFolder::OnBrowse()
{
    if (!UpdateData(true))
        return;
    IWizardContext& app = GetWizardContext();
    const std::string sub = PublisherSubFolder();
    if (UseSystemFolderBrowser()) {
        std::string folder = app.GetChoices().m_strInstallFolder;
        const std::string title = app.FormatText(IDS_SELECT_FOLDER, app.GetProductName(true));
        const std::string path = BrowseForFolder(false, folder, sub.c_str(), title.c_str(), 0, nullptr);
        if (path.empty())
            return;
        app.GetChoices().m_strInstallFolder = path;
    } else {
        CQuFolderDialog dlg(false, m_pParentWnd);
        dlg.m_bLocalOnly = true;
        dlg.m_strTitle = app.LoadText(IDS_BROWSE);
        dlg.m_strOkText = app.LoadText(IDS_OK);
        dlg.m_strCancelText = app.LoadText(IDS_CANCEL);
        dlg.m_strFolder = app.GetChoices().m_strInstallFolder;
        dlg.m_strSubFolder = sub;
        if (dlg.DoModal() != IDOK)
            return;
        app.GetChoices().m_strInstallFolder = dlg.m_strPath;
    }
    UpdateData(false);
}

void CDlgFolder::RefreshTexts()
{
    IWizardContext& app = GetWizardContext();
    SetDlgItemText(IDC_FOLDER_GROUP, app.LoadText(IDS_FOLDER_SELECTION).c_str());
    SetDlgItemText(IDC_FOLDER_LABEL, app.FormatText(IDS_SELECT_FOLDER, app.GetProductName(true)).c_str());
    SetDlgItemText(IDC_BROWSE, (app.LoadText(IDS_BROWSE) + "...").c_str());
    SetStatusText(IDS_CLICK_CONTINUE, IDS_NEXT);
}

const PAGE_LAYOUT* CDlgFolder::GetPageLayout(size_t& count) const
{
    static const PAGE_LAYOUT rows[] = {{IDC_FOLDER_GROUP, PAGE_GROW_X}, {IDC_FOLDER_LABEL, PAGE_GROW_X}, {IDC_FOLDER, PAGE_GROW_X},
                                       {IDC_BROWSE, PAGE_MOVE_X}, {IDC_STATUS, PAGE_GROW_X | PAGE_MOVE_Y}};
    count = sizeof rows / sizeof rows[0];
    return rows;
}

// Shortcut page.

BEGIN_MESSAGE_MAP(CDlgShortcut, CWizardPage)
    ON_CONTROL(BN_CLICKED, IDC_BROWSE, OnBrowse)
    ON_CONTROL(BN_CLICKED, IDC_MENU_SHORTCUT, OnMenuShortcutClicked)
END_MESSAGE_MAP()

BOOL CDlgShortcut::OnInitDialog()
{
    // The first load needs the root.
    m_strStartMenuRoot = SpecialFolder(CSIDL_COMMON_STARTMENU, CSIDL_STARTMENU);
    CWizardPage::OnInitDialog();
    OnMenuShortcutClicked();
    return TRUE;
}

void CDlgShortcut::DoDataExchange(CDataExchange* pDX)
{
    IWizardContext& app = GetWizardContext();
    if (!pDX->m_bSaveAndValidate) {
        m_bDesktop = app.GetChoices().m_bDesktopShortcut;
        m_bStartMenu = app.GetChoices().m_bStartMenuShortcut;
        char relative[MAX_PATH] = {};
        m_strRelativeFolder.clear();
        if (PathRelativePathToA(relative, m_strStartMenuRoot.c_str(), FILE_ATTRIBUTE_DIRECTORY,
                                app.GetChoices().m_strStartMenuFolder.c_str(), FILE_ATTRIBUTE_DIRECTORY) &&
            lstrcmpA(relative, ".") != 0) {
            char canonical[MAX_PATH] = {};
            if (PathCanonicalizeA(canonical, relative))
                m_strRelativeFolder = canonical;
        }
    }
    DDX_CheckFlag(pDX, IDC_DESKTOP_SHORTCUT, m_bDesktop);
    DDX_CheckFlag(pDX, IDC_MENU_SHORTCUT, m_bStartMenu);
    DDX_Text(pDX, IDC_FOLDER, m_strRelativeFolder);
    DDV_MaxChars(pDX, m_strRelativeFolder, MAX_FOLDER_CHARS);
    DDV_MaxChars(pDX, m_strRelativeFolder, MAX_FOLDER_CHARS);
    if (pDX->m_bSaveAndValidate && !pDX->m_bFailed) {
        app.GetChoices().m_bDesktopShortcut = m_bDesktop;
        app.GetChoices().m_bStartMenuShortcut = m_bStartMenu;
        char combined[MAX_PATH] = {};
        if (PathCombineA(combined, m_strStartMenuRoot.c_str(), m_strRelativeFolder.c_str()))
            app.GetChoices().m_strStartMenuFolder = combined;
    }
}

void CDlgShortcut::OnMenuShortcutClicked()
{
    const bool enable = IsDlgButtonChecked(IDC_MENU_SHORTCUT) == BST_CHECKED;
    ::EnableWindow(GetDlgItem(IDC_FOLDER), enable);
    ::EnableWindow(GetDlgItem(IDC_BROWSE), enable);
}

void CDlgShortcut::OnBrowse()
{
    if (!UpdateData(true))
        return;
    IWizardContext& app = GetWizardContext();
    const std::string sub = app.GetShortProductName();
    if (UseSystemFolderBrowser()) {
        std::string folder = app.GetChoices().m_strStartMenuFolder;
        std::string relative;
        const std::string title = app.LoadText(IDS_MENU_SHORTCUT);
        const std::string path =
            BrowseForFolder(false, folder, sub.c_str(), title.c_str(), CSIDL_COMMON_PROGRAMS, &relative);
        if (path.empty())
            return;
        m_strRelativeFolder = relative;
        app.GetChoices().m_strStartMenuFolder = path;
    } else {
        CQuFolderDialog dlg(false, m_pParentWnd);
        dlg.m_strTitle = app.LoadText(IDS_BROWSE);
        dlg.m_strOkText = app.LoadText(IDS_OK);
        dlg.m_strCancelText = app.LoadText(IDS_CANCEL);
        dlg.m_strFolder = app.GetChoices().m_strStartMenuFolder;
        dlg.m_strSubFolder = sub;
        dlg.m_strRoot = SpecialFolder(CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS);
        if (dlg.DoModal() != IDOK)
            return;
        m_strRelativeFolder = dlg.m_strPath;
        char combined[MAX_PATH] = {};
        if (!PathCombineA(combined, dlg.m_strRoot.c_str(), dlg.m_strPath.c_str()))
            return;
        app.GetChoices().m_strStartMenuFolder = combined;
    }
    UpdateData(false);
}

void CDlgShortcut::RefreshTexts()
{
    IWizardContext& app = GetWizardContext();
    SetDlgItemText(IDC_MENU_GROUP, app.LoadText(IDS_START_MENU).c_str());
    SetDlgItemText(IDC_MENU_SHORTCUT, app.LoadText(IDS_MENU_SHORTCUT).c_str());
    SetDlgItemText(IDC_BROWSE, (app.LoadText(IDS_BROWSE) + "...").c_str());
    SetDlgItemText(IDC_DESKTOP_SHORTCUT, app.LoadText(IDS_DESKTOP_SHORTCUT).c_str());
    SetStatusText(IDS_CLICK_CONTINUE, IDS_NEXT);
}

const PAGE_LAYOUT* CDlgShortcut::GetPageLayout(size_t& count) const
{
    static const PAGE_LAYOUT rows[] = {{IDC_MENU_GROUP, PAGE_GROW_X}, {IDC_MENU_SHORTCUT, PAGE_GROW_X}, {IDC_FOLDER, PAGE_GROW_X},
                                       {IDC_BROWSE, PAGE_MOVE_X}, {IDC_DESKTOP_SHORTCUT, PAGE_GROW_X},
                                       {IDC_STATUS, PAGE_GROW_X | PAGE_MOVE_Y}};
    count = sizeof rows / sizeof rows[0];
    return rows;
}
