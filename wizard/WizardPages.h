// The pages on which the user chooses: language, method, installation folder and shortcuts.
#pragma once

#include "Controls.h"
#include "WizardPage.h"
#include "resource.h"

#include <commctrl.h>

#include <string>

// Owns an image list.
class ImageList {
public:
    ImageList() = default;
    ~ImageList() { Reset(); }
    ImageList(const ImageList&) = delete;
    ImageList& operator=(const ImageList&) = delete;
    HIMAGELIST Get() const { return m_h; }
    void Reset(HIMAGELIST h = nullptr)
    {
        if (m_h)
            ImageList_Destroy(m_h);
        m_h = h;
    }

private:
    HIMAGELIST m_h = nullptr;
};

class CDlgLanguage : public CWizardPage {
public:
    explicit CDlgLanguage(CWnd* pParent = nullptr) : CWizardPage(IDD_LANGUAGE_PAGE, pParent) {}
    CComboBoxEx m_comboLanguage;
    ImageList m_imageList;

    BOOL OnInitDialog() override;
    void RefreshTexts() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    const PAGE_LAYOUT* GetPageLayout(size_t& count) const override;
    void OnSelChangeLanguage();
    DECLARE_MESSAGE_MAP()
};

class CDlgMethod : public CWizardPage {
public:
    explicit CDlgMethod(CWnd* pParent = nullptr) : CWizardPage(IDD_METHOD_PAGE, pParent) {}
    int m_nMethod = -1;  // 0 quick, 1 advanced

    void RefreshTexts() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    const PAGE_LAYOUT* GetPageLayout(size_t& count) const override;
};

class CDlgFolder : public CWizardPage {
public:
    explicit CDlgFolder(CWnd* pParent = nullptr) : CWizardPage(IDD_FOLDER_PAGE, pParent) {}
    std::string m_strFolder;

    BOOL OnInitDialog() override;
    void RefreshTexts() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    const PAGE_LAYOUT* GetPageLayout(size_t& count) const override;
    void OnBrowse();
    DECLARE_MESSAGE_MAP()
};

class CDlgShortcut : public CWizardPage {
public:
    explicit CDlgShortcut(CWnd* pParent = nullptr) : CWizardPage(IDD_SHORTCUT_PAGE, pParent) {}
    bool m_bDesktop = false;
    bool m_bStartMenu = false;
    std::string m_strRelativeFolder;  // relative to m_strStartMenuRoot
    std::string m_strStartMenuRoot;

    BOOL OnInitDialog() override;
    void RefreshTexts() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    const PAGE_LAYOUT* GetPageLayout(size_t& count) const override;
    void OnBrowse();
    void OnMenuShortcutClicked();
    DECLARE_MESSAGE_MAP()
};

// Folder selection by the system version: the system browser from Windows XP (NT 5.1) on.
bool UseSystemFolderBrowser();
