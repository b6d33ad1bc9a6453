#include "FolderBrowser.h"

#include "ErrorReport.h"
#include "PlatformUtils.h"
#include "WinApp.h"

#include <shlwapi.h>

namespace {

// EnumChildWindows callback: stops at the first "Edit" window, stored through param.
BOOL CALLBACK FindEditBox(HWND child, LPARAM param)
{
    if (!IsWindowClass(child, "Edit"))
        return TRUE;
    *reinterpret_cast<HWND*>(param) = child;
    return FALSE;
}

}  // namespace

CQuFolderBrowser::CQuFolderBrowser(bool bCreate, const char* pszTitle) : m_bCreate(bCreate)
{
    if (IS_INTRESOURCE(pszTitle) && pszTitle) {
        char text[512];
        const int n = LoadStringA(AfxGetResourceHandle(), LOWORD(reinterpret_cast<ULONG_PTR>(pszTitle)), text,
                                  sizeof text);
        m_strTitle.assign(text, n > 0 ? static_cast<size_t>(n) : 0);
    } else if (pszTitle) {
        m_strTitle = pszTitle;
    }
}

CQuFolderBrowser::~CQuFolderBrowser()
{
    CoTaskMemFree(m_pidlRoot);
    if (m_bComInit)
        CoUninitialize();
}

bool CQuFolderBrowser::SetRoot(int nCsidl)
{
    CoTaskMemFree(m_pidlRoot);
    m_pidlRoot = nullptr;
    m_strRootParent.clear();
    if (nCsidl == 0)
        return true;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, nCsidl, &m_pidlRoot))) {
        m_pidlRoot = nullptr;
        return false;
    }
    return true;
}

bool CQuFolderBrowser::Browse(const char* pszFolder, const char* pszSubFolder)
{
    HWND owner = GetActiveWindow();
    if (owner)
        owner = GetLastActivePopup(owner);
    if (!m_bComInit) {
        const HRESULT hr = CoInitialize(nullptr);
        if (FAILED(hr)) {
            ReportSystemError(static_cast<DWORD>(hr), "%s", 0);
            return false;
        }
        m_bComInit = true;
    }
    m_bInitSeen = false;
    m_bValidated = false;
    SetInitialPath(pszFolder, pszSubFolder);

    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pidlRoot = m_pidlRoot;
    info.lpszTitle = m_strTitle.empty() ? nullptr : m_strTitle.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | BIF_NEWDIALOGSTYLE;
    if (!m_strSubFolder.empty())
        info.ulFlags |= BIF_EDITBOX | BIF_VALIDATE;
    info.lpfn = BrowseCallbackProc;
    info.lParam = reinterpret_cast<LPARAM>(this);
    LPITEMIDLIST pidl = SHBrowseForFolderA(&info);
    if (!pidl)
        return false;
    char path[MAX_PATH];
    const bool ok = SHGetPathFromIDListA(pidl, path) != FALSE;
    if (ok && !m_bValidated)
        m_strPath = path;
    CoTaskMemFree(pidl);
    return ok;
}

void CQuFolderBrowser::ShowPathInEdit()
{
    if (!m_hwndEdit)
        return;
    SendMessageA(m_hwndEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(m_strPath.c_str()));
    SendMessageA(m_hwndEdit, EM_SETSEL, 0, -1);
}

void CQuFolderBrowser::OnInitialized(HWND hwnd)
{
    m_bInitSeen = true;
    std::string start = m_strPath;
    if (const char* parent = GetRootParent()) {
        char joined[MAX_PATH];
        if (PathCombineA(joined, parent, m_strPath.c_str()))
            start = joined;
    }
    // The deepest existing folder of the path is selected.
    char folder[MAX_PATH] = {};
    bool found = false;
    if (start.size() < MAX_PATH) {
        lstrcpynA(folder, start.c_str(), MAX_PATH);
        for (;;) {
            if (PathIsDirectoryA(folder)) {
                found = true;
                break;
            }
            if (!PathRemoveFileSpecA(folder) || !*folder)
                break;
        }
    }
    if (found)
        SendMessageA(hwnd, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder));
    if (!m_strSubFolder.empty()) {
        m_hwndEdit = nullptr;
        EnumChildWindows(hwnd, FindEditBox, reinterpret_cast<LPARAM>(&m_hwndEdit));
        if (found)
            ShowPathInEdit();
    }
}

void CQuFolderBrowser::OnSelChanged(HWND hwnd, LPCITEMIDLIST pidl)
{
    if (!m_bInitSeen)
        return;
    char path[MAX_PATH];
    const bool bFileSystem = pidl && SHGetPathFromIDListA(pidl, path);
    if (bFileSystem) {
        m_strPath = path;
        AppendSubFolder();
    }
    ShowPathInEdit();
    if (m_strSubFolder.empty())
        SendMessageA(hwnd, BFFM_ENABLEOK, 0, bFileSystem ? TRUE : FALSE);
}

int CALLBACK CQuFolderBrowser::BrowseCallbackProc(HWND hwnd, UINT uMsg, LPARAM lParam, LPARAM lpData)
{
    auto* self = reinterpret_cast<CQuFolderBrowser*>(lpData);
    if (!self)
        return 0;
    try {
        return self->OnBrowseMessage(hwnd, uMsg, lParam);
    } catch (...) {
        // Nothing may cross the shell's callback.
        return 0;
    }
}

int CQuFolderBrowser::OnBrowseMessage(HWND hwnd, UINT uMsg, LPARAM lParam)
{
    CQuFolderBrowser* self = this;
    switch (uMsg) {
    case BFFM_INITIALIZED:
        self->OnInitialized(hwnd);
        break;
    case BFFM_SELCHANGED:
        self->OnSelChanged(hwnd, reinterpret_cast<LPCITEMIDLIST>(lParam));
        break;
    case BFFM_VALIDATEFAILEDA: {
        // The typed text is not an existing item: accepted when it qualifies, else the browser stays open.
        std::string qualified;
        if (!QualifyTypedPath(reinterpret_cast<const char*>(lParam), self->GetRootParent(), self->m_bCreate,
                              qualified))
            return 1;
        self->m_strPath = qualified;
        self->m_bValidated = true;
        break;
    }
    default:
        break;
    }
    return 0;
}

std::string BrowseForFolder(bool bCreate, std::string& strFolder, const char* pszSubFolder, const char* pszTitle,
                            int nRootCsidl, std::string* pstrRelative)
{
    CQuFolderBrowser browser(bCreate, pszTitle);
    if (nRootCsidl != 0)
        browser.SetRoot(nRootCsidl);
    if (!browser.Browse(strFolder.c_str(), pszSubFolder))
        return std::string();
    strFolder = browser.StripSubFolder();
    if (pstrRelative)
        *pstrRelative = browser.MakeRootRelative();
    return browser.m_strPath;
}
