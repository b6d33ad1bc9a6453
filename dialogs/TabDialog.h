// Page containers: child dialogs as pages selected by a tab control (IDC_PAGE_TAB), with optional validation when a
// page is left, commands 0xD200 (next page) and 0xD201 (previous page), and a resizable variant.
#pragma once

#include "Controls.h"
#include "QuDialog.h"
#include "ResizableDialog.h"
#include "resource.h"

#include <functional>
#include <string>
#include <vector>

constexpr UINT ID_NEXT_PAGE = 0xD200;
constexpr UINT ID_PREV_PAGE = 0xD201;

// The pages and the page-switching rules shared by the tab dialogs. The host is the container dialog.
class CQuTabPages {
public:
    explicit CQuTabPages(CDialog& host) : m_host(host) {}

    struct Page {
        CDialog* pDialog;
        std::string strTitle;
        LPARAM lParam;
    };
    std::vector<Page> m_pages;
    int m_nCurrent = -1;
    bool m_bValidatePages = false;
    bool m_bSelectorHadFocus = false;
    bool m_bReadTabParam = false;  // after each change, the tab's item parameter goes to m_onTabParam
    std::function<void(LPARAM)> m_onTabParam;
    CTabCtrl m_tab;

    // Creates the pages as children of the host in the tab's display area and shows the first.
    void Initialise();
    // The tab control's display area in the host's client coordinates.
    RECT DisplayArea() const;
    void MovePages(const RECT& rc);
    bool LeavePage();
    void EnterPage(int nPage);
    // TCN_SELCHANGING result: 0 allows the change, 1 refuses it.
    LRESULT OnSelChanging();
    void OnSelChange();
    void OnStep(int nStep);
    // Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PageDown and Ctrl+PageUp as the next and previous page commands.
    bool TranslatePageKeys(const MSG* pMsg);

private:
    void FocusPageIfSelectorHadNoFocus();
    CDialog& m_host;
};

class CQuTabDialog : public CQuDialog {
    DECLARE_DYNAMIC(CQuTabDialog)
public:
    CQuTabDialog(UINT nIDTemplate, CWnd* pParentWnd);
    ~CQuTabDialog() override;

    // Adds a page (before the window is created); its template must be a child template.
    void AddPage(CDialog& page, const char* title, LPARAM lParam = 0);
    int GetCurrentPage() const { return m_pages.m_nCurrent; }
    bool m_bValidatePages = false;
    bool m_bReadTabParam = false;
    // Receives the selected tab's item parameter after a page change (with m_bReadTabParam).
    virtual void OnTabItemParam(LPARAM) {}

    bool PreTranslateMessage(MSG* pMsg) override;

protected:
    BOOL OnInitDialog() override;
    void OnSelChanging(NMHDR* pNMHDR, LRESULT* pResult);
    void OnSelChange(NMHDR* pNMHDR, LRESULT* pResult);
    void OnNextPage();
    void OnPrevPage();
    DECLARE_MESSAGE_MAP()

    CQuTabPages m_pages;
};

class CQuResizableTabDialog : public CQuResizableDialog {
    DECLARE_DYNAMIC(CQuResizableTabDialog)
public:
    CQuResizableTabDialog(UINT nIDTemplate, CWnd* pParentWnd);
    ~CQuResizableTabDialog() override;

    void AddPage(CDialog& page, const char* title, LPARAM lParam = 0);
    int GetCurrentPage() const { return m_pages.m_nCurrent; }
    bool m_bValidatePages = false;
    bool m_bReadTabParam = false;
    virtual void OnTabItemParam(LPARAM) {}

    bool PreTranslateMessage(MSG* pMsg) override;

protected:
    BOOL OnInitDialog() override;
    void OnSize(UINT nType, int cx, int cy);
    void OnSelChanging(NMHDR* pNMHDR, LRESULT* pResult);
    void OnSelChange(NMHDR* pNMHDR, LRESULT* pResult);
    void OnNextPage();
    void OnPrevPage();
    DECLARE_MESSAGE_MAP()

    CQuTabPages m_pages;
};

// Pages selected by a tree control (id 97). Items with negative data are headings without a page: selecting
// one selects a page item instead.
class CQuTreeDialog : public CQuDialog {
    DECLARE_DYNAMIC(CQuTreeDialog)
public:
    CQuTreeDialog(UINT nIDTemplate, CWnd* pParentWnd);
    ~CQuTreeDialog() override;

    // A heading at the top level; the pages added after it go under it.
    void AddHeading(const char* title);
    void AddPage(CDialog& page, const char* title);
    int GetCurrentPage() const { return m_nCurrent; }
    bool m_bValidatePages = false;
    bool m_bAllowExpand = false;

protected:
    BOOL OnInitDialog() override;
    void OnSelChanging(NMHDR* pNMHDR, LRESULT* pResult);
    void OnSelChanged(NMHDR* pNMHDR, LRESULT* pResult);
    void OnItemExpanding(NMHDR* pNMHDR, LRESULT* pResult);
    DECLARE_MESSAGE_MAP()

private:
    struct Entry {
        CDialog* pDialog;  // null for a heading
        std::string strTitle;
        HTREEITEM hItem;
    };
    std::vector<Entry> m_entries;
    std::vector<int> m_pageEntries;  // entry index of each page
    int m_nCurrent = -1;
    bool m_bSelectorHadFocus = false;
    bool m_bInitialising = false;
    CTreeCtrl m_tree;
};
