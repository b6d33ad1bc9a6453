#include "TabDialog.h"

IMPLEMENT_DYNAMIC(CQuTabDialog, CQuDialog)
IMPLEMENT_DYNAMIC(CQuResizableTabDialog, CQuResizableDialog)
IMPLEMENT_DYNAMIC(CQuTreeDialog, CQuDialog)

// Tab pages.

void CQuTabPages::Initialise()
{
    m_tab.Attach(m_host.GetDlgItem(IDC_PAGE_TAB));
    for (size_t i = 0; i < m_pages.size(); ++i) {
        m_tab.InsertItem(static_cast<int>(i), m_pages[i].strTitle.c_str(), m_pages[i].lParam);
        m_pages[i].pDialog->Create(nullptr, &m_host);
    }
    MovePages(DisplayArea());
    if (!m_pages.empty()) {
        m_tab.SetCurSel(0);
        EnterPage(0);
    }
}

RECT CQuTabPages::DisplayArea() const
{
    RECT rc = {};
    if (!m_tab.m_hWnd)
        return rc;
    ::GetClientRect(m_tab.m_hWnd, &rc);
    ::SendMessageA(m_tab.m_hWnd, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&rc));
    ::MapWindowPoints(m_tab.m_hWnd, m_host.m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
    rc.left -= 2;
    return rc;
}

void CQuTabPages::MovePages(const RECT& rc)
{
    for (const Page& page : m_pages)
        if (page.pDialog->m_hWnd)
            page.pDialog->MoveWindow(rc, true);
}

bool CQuTabPages::LeavePage()
{
    if (m_nCurrent < 0)
        return true;
    CDialog* page = m_pages[static_cast<size_t>(m_nCurrent)].pDialog;
    if (m_bValidatePages && !page->UpdateData(true))
        return false;
    page->ShowWindow(SW_HIDE);
    return true;
}

void CQuTabPages::EnterPage(int nPage)
{
    m_nCurrent = nPage;
    CDialog* page = m_pages[static_cast<size_t>(nPage)].pDialog;
    if (m_bValidatePages)
        page->UpdateData(false);
    page->ShowWindow(SW_SHOW);
    if (m_bReadTabParam) {
        TCITEMA item = {};
        item.mask = TCIF_PARAM;
        if (m_tab.SendMessage(TCM_GETITEMA, static_cast<WPARAM>(m_tab.GetCurSel()), reinterpret_cast<LPARAM>(&item)) &&
            m_onTabParam)
            m_onTabParam(item.lParam);
    }
}

void CQuTabPages::FocusPageIfSelectorHadNoFocus()
{
    if (m_bSelectorHadFocus || m_nCurrent < 0)
        return;
    CDialog* page = m_pages[static_cast<size_t>(m_nCurrent)].pDialog;
    if (const HWND hFirst = ::GetNextDlgTabItem(page->m_hWnd, nullptr, FALSE))
        m_host.GotoDlgCtrl(hFirst);
}

LRESULT CQuTabPages::OnSelChanging()
{
    m_bSelectorHadFocus = ::GetFocus() == m_tab.m_hWnd;
    if (!LeavePage())
        return 1;
    m_host.GotoDlgCtrl(m_tab.m_hWnd);
    return 0;
}

void CQuTabPages::OnSelChange()
{
    const int nPage = m_tab.GetCurSel();
    if (nPage < 0 || nPage >= static_cast<int>(m_pages.size()))
        return;
    EnterPage(nPage);
    FocusPageIfSelectorHadNoFocus();
}

void CQuTabPages::OnStep(int nStep)
{
    m_bSelectorHadFocus = ::GetFocus() == m_tab.m_hWnd;
    const int n = static_cast<int>(m_pages.size());
    if (n < 2 || !LeavePage())
        return;
    const int nPage = ((m_nCurrent < 0 ? 0 : m_nCurrent) + nStep + n) % n;
    m_tab.SetCurSel(nPage);
    EnterPage(nPage);
    FocusPageIfSelectorHadNoFocus();
}

