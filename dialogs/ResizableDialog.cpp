#include "ResizableDialog.h"

#include "MultiMonitor.h"
#include "WinApp.h"

#include <cstring>

IMPLEMENT_DYNAMIC(CQuResizableDialog, CQuDialog)

BEGIN_MESSAGE_MAP(CQuResizableDialog, CDialog)
    ON_WM_GETMINMAXINFO()
    ON_WM_SIZE()
    ON_WM_DESTROY()
END_MESSAGE_MAP()

namespace {

// Adds WS_THICKFRAME to the 32-bit style at offset in the loaded template, unless it is a child template.
// The resource section is read-only: the bytes are made writable first.
void AddThickFrame(BYTE* pTemplate, size_t offset, size_t nBytes)
{
    DWORD style;
    std::memcpy(&style, pTemplate + offset, sizeof style);
    if (style & WS_CHILD)
        return;
    DWORD oldProtect = 0;
    if (!::VirtualProtect(pTemplate, nBytes, PAGE_READWRITE, &oldProtect))
        return;
    style |= WS_THICKFRAME;
    std::memcpy(pTemplate + offset, &style, sizeof style);
}

}  // namespace

CQuResizableDialog::CQuResizableDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : CQuDialog(nIDTemplate, pParentWnd), m_lpszSavedTemplate(m_lpszTemplateName)
{
    PatchTemplate();
}

CQuResizableDialog::~CQuResizableDialog() = default;

void CQuResizableDialog::PatchTemplate()
{
    const HINSTANCE hInst = AfxGetResourceHandle();
    const HRSRC hResource = ::FindResourceA(hInst, m_lpszTemplateName, RT_DIALOG);
    const HGLOBAL hTemplate = hResource ? ::LoadResource(hInst, hResource) : nullptr;
    BYTE* pTemplate = hTemplate ? static_cast<BYTE*>(::LockResource(hTemplate)) : nullptr;
    // A missing template keeps its name: creating the dialog then fails as for any missing template.
    if (!pTemplate)
        return;
    m_hDialogTemplate = hTemplate;
    WORD signature;
    std::memcpy(&signature, pTemplate + 2, sizeof signature);
    if (signature == 0xFFFF)
        AddThickFrame(pTemplate, 12, 26);  // DLGTEMPLATEEX: style after version, signature, help id, ex-style
    else
        AddThickFrame(pTemplate, 0, 18);  // DLGTEMPLATE: style first
    m_lpszSavedTemplate = m_lpszTemplateName;
    m_lpszTemplateName = nullptr;
}

BOOL CQuResizableDialog::OnInitDialog()
{
    GetWindowRect(&m_rcInitial);
    RECT rc;
    GetClientRect(&rc);
    m_cxLast = rc.right;
    m_cyLast = rc.bottom;
    m_bMinimized = false;
    if (GetStyle() & WS_CHILD)
        m_bNoGrip = true;
    if (!m_bNoGrip)
        CreateSizeGrip();
    if (!m_strSizeKey.empty())
        RestoreSize();
    // The framework looks up the dialog's initialisation data by template name.
    m_lpszTemplateName = m_lpszSavedTemplate;
    const BOOL result = CQuDialog::OnInitDialog();
    m_lpszTemplateName = nullptr;
    return result;
}

void CQuResizableDialog::CreateSizeGrip()
{
    const int cx = xGetSystemMetrics(SM_CXHSCROLL);
    const int cy = xGetSystemMetrics(SM_CYHSCROLL);
    const HWND hGrip = ::CreateWindowExA(WS_EX_NOPARENTNOTIFY, "ScrollBar", "",
                                         WS_CHILD | WS_VISIBLE | WS_GROUP | SBS_SIZEGRIP, m_cxLast - cx,
                                         m_cyLast - cy, cx, cy, m_hWnd, nullptr, AfxGetInstanceHandle(), nullptr);
    if (!hGrip)
        return;
    ::SetWindowLongPtrA(hGrip, GWLP_ID, IDC_SIZEGRIP);
    // On top of the other children, so that no control overlaps it.
    const UINT flags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOOWNERZORDER | SWP_NOSENDCHANGING;
    const HWND hFirst = ::GetWindow(m_hWnd, GW_CHILD);
    if (hFirst && hFirst != hGrip) {
        ::SetWindowPos(hGrip, hFirst, 0, 0, 0, 0, flags);
        ::SetWindowPos(hFirst, hGrip, 0, 0, 0, 0, flags);
    }
}

