#include "Dialog.h"

#include "WinApp.h"

#include <commctrl.h>

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

void AfxInitCommonControls()
{
    static const bool done = [] {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_USEREX_CLASSES | ICC_TAB_CLASSES |
                                                    ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        return InitCommonControlsEx(&icc) != FALSE;
    }();
    (void)done;
}

CDialog::CDialog(LPCSTR lpszTemplateName, CWnd* pParentWnd)
    : m_lpszTemplateName(lpszTemplateName), m_pParentWnd(pParentWnd)
{
}

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_lpszTemplateName(MAKEINTRESOURCEA(nIDTemplate)), m_pParentWnd(pParentWnd)
{
}

CDialog::~CDialog()
{
    // A window that outlives its object must not call into it.
    if (m_hWnd) {
        ::SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
        ::DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }
}

const DLGTEMPLATE* CDialog::LockTemplate() const
{
    HGLOBAL hTemplate = m_hDialogTemplate;
    if (m_lpszTemplateName) {
        const HINSTANCE hInst = AfxGetResourceHandle();
        const HRSRC hResource = ::FindResourceA(hInst, m_lpszTemplateName, RT_DIALOG);
        hTemplate = hResource ? ::LoadResource(hInst, hResource) : nullptr;
    }
    return hTemplate ? static_cast<const DLGTEMPLATE*>(::LockResource(hTemplate)) : nullptr;
}

INT_PTR CDialog::DoModal()
{
    const DLGTEMPLATE* pTemplate = LockTemplate();
    if (!pTemplate || m_hWnd)
        return -1;
    AfxInitCommonControls();
    HWND hTop = nullptr;
    const HWND hOwner = AfxGetSafeOwner(m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr, &hTop);
    const bool bEnableOwner = hOwner && ::IsWindowEnabled(hOwner);
    if (bEnableOwner)
        ::EnableWindow(hOwner, FALSE);

    m_nModalResult = -1;
    m_bEndModal = false;
    m_bInModalLoop = true;
    const HWND hWnd = ::CreateDialogIndirectParamA(AfxGetResourceHandle(), pTemplate, hOwner, DialogProc,
                                                   reinterpret_cast<LPARAM>(this));
    if (hWnd) {
        // EndDialog in OnInitDialog ends the run before the dialog is shown.
        if (!m_bEndModal)
            ::ShowWindow(hWnd, SW_SHOWNORMAL);
        RunModalLoop();
        ::SetWindowPos(hWnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    }
    m_bInModalLoop = false;
    if (bEnableOwner)
        ::EnableWindow(hOwner, TRUE);
    if (hOwner && ::GetActiveWindow() == hWnd)
        ::SetActiveWindow(hOwner);
    if (hWnd && ::IsWindow(hWnd))
        ::DestroyWindow(hWnd);
    if (hTop)
        ::EnableWindow(hTop, TRUE);
    return hWnd ? m_nModalResult : -1;
}

void CDialog::RunModalLoop()
{
    MSG msg;
    while (!m_bEndModal && m_hWnd) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == -1)
            break;
        if (got == 0) {
            // WM_QUIT ends the run and stays in the queue for the loop outside.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!PreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
}

bool CDialog::PreTranslateMessage(MSG* pMsg)
{
    // Tab, Enter, Escape, arrows and mnemonics, for the dialog and its child dialogs.
    if (pMsg->message < WM_KEYFIRST || pMsg->message > WM_KEYLAST)
        return false;
    return m_hWnd && ::IsDialogMessageA(m_hWnd, pMsg);
}

bool CDialog::Create(LPCSTR lpszTemplateName, CWnd* pParentWnd)
{
    if (lpszTemplateName)
        m_lpszTemplateName = lpszTemplateName;
    m_pParentWnd = pParentWnd;
    const DLGTEMPLATE* pTemplate = LockTemplate();
    if (!pTemplate || m_hWnd)
        return false;
    AfxInitCommonControls();
    m_bInModalLoop = false;
    return ::CreateDialogIndirectParamA(AfxGetResourceHandle(), pTemplate, pParentWnd ? pParentWnd->m_hWnd : nullptr,
                                        DialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    if (m_bInModalLoop) {
        m_bEndModal = true;
        if (m_hWnd)
            ::PostMessageA(m_hWnd, WM_NULL, 0, 0);  // wakes the modal loop
    } else if (m_hWnd) {
        ::EndDialog(m_hWnd, nResult);
    }
}

bool CDialog::UpdateData(bool bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return !dx.m_bFailed;
}

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::OnInitDialog()
{
    UpdateData(false);
    return TRUE;
}

bool CDialog::ForwardToFrame(int nID)
{
    // A page (a child dialog) never ends itself: OK, Cancel and a close request (a multi-line edit turns
    // Escape into WM_CLOSE to its parent, the page) belong to the window that holds it.
    if (!m_hWnd || !(::GetWindowLongPtrA(m_hWnd, GWL_STYLE) & WS_CHILD))
        return false;
    // As a click on the frame's button: nothing while that button is disabled.
    const HWND frame = ::GetAncestor(m_hWnd, GA_ROOT);
    if (!frame || frame == m_hWnd)
        return true;
    const HWND button = ::GetDlgItem(frame, nID);
    if (!button || ::IsWindowEnabled(button))
        ::SendMessageA(frame, WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return true;
}

void CDialog::OnOK()
{
    if (ForwardToFrame(IDOK) || !UpdateData(true))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    if (!ForwardToFrame(IDCANCEL))
        EndDialog(IDCANCEL);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialog* pDlg = nullptr;
    if (message == WM_INITDIALOG) {
        pDlg = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrA(hWnd, DWLP_USER, reinterpret_cast<LONG_PTR>(pDlg));
        pDlg->m_hWnd = hWnd;
    } else {
        pDlg = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
    }
    if (!pDlg)
        return FALSE;
    try {
        if (message == WM_INITDIALOG)
            return pDlg->OnInitDialog();
        LRESULT lResult = 0;
        const bool bHandled = pDlg->OnWndMsg(message, wParam, lParam, lResult);
        if (message == WM_NCDESTROY) {
            ::SetWindowLongPtrA(hWnd, DWLP_USER, 0);
            pDlg->m_hWnd = nullptr;
            pDlg->PostNcDestroy();
            return FALSE;
        }
        if (!bHandled)
            return FALSE;
        switch (message) {
        // These messages return their result directly rather than through DWLP_MSGRESULT.
        case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC: case WM_COMPAREITEM:
        case WM_VKEYTOITEM: case WM_CHARTOITEM: case WM_QUERYDRAGICON:
            return static_cast<INT_PTR>(lResult);
        default:
            ::SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, static_cast<LONG_PTR>(lResult));
            return TRUE;
        }
    } catch (...) {
        return FALSE;
    }
}

// Data exchange.

HWND CDataExchange::PrepareCtrl(int nIDC)
{
    m_hWndLastControl = m_pDlgWnd->GetDlgItem(nIDC);
    m_bEditLastControl = false;
    return m_hWndLastControl;
}

HWND CDataExchange::PrepareEditCtrl(int nIDC)
{
    PrepareCtrl(nIDC);
    m_bEditLastControl = true;
    return m_hWndLastControl;
}

void CDataExchange::Fail()
{
    m_bFailed = true;
    if (m_bSaveAndValidate && m_hWndLastControl)
        m_pDlgWnd->SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_hWndLastControl), TRUE);
    if (m_bSaveAndValidate && m_hWndLastControl && m_bEditLastControl)
        ::SendMessageA(m_hWndLastControl, EM_SETSEL, 0, -1);
}