bool CQuTabPages::TranslatePageKeys(const MSG* pMsg)
{
    if (pMsg->message != WM_KEYDOWN || !(::GetKeyState(VK_CONTROL) & 0x8000))
        return false;
    const bool bShift = (::GetKeyState(VK_SHIFT) & 0x8000) != 0;
    UINT nCommand = 0;
    if (pMsg->wParam == VK_TAB)
        nCommand = bShift ? ID_PREV_PAGE : ID_NEXT_PAGE;
    else if (pMsg->wParam == VK_NEXT)
        nCommand = ID_NEXT_PAGE;
    else if (pMsg->wParam == VK_PRIOR)
        nCommand = ID_PREV_PAGE;
    if (!nCommand || !m_host.m_hWnd)
        return false;
    m_host.SendMessage(WM_COMMAND, MAKEWPARAM(nCommand, 0), 0);
    return true;
}

// Tab dialog.

BEGIN_MESSAGE_MAP(CQuTabDialog, CDialog)
    ON_NOTIFY(TCN_SELCHANGING, IDC_PAGE_TAB, OnSelChanging)
    ON_NOTIFY(TCN_SELCHANGE, IDC_PAGE_TAB, OnSelChange)
    ON_COMMAND(ID_NEXT_PAGE, OnNextPage)
    ON_COMMAND(ID_PREV_PAGE, OnPrevPage)
END_MESSAGE_MAP()

CQuTabDialog::CQuTabDialog(UINT nIDTemplate, CWnd* pParentWnd) : CQuDialog(nIDTemplate, pParentWnd), m_pages(*this)
{
    m_pages.m_onTabParam = [this](LPARAM lParam) { OnTabItemParam(lParam); };
}

CQuTabDialog::~CQuTabDialog() = default;

void CQuTabDialog::AddPage(CDialog& page, const char* title, LPARAM lParam)
{
    m_pages.m_pages.push_back({&page, title ? title : "", lParam});
}

BOOL CQuTabDialog::OnInitDialog()
{
    const BOOL result = CQuDialog::OnInitDialog();
    m_pages.m_bValidatePages = m_bValidatePages;
    m_pages.m_bReadTabParam = m_bReadTabParam;
    m_pages.m_nCurrent = -1;
    m_pages.Initialise();
    return result;
}

bool CQuTabDialog::PreTranslateMessage(MSG* pMsg)
{
    return m_pages.TranslatePageKeys(pMsg) || CQuDialog::PreTranslateMessage(pMsg);
}

void CQuTabDialog::OnSelChanging(NMHDR*, LRESULT* pResult) { *pResult = m_pages.OnSelChanging(); }
void CQuTabDialog::OnSelChange(NMHDR*, LRESULT* pResult)
{
    *pResult = 0;
    m_pages.OnSelChange();
}
void CQuTabDialog::OnNextPage() { m_pages.OnStep(1); }
void CQuTabDialog::OnPrevPage() { m_pages.OnStep(-1); }

// Resizable tab dialog.

BEGIN_MESSAGE_MAP(CQuResizableTabDialog, CQuResizableDialog)
    ON_WM_SIZE()
    ON_NOTIFY(TCN_SELCHANGING, IDC_PAGE_TAB, OnSelChanging)
    ON_NOTIFY(TCN_SELCHANGE, IDC_PAGE_TAB, OnSelChange)
    ON_COMMAND(ID_NEXT_PAGE, OnNextPage)
    ON_COMMAND(ID_PREV_PAGE, OnPrevPage)
END_MESSAGE_MAP()

CQuResizableTabDialog::CQuResizableTabDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : CQuResizableDialog(nIDTemplate, pParentWnd), m_pages(*this)
{
    m_pages.m_onTabParam = [this](LPARAM lParam) { OnTabItemParam(lParam); };
}