void CQuResizableDialog::RestoreSize()
{
    CWinApp* app = AfxGetApp();
    const UINT value = app ? app->GetProfileInt(DIALOG_SIZE_SECTION, m_strSizeKey.c_str(), 0) : 0;
    if (value == 0)
        return;
    const int cxMin = m_rcInitial.right - m_rcInitial.left;
    const int cyMin = m_rcInitial.bottom - m_rcInitial.top;
    const int cx = static_cast<int>(LOWORD(value)) < cxMin ? cxMin : LOWORD(value);
    const int cy = static_cast<int>(HIWORD(value)) < cyMin ? cyMin : HIWORD(value);
    SetWindowPos(nullptr, 0, 0, cx, cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_NOCOPYBITS | SWP_NOOWNERZORDER |
                     SWP_NOSENDCHANGING);
}

void CQuResizableDialog::OnGetMinMaxInfo(MINMAXINFO* pMMI)
{
    const RECT& rc = m_rcInitial;
    if (rc.left == 0 && rc.top == 0 && rc.right == 0 && rc.bottom == 0)
        return;
    pMMI->ptMinTrackSize.x = rc.right - rc.left;
    pMMI->ptMinTrackSize.y = rc.bottom - rc.top;
    if (m_bFixedWidth)
        pMMI->ptMaxTrackSize.x = rc.right - rc.left;
    if (m_bFixedHeight)
        pMMI->ptMaxTrackSize.y = rc.bottom - rc.top;
}

void CQuResizableDialog::OnSize(UINT nType, int cx, int cy)
{
    if (nType == SIZE_MINIMIZED)
        m_bMinimized = true;
    else if (nType == SIZE_RESTORED || nType == SIZE_MAXIMIZED)
        m_bMinimized = false;  // a window that comes back at another size is laid out for it
    if (m_bMinimized || (m_cxLast == 0 && m_cyLast == 0) || (cx == m_cxLast && cy == m_cyLast))
        return;
    if (m_nCarryX == RSZ_NO_CARRY) {
        m_nCarryX = 0;
        m_nCarryY = 0;
    }
    LayoutControls(cx - m_cxLast, cy - m_cyLast);
    m_cxLast = cx;
    m_cyLast = cy;
    if (!m_bNoGrip)
        if (const HWND hGrip = GetItemHandle(IDC_SIZEGRIP))
            ShowControl(hGrip, nType != SIZE_MAXIMIZED);
}

void CQuResizableDialog::LayoutControls(int dx, int dy)
{
    const int32_t halfDx = HalfStep(dx, m_nCarryX);
    const int32_t halfDy = HalfStep(dy, m_nCarryY);
    const RESIZE_ENTRY* table = GetLayoutTable();
    const int n = CountLayoutRows(table);
    HDWP hdwp = ::BeginDeferWindowPos(n);
    // The grip row first, then the others in table order.
    for (int i = -1; i < n - 1 && hdwp; ++i) {
        const RESIZE_ENTRY& row = table[i < 0 ? n - 1 : i];
        if (i < 0 && m_bNoGrip)
            continue;
        // A row without its control is left out: a null window would fail the whole batch.
        const HWND hCtrl = GetItemHandle(static_cast<int>(row.nID));
        if (!hCtrl)
            continue;
        RECT rc;
        ::GetWindowRect(hCtrl, &rc);
        ScreenToClient(&rc);
        const AnchoredRect out = ApplyAnchor(LayoutRect{rc.left, rc.top, rc.right, rc.bottom}, row.nFlags, dx, dy,
                                             halfDx, halfDy);
        UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
        if (!out.bMoved)
            flags |= SWP_NOMOVE;
        if (!out.bResized)
            flags |= SWP_NOSIZE;
        // A failed DeferWindowPos has freed the batch: it is abandoned, never ended.
        hdwp = ::DeferWindowPos(hdwp, hCtrl, nullptr, out.rect.left, out.rect.top, out.rect.right - out.rect.left,
                                out.rect.bottom - out.rect.top, flags);
    }
    if (hdwp)
        ::EndDeferWindowPos(hdwp);
}

void CQuResizableDialog::OnDestroy()
{
    CWinApp* app = AfxGetApp();
    if (m_strSizeKey.empty() || !app)
        return;
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(m_hWnd, &placement))
        return;
    // The normal rectangle: a dialog closed maximised keeps its restored size.
    const RECT& rc = placement.rcNormalPosition;
    const DWORD width = static_cast<DWORD>(rc.right - rc.left) & 0xFFFF;
    const DWORD height = static_cast<DWORD>(rc.bottom - rc.top) & 0xFFFF;
    app->WriteProfileInt(DIALOG_SIZE_SECTION, m_strSizeKey.c_str(), static_cast<int>((height << 16) | width));
}

void CQuResizableDialog::PostNcDestroy()
{
    m_nCarryX = RSZ_NO_CARRY;
    m_nCarryY = RSZ_NO_CARRY;
    m_cxLast = 0;
    m_cyLast = 0;
    CQuDialog::PostNcDestroy();
}