void DDX_Text(CDataExchange* pDX, int nIDC, std::string& value)
{
    if (pDX->m_bFailed)
        return;
    const HWND hCtrl = pDX->PrepareEditCtrl(nIDC);
    if (!hCtrl)
        return;
    if (pDX->m_bSaveAndValidate) {
        CWnd ctrl;
        ctrl.Attach(hCtrl);
        value = ctrl.GetWindowText();
        ctrl.Detach();
    } else {
        ::SetWindowTextA(hCtrl, value.c_str());
    }
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value)
{
    if (pDX->m_bFailed)
        return;
    const HWND hCtrl = pDX->PrepareCtrl(nIDC);
    if (!hCtrl)
        return;
    if (pDX->m_bSaveAndValidate)
        value = static_cast<int>(::SendMessageA(hCtrl, BM_GETCHECK, 0, 0));
    else
        ::SendMessageA(hCtrl, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void DDX_Radio(CDataExchange* pDX, int nIDC, int& value)
{
    if (pDX->m_bFailed)
        return;
    HWND hCtrl = pDX->PrepareCtrl(nIDC);
    if (!hCtrl)
        return;
    if (pDX->m_bSaveAndValidate)
        value = -1;
    // The group: this button and its siblings up to the next WS_GROUP; only radio buttons count.
    int index = 0;
    do {
        if (::SendMessageA(hCtrl, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) {
            if (pDX->m_bSaveAndValidate) {
                if (value < 0 && ::SendMessageA(hCtrl, BM_GETCHECK, 0, 0) == BST_CHECKED)
                    value = index;
            } else {
                ::SendMessageA(hCtrl, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
            }
            ++index;
        }
        hCtrl = ::GetWindow(hCtrl, GW_HWNDNEXT);
    } while (hCtrl && !(::GetWindowLongPtrA(hCtrl, GWL_STYLE) & WS_GROUP));
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    if (pDX->m_bFailed)
        return;
    // Bound again on every exchange: the dialog may have been created anew since.
    rControl.Attach(pDX->PrepareCtrl(nIDC));
}

void DDV_MaxChars(CDataExchange* pDX, const std::string& value, int nChars)
{
    if (pDX->m_bFailed)
        return;
    if (!pDX->m_bSaveAndValidate) {
        if (pDX->m_hWndLastControl && pDX->m_bEditLastControl)
            ::SendMessageA(pDX->m_hWndLastControl, EM_LIMITTEXT, static_cast<WPARAM>(nChars), 0);
        return;
    }
    if (static_cast<int>(value.size()) <= nChars)
        return;
    const std::string count = std::to_string(nChars);
    const DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(count.c_str())};
    char* text = nullptr;
    if (::FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                         "Please enter no more than %1 characters.", 0, 0, reinterpret_cast<LPSTR>(&text), 0,
                         reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args)))) {
        AfxMessageBox(text, MB_ICONEXCLAMATION);
        ::LocalFree(text);
    }
    pDX->Fail();
}