CQuResizableTabDialog::~CQuResizableTabDialog() = default;

void CQuResizableTabDialog::AddPage(CDialog& page, const char* title, LPARAM lParam)
{
    m_pages.m_pages.push_back({&page, title ? title : "", lParam});
}

BOOL CQuResizableTabDialog::OnInitDialog()
{
    const BOOL result = CQuResizableDialog::OnInitDialog();
    m_pages.m_bValidatePages = m_bValidatePages;
    m_pages.m_bReadTabParam = m_bReadTabParam;
    m_pages.m_nCurrent = -1;
    m_pages.Initialise();
    return result;
}

bool CQuResizableTabDialog::PreTranslateMessage(MSG* pMsg)
{
    return m_pages.TranslatePageKeys(pMsg) || CQuResizableDialog::PreTranslateMessage(pMsg);
}

void CQuResizableTabDialog::OnSize(UINT nType, int cx, int cy)
{
    // The same conditions as the layout's: not minimised, initialised, a new size.
    const bool bMinimized = nType == SIZE_MINIMIZED || (m_bMinimized && nType != SIZE_RESTORED && nType != SIZE_MAXIMIZED);
    const bool bLayout = !bMinimized && !(m_cxLast == 0 && m_cyLast == 0) && !(cx == m_cxLast && cy == m_cyLast);
    const RECT before = bLayout ? m_pages.DisplayArea() : RECT{};
    CQuResizableDialog::OnSize(nType, cx, cy);
    if (!bLayout)
        return;
    const RECT after = m_pages.DisplayArea();
    if (!EqualRect(&before, &after))
        m_pages.MovePages(after);
}

void CQuResizableTabDialog::OnSelChanging(NMHDR*, LRESULT* pResult) { *pResult = m_pages.OnSelChanging(); }
void CQuResizableTabDialog::OnSelChange(NMHDR*, LRESULT* pResult)
{
    *pResult = 0;
    m_pages.OnSelChange();
}
void CQuResizableTabDialog::OnNextPage() { m_pages.OnStep(1); }
void CQuResizableTabDialog::OnPrevPage() { m_pages.OnStep(-1); }

// Tree dialog.

BEGIN_MESSAGE_MAP(CQuTreeDialog, CDialog)
    ON_NOTIFY(TVN_SELCHANGINGA, IDC_PAGE_TREE, OnSelChanging)
    ON_NOTIFY(TVN_SELCHANGEDA, IDC_PAGE_TREE, OnSelChanged)
    ON_NOTIFY(TVN_ITEMEXPANDINGA, IDC_PAGE_TREE, OnItemExpanding)
END_MESSAGE_MAP()

CQuTreeDialog::CQuTreeDialog(UINT nIDTemplate, CWnd* pParentWnd) : CQuDialog(nIDTemplate, pParentWnd) {}

CQuTreeDialog::~CQuTreeDialog() = default;

void CQuTreeDialog::AddHeading(const char* title) { m_entries.push_back({nullptr, title ? title : "", nullptr}); }

void CQuTreeDialog::AddPage(CDialog& page, const char* title)
{
    m_pageEntries.push_back(static_cast<int>(m_entries.size()));
    m_entries.push_back({&page, title ? title : "", nullptr});
}

