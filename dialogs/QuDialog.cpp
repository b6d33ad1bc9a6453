#include "QuDialog.h"

IMPLEMENT_DYNAMIC(CQuDialog, CDialog)

CQuDialog::~CQuDialog() = default;

void CQuDialog::EnableControl(HWND hCtrl, bool bEnable)
{
    if (bEnable) {
        if (!(::GetWindowLongPtrA(hCtrl, GWL_STYLE) & WS_VISIBLE))
            return;
        ::EnableWindow(hCtrl, TRUE);
        return;
    }
    // A disabled control with the focus would leave the keyboard stuck.
    if (::GetFocus() == hCtrl)
        SendMessage(WM_NEXTDLGCTL, 0, 0);
    ::EnableWindow(hCtrl, FALSE);
}

void CQuDialog::ShowControl(HWND hCtrl, bool bShow)
{
    const bool bVisible = (::GetWindowLongPtrA(hCtrl, GWL_STYLE) & WS_VISIBLE) != 0;
    if (bVisible == bShow)
        return;
    ::ShowWindow(hCtrl, bShow ? SW_SHOW : SW_HIDE);
    EnableControl(hCtrl, bShow);
}
