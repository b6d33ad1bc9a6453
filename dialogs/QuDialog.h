// The base of the publisher's dialogs: enabling and showing controls without leaving the keyboard focus on a
// disabled or hidden control.
#pragma once

#include "Dialog.h"

class CQuDialog : public CDialog {
    DECLARE_DYNAMIC(CQuDialog)
public:
    CQuDialog(UINT nIDTemplate, CWnd* pParentWnd) : CDialog(nIDTemplate, pParentWnd) {}
    CQuDialog(LPCSTR lpszTemplateName, CWnd* pParentWnd) : CDialog(lpszTemplateName, pParentWnd) {}
    ~CQuDialog() override;

    // Enabling: a hidden control stays disabled. Disabling: the focus first moves on to the next tab stop
    // when the control has it.
    void EnableControl(HWND hCtrl, bool bEnable);
    // Shows or hides the control and enables or disables it with it; nothing when it is already so.
    void ShowControl(HWND hCtrl, bool bShow);
    // The dialog item, or null (also before the window exists).
    HWND GetItemHandle(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    void SetItemText(int nID, const char* text) { SetDlgItemText(nID, text); }
};
