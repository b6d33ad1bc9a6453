// Dialogs from templates: modal runs with a message loop of their own, modeless (hidden child) dialogs for
// pages, and dialog data exchange.
#pragma once

#include "Wnd.h"

#include <string>

class CDataExchange;

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)
public:
    CDialog() = default;
    CDialog(LPCSTR lpszTemplateName, CWnd* pParentWnd);
    CDialog(UINT nIDTemplate, CWnd* pParentWnd);
    ~CDialog() override;

    // The template: by name in the resource module, or, when the name is null, an already loaded template.
    LPCSTR m_lpszTemplateName = nullptr;
    HGLOBAL m_hDialogTemplate = nullptr;
    CWnd* m_pParentWnd = nullptr;

    // Runs the dialog modally: its result, or -1 when the template is missing or the window cannot be created.
    virtual INT_PTR DoModal();
    // Creates the dialog modeless as its template says (a page template: a hidden child of pParentWnd).
    bool Create(LPCSTR lpszTemplateName, CWnd* pParentWnd);
    bool Create(UINT nIDTemplate, CWnd* pParentWnd) { return Create(MAKEINTRESOURCEA(nIDTemplate), pParentWnd); }
    // Ends a modal run with nResult; a modeless dialog is hidden.
    void EndDialog(int nResult);

    // Data exchange: loads the controls (false) or saves and validates them (true); false when a validation
    // failed (the user was told and the focus is on the control).
    bool UpdateData(bool bSaveAndValidate = true);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    bool PreTranslateMessage(MSG* pMsg) override;

    // Moves the focus to the next control in the tab order, or to the given control.
    void NextDlgCtrl() const { SendMessage(WM_NEXTDLGCTL, 0, 0); }
    void GotoDlgCtrl(HWND hCtrl) const { SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hCtrl), TRUE); }

protected:
    virtual void DoDataExchange(CDataExchange* pDX);

    // The window procedure of every dialog of the framework. The object is stored at WM_INITDIALOG and
    // forgotten at WM_NCDESTROY; nothing thrown by a handler leaves it.
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

    // For a page (a child dialog): sends the command to the top-level window that holds it and returns true.
    bool ForwardToFrame(int nID);

private:
    // The template to create from (name or loaded handle); null when missing.
    const DLGTEMPLATE* LockTemplate() const;
    void RunModalLoop();

    INT_PTR m_nModalResult = -1;
    bool m_bInModalLoop = false;
    bool m_bEndModal = false;
};

// State of one data exchange between a dialog's controls and its members.
class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, bool bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

    bool m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
    HWND m_hWndLastControl = nullptr;
    bool m_bEditLastControl = false;
    // Set by Fail: the exchange functions that follow do nothing.
    bool m_bFailed = false;

    HWND PrepareCtrl(int nIDC);
    HWND PrepareEditCtrl(int nIDC);
    // Marks the exchange failed and puts the focus on the last prepared control (its text selected).
    void Fail();
};

void DDX_Text(CDataExchange* pDX, int nIDC, std::string& value);
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);
// nIDC is the first radio button of a group; value is the index of the checked one, -1 for none.
void DDX_Radio(CDataExchange* pDX, int nIDC, int& value);
// Binds the control object to the dialog's item.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
// Saving: more than nChars characters shows "Please enter no more than %1 characters." and fails.
// Loading: limits the edit box to nChars.
void DDV_MaxChars(CDataExchange* pDX, const std::string& value, int nChars);

// Registers the common control classes the dialogs use; called before any dialog is created.
void AfxInitCommonControls();
