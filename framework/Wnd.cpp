#include "Wnd.h"

#include "WinApp.h"

#include <vector>

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* pBaseClass) const
{
    for (const CRuntimeClass* p = this; p; p = p->m_pBaseClass)
        if (p == pBaseClass)
            return true;
    return false;
}

const CRuntimeClass CWnd::classCWnd = {"CWnd", nullptr};

const CRuntimeClass* CWnd::GetRuntimeClass() const { return &classCWnd; }

const AFX_MSGMAP* CWnd::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

HWND CWnd::Detach()
{
    HWND hWnd = m_hWnd;
    m_hWnd = nullptr;
    return hWnd;
}

std::string CWnd::GetWindowText() const
{
    const int n = ::GetWindowTextLengthA(m_hWnd);
    std::vector<char> text(static_cast<size_t>(n > 0 ? n : 0) + 1);
    ::GetWindowTextA(m_hWnd, text.data(), static_cast<int>(text.size()));
    return text.data();
}

std::string CWnd::GetDlgItemText(int nID) const
{
    const HWND hItem = GetDlgItem(nID);
    const int n = hItem ? ::GetWindowTextLengthA(hItem) : 0;
    std::vector<char> text(static_cast<size_t>(n > 0 ? n : 0) + 1);
    if (hItem)
        ::GetWindowTextA(hItem, text.data(), static_cast<int>(text.size()));
    return text.data();
}

void CWnd::MoveWindow(const RECT& rc, bool bRepaint)
{
    ::MoveWindow(m_hWnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, bRepaint);
}

bool CWnd::ModifyStyle(DWORD dwRemove, DWORD dwAdd)
{
    const DWORD style = GetStyle();
    const DWORD newStyle = (style & ~dwRemove) | dwAdd;
    if (style == newStyle)
        return false;
    ::SetWindowLongPtrA(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(newStyle));
    return true;
}

bool CWnd::DestroyWindow()
{
    return m_hWnd && ::DestroyWindow(m_hWnd);
}

bool CWnd::PreTranslateMessage(MSG*) { return false; }

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    UINT nCode = 0, nID = 0;
    if (message == WM_COMMAND) {
        nCode = HIWORD(wParam);
        nID = LOWORD(wParam);
    } else if (message == WM_NOTIFY) {
        const NMHDR* pnmh = reinterpret_cast<const NMHDR*>(lParam);
        if (!pnmh)
            return false;
        nCode = pnmh->code;
        nID = static_cast<UINT>(pnmh->idFrom);
    }
    const bool bRouted = message == WM_COMMAND || message == WM_NOTIFY;
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->pfn; ++e) {
            if (e->nMessage != message)
                continue;
            if (bRouted && (e->nCode != nCode || nID < e->nID || nID > e->nLastID))
                continue;
            return e->pfn(this, wParam, lParam, lResult);
        }
    }
    return false;
}

int AfxMessageBox(const char* text, UINT nType)
{
    CWinApp* app = AfxGetApp();
    if (app)
        app->EnableModeless(false);
    HWND hTop = nullptr;
    const HWND hOwner = AfxGetSafeOwner(nullptr, &hTop);
    const char* caption = app && app->m_pszAppName ? app->m_pszAppName : nullptr;
    const int result = ::MessageBoxA(hOwner, text, caption, nType);
    if (hTop)
        ::EnableWindow(hTop, TRUE);
    if (app)
        app->EnableModeless(true);
    return result;
}
