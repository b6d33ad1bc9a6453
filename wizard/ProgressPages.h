// The progress page (summary, then the install sequence's log) and the final information page.
#pragma once

#include "Controls.h"
#include "InstallSequence.h"
#include "WizardPage.h"
#include "resource.h"

class CDlgInstall : public CWizardPage, public IInstallProgress {
    DECLARE_DYNAMIC(CDlgInstall)
public:
    explicit CDlgInstall(CWnd* pParent = nullptr) : CWizardPage(IDD_PROGRESS_PAGE, pParent) {}
    CEdit m_editLog;
    CProgressCtrl m_progress;
    std::string m_strProgramPath;
    std::string m_strUninstallerPath;

    BOOL OnInitDialog() override;
    void RefreshTexts() override;

    // Runs the install sequence on this page; true when the installation succeeded.
    bool RunInstallSequence();

    // IInstallProgress.
    void SetStatusText(const std::string& text) override;
    void SetStatusPath(const std::string& text) override;
    void AppendLine(const std::string& text, bool bHeader) override;
    void SetProgressPos(int position) override { m_progress.SetPos(position); }
    void ShowProgress() override { m_progress.ShowWindow(SW_SHOW); }
    HWND GetOwnerWindow() const override { return m_hWnd; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    const PAGE_LAYOUT* GetPageLayout(size_t& count) const override;

private:
    void BuildSummary();
    // The ruled form of a header (or of an empty text) for the log box's width.
    std::string RuleLine(const std::string& text);
};

class CDlgInfo : public CWizardPage {
public:
    explicit CDlgInfo(CWnd* pParent = nullptr) : CWizardPage(IDD_INFO_PAGE, pParent) {}
    void RefreshTexts() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    const PAGE_LAYOUT* GetPageLayout(size_t& count) const override;
};