BOOL CQuTreeDialog::OnInitDialog()
{
    const BOOL result = CQuDialog::OnInitDialog();
    m_tree.Attach(GetDlgItem(IDC_PAGE_TREE));
    m_nCurrent = -1;
    // Pages go to the right of the tree, as high as the tree.
    RECT rcTree, rcClient;
    ::GetWindowRect(m_tree.m_hWnd, &rcTree);
    ScreenToClient(&rcTree);
    GetClientRect(&rcClient);
    const RECT rcPage = {rcTree.right + 7, rcTree.top, rcClient.right - 7, rcTree.bottom};
    HTREEITEM hHeading = TVI_ROOT;
    int nPage = 0;
    for (Entry& entry : m_entries) {
        if (!entry.pDialog) {
            entry.hItem = m_tree.InsertItem(entry.strTitle.c_str(), TVI_ROOT, TVI_LAST, -1);
            hHeading = entry.hItem;
            continue;
        }
        entry.hItem = m_tree.InsertItem(entry.strTitle.c_str(), hHeading, TVI_LAST, nPage++);
        entry.pDialog->Create(nullptr, this);
        entry.pDialog->MoveWindow(rcPage, true);
    }
    // Every heading is shown open; the expand flag decides whether the user may change that.
    m_bInitialising = true;
    for (const Entry& entry : m_entries)
        if (!entry.pDialog)
            m_tree.SendMessage(TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(entry.hItem));
    m_bInitialising = false;
    if (!m_pageEntries.empty())
        m_tree.SelectItem(m_entries[static_cast<size_t>(m_pageEntries[0])].hItem);
    return result;
}

void CQuTreeDialog::OnItemExpanding(NMHDR*, LRESULT* pResult) { *pResult = m_bAllowExpand || m_bInitialising ? 0 : 1; }

void CQuTreeDialog::OnSelChanging(NMHDR* pNMHDR, LRESULT* pResult)
{
    *pResult = 0;
    const auto* pnm = reinterpret_cast<const NMTREEVIEWA*>(pNMHDR);
    if (!pnm->itemOld.hItem)
        return;
    const HTREEITEM hNew = pnm->itemNew.hItem;
    if (m_tree.GetItemData(hNew) < 0) {
        // A heading: a page item is selected instead, once this change has been refused.
        bool bUp = false;
        if (pnm->action == TVC_BYKEYBOARD)
            for (HTREEITEM h = m_tree.GetNextItem(pnm->itemOld.hItem, TVGN_PREVIOUSVISIBLE); h && !bUp;
                 h = m_tree.GetNextItem(h, TVGN_PREVIOUSVISIBLE))
                bUp = h == hNew;
        HTREEITEM hTarget = nullptr;
        if (bUp)
            for (HTREEITEM h = m_tree.GetNextItem(hNew, TVGN_PREVIOUSVISIBLE); h && !hTarget;
                 h = m_tree.GetNextItem(h, TVGN_PREVIOUSVISIBLE))
                if (m_tree.GetItemData(h) >= 0)
                    hTarget = h;
        if (!hTarget)
            hTarget = m_tree.GetChildItem(hNew);
        if (hTarget) {
            m_tree.PostMessage(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(hTarget));
            m_tree.PostMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(hTarget));
        }
        *pResult = 1;
        return;
    }
    if (m_nCurrent >= 0) {
        CDialog* page = m_entries[static_cast<size_t>(m_pageEntries[static_cast<size_t>(m_nCurrent)])].pDialog;
        if (m_bValidatePages && !page->UpdateData(true)) {
            *pResult = 1;
            return;
        }
        page->ShowWindow(SW_HIDE);
    }
    GotoDlgCtrl(m_tree.m_hWnd);
}

void CQuTreeDialog::OnSelChanged(NMHDR* pNMHDR, LRESULT* pResult)
{
    *pResult = 0;
    const LPARAM nPage = m_tree.GetItemData(reinterpret_cast<const NMTREEVIEWA*>(pNMHDR)->itemNew.hItem);
    if (nPage < 0 || nPage >= static_cast<LPARAM>(m_pageEntries.size()))
        return;
    m_nCurrent = static_cast<int>(nPage);
    CDialog* page = m_entries[static_cast<size_t>(m_pageEntries[static_cast<size_t>(m_nCurrent)])].pDialog;
    if (m_bValidatePages)
        page->UpdateData(false);
    page->ShowWindow(SW_SHOW);
}
