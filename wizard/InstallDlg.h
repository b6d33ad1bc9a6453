// The wizard frame: one page at a time in the page area, Back / Next / Exit, the About entry, and the run of
// the install sequence on the progress page. Its About box.
#pragma once

#include "ProductConstants.h"
#include "WinApp.h"
#include "WizardContext.h"
#include "ProgressPages.h"
#include "WizardPages.h"
#include "WizardRules.h"
#include "resource.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg() : CDialog(IDD_ABOUT, nullptr) {}
    BOOL OnInitDialog() override;
};

class CInstallDlg : public CDialog, public IWizardWindow {
    DECLARE_DYNAMIC(CInstallDlg)
public:
    explicit CInstallDlg(CWnd* pParent = nullptr);
    ~CInstallDlg() override;

    bool m_bInstallComplete = false;
    CDlgLanguage m_dlgLanguage;
    CDlgMethod m_dlgMethod;
    CDlgFolder m_dlgFolder;
    CDlgShortcut m_dlgShortcut;
    CDlgInstall m_dlgInstall;
    CDlgInfo m_dlgInfo;
    CWizardPage* m_pPages[PAGE_COUNT] = {};
    int m_nCurrentPage = -1;
    HICON m_hIcon = nullptr;  // shared icon from LoadIcon: never destroyed

    BOOL OnInitDialog() override;
    void ShowPage(int index);
    void UpdateButtons();
    void RefreshTexts() override;
    bool IsInstallCompleted() const override { return m_bInstallComplete; }
    void OnOK() override;
    void OnBack();
    void OnCancel() override;

    // Window messages (the thunks of the message map call these).
    bool OnSysCommand(UINT nID);
    bool OnPaint();
    void OnGetMinMaxInfo(MINMAXINFO* pInfo);
    LRESULT OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(m_hIcon); }
    void OnDestroy();

protected:
    DECLARE_MESSAGE_MAP()

private:
    void LayoutPageArea();
    void SetCaptionAndAboutEntry(bool bAppendEntry);
};
