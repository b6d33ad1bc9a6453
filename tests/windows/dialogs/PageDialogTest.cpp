// Page containers under Wine: tab pages with the next/previous commands, validation on leaving, the
// resizable variant, and tree pages with headings that redirect the selection.
#include "DialogTestIds.h"
#include "DialogTestSupport.h"
#include "TabDialog.h"

#include <gtest/gtest.h>

#include <array>

namespace {

// A page whose text may hold at most five characters when it is left.
class CTestPage : public CDialog {
public:
    CTestPage() : CDialog(IDD_TEST_PAGE, nullptr) {}
    std::string m_strName = "page";

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Text(pDX, IDC_TEST_NAME, m_strName);
        DDV_MaxChars(pDX, m_strName, 5);
    }
};

class CTestTabs : public CQuTabDialog {
public:
    CTestTabs() : CQuTabDialog(IDD_TEST_TABS, nullptr) {}
    std::vector<LPARAM> m_params;
    void OnTabItemParam(LPARAM lParam) override { m_params.push_back(lParam); }
};

class CTestResizableTabs : public CQuResizableTabDialog {
public:
    CTestResizableTabs() : CQuResizableTabDialog(IDD_TEST_TABS_RESIZE, nullptr) {}
    const RESIZE_ENTRY* GetLayoutTable() const override
    {
        static const RESIZE_ENTRY table[] = {{IDC_PAGE_TAB, RSZ_SIZE_X | RSZ_SIZE_Y}, {IDOK, RSZ_MOVE_X | RSZ_MOVE_Y},
                                             {IDCANCEL, RSZ_MOVE_X | RSZ_MOVE_Y}, {IDC_SIZEGRIP, RSZ_MOVE_X | RSZ_MOVE_Y}};
        return table;
    }
};

std::array<bool, 3> Visible(const std::array<CTestPage, 3>& pages)
{
    return {IsWindowVisible(pages[0].m_hWnd) != FALSE, IsWindowVisible(pages[1].m_hWnd) != FALSE,
            IsWindowVisible(pages[2].m_hWnd) != FALSE};
}

int CurSel(HWND dialog, int id) { return static_cast<int>(SendDlgItemMessageA(dialog, id, TCM_GETCURSEL, 0, 0)); }

void Command(HWND dialog, UINT id) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

// A multi-line edit turns Escape into a close request to its parent, the page: the page does not end itself
// (which would leave the tab's area empty) but passes it on, so Escape cancels the dialog as it does elsewhere.
TEST(CQuTabDialog, EscapeInAPagesMultiLineEditCancelsTheDialog)
{
    std::array<CTestPage, 2> pages;
    CTestTabs dlg;
    for (CTestPage& page : pages)
        dlg.AddPage(page, "Page", 0);
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    const HWND notes = GetDlgItem(pages[0].m_hWnd, IDC_TEST_NOTES);
    SendMessageA(run.hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(notes), TRUE);
    ASSERT_EQ(FocusOf(run.thread.Id()), notes);
    PressKey(notes, VK_ESCAPE);
    EXPECT_TRUE(run.thread.Join(5000));
    EXPECT_EQ(run.result, IDCANCEL);
    if (IsWindow(run.hwnd))
        run.Cancel();
}

TEST(CQuTabDialog, NextAndPreviousWrapAndTheFocusGoesToTheNewPage)
{
    std::array<CTestPage, 3> pages;
    CTestTabs dlg;
    dlg.m_bReadTabParam = true;
    for (int i = 0; i < 3; ++i)
        dlg.AddPage(pages[static_cast<size_t>(i)], ("Page " + std::to_string(i)).c_str(), 100 + i);
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    EXPECT_EQ(Visible(pages), (std::array<bool, 3>{true, false, false}));
    // On the tab control the focus stays there; in a page it goes to the new page's first tab stop.
    const HWND tab = GetDlgItem(run.hwnd, IDC_PAGE_TAB);
    SendMessageA(run.hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(tab), TRUE);
    Command(run.hwnd, ID_NEXT_PAGE);
    Command(run.hwnd, ID_PREV_PAGE);
    EXPECT_EQ(FocusOf(run.thread.Id()), tab);
    SendMessageA(run.hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(pages[0].m_hWnd, IDC_TEST_NAME)), TRUE);
    const struct {
        UINT command;
        int page;
    } steps[] = {{ID_NEXT_PAGE, 1}, {ID_NEXT_PAGE, 2}, {ID_NEXT_PAGE, 0}, {ID_PREV_PAGE, 2}, {ID_PREV_PAGE, 1}};
    for (const auto& s : steps) {
        Command(run.hwnd, s.command);
        EXPECT_EQ(dlg.GetCurrentPage(), s.page);
        EXPECT_EQ(CurSel(run.hwnd, IDC_PAGE_TAB), s.page);
        std::array<bool, 3> expected = {false, false, false};
        expected[static_cast<size_t>(s.page)] = true;
        EXPECT_EQ(Visible(pages), expected);
        EXPECT_EQ(FocusOf(run.thread.Id()), GetDlgItem(pages[static_cast<size_t>(s.page)].m_hWnd, IDC_TEST_NAME));
    }
    EXPECT_EQ(dlg.m_params, (std::vector<LPARAM>{100, 101, 100, 101, 102, 100, 102, 101}));
    EXPECT_STREQ(dlg.GetRuntimeClass()->m_lpszClassName, "CQuTabDialog");
    ASSERT_TRUE(run.Cancel());
}

TEST(CQuTabDialog, AChangeRefusedByValidationKeepsThePage)
{
    std::array<CTestPage, 3> pages;
    CTestTabs dlg;
    dlg.m_bValidatePages = true;
    for (auto& page : pages)
        dlg.AddPage(page, "Page");
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    SetItemText(pages[0].m_hWnd, IDC_TEST_NAME, "too long");
    // By command, then by a click on the second tab.
    PostMessageA(run.hwnd, WM_COMMAND, MAKEWPARAM(ID_NEXT_PAGE, 0), 0);
    EXPECT_EQ(AnswerMessageBox(run.thread.Id(), IDOK, run.hwnd), "Please enter no more than 5 characters.");
    const HWND tab = GetDlgItem(run.hwnd, IDC_PAGE_TAB);
    RECT rc = {};
    SendMessageA(tab, TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&rc));
    const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    PostMessageA(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(tab, WM_LBUTTONUP, 0, at);
    EXPECT_EQ(AnswerMessageBox(run.thread.Id(), IDOK, run.hwnd), "Please enter no more than 5 characters.");
    EXPECT_EQ(dlg.GetCurrentPage(), 0);
    EXPECT_EQ(CurSel(run.hwnd, IDC_PAGE_TAB), 0);
    EXPECT_EQ(Visible(pages), (std::array<bool, 3>{true, false, false}));
    // Valid: the page's data is saved when it is left and loaded when it is entered.
    SetItemText(pages[0].m_hWnd, IDC_TEST_NAME, "short");
    pages[1].m_strName = "one";
    PostMessageA(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(tab, WM_LBUTTONUP, 0, at);
    EXPECT_TRUE(WaitUntil([&] { return dlg.GetCurrentPage() == 1; }));
    EXPECT_EQ(pages[0].m_strName, "short");
    EXPECT_EQ(GetItemText(pages[1].m_hWnd, IDC_TEST_NAME), "one");
    ASSERT_TRUE(run.Cancel());
}

TEST(CQuTabDialog, CtrlTabAndCtrlPageKeysChangeThePage)
{
    std::array<CTestPage, 3> pages;
    CTestTabs dlg;
    for (auto& page : pages)
        dlg.AddPage(page, "Page");
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    // The test thread shares the dialog thread's keyboard state, so Ctrl and Shift read as held there.
    ASSERT_TRUE(AttachThreadInput(GetCurrentThreadId(), run.thread.Id(), TRUE));
    const auto setModifiers = [](bool control, bool shift) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_CONTROL] = control ? 0x80 : 0;
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
    };
    const struct {
        WPARAM key;
        bool shift;
        int page;
    } steps[] = {{VK_TAB, false, 1}, {VK_NEXT, false, 2}, {VK_TAB, false, 0}, {VK_TAB, true, 2}, {VK_PRIOR, false, 1}};
    for (const auto& s : steps) {
        setModifiers(true, s.shift);
        PressKey(FocusOf(run.thread.Id()), s.key);
        EXPECT_TRUE(WaitUntil([&] { return dlg.GetCurrentPage() == s.page; }, 2000))
            << s.key << (s.shift ? " with Shift" : "") << ": page " << dlg.GetCurrentPage();
        setModifiers(false, false);
    }
    AttachThreadInput(GetCurrentThreadId(), run.thread.Id(), FALSE);
    ASSERT_TRUE(run.Cancel());
}

TEST(CQuTabDialog, OnePageDoesNotChange)
{
    CTestPage page;
    CTestTabs dlg;
    dlg.AddPage(page, "Only");
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    Command(run.hwnd, ID_NEXT_PAGE);
    Command(run.hwnd, ID_PREV_PAGE);
    EXPECT_EQ(dlg.GetCurrentPage(), 0);
    EXPECT_TRUE(IsWindowVisible(page.m_hWnd));
    ASSERT_TRUE(run.Cancel());
}

TEST(CQuResizableTabDialog, PagesFollowTheTabControlsDisplayArea)
{
    std::array<CTestPage, 3> pages;
    CTestResizableTabs dlg;
    for (auto& page : pages)
        dlg.AddPage(page, "Page");
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    const RECT before = GetItemRect(run.hwnd, IDC_PAGE_TAB);
    RECT page0 = {}, page2 = {};
    GetWindowRect(pages[0].m_hWnd, &page0);
    const SIZE c0 = GetClientSize(run.hwnd);
    SetClientSize(run.hwnd, c0.cx + 20, c0.cy + 10);
    EXPECT_EQ(GetItemRect(run.hwnd, IDC_PAGE_TAB).right, before.right + 20);
    for (RECT* rc : {&page0, &page2}) {
        RECT now = {};
        GetWindowRect(pages[rc == &page0 ? 0 : 2].m_hWnd, &now);
        EXPECT_EQ((now.right - now.left) - (page0.right - page0.left), 20);
        EXPECT_EQ((now.bottom - now.top) - (page0.bottom - page0.top), 10);
    }
    Command(run.hwnd, ID_NEXT_PAGE);
    EXPECT_EQ(dlg.GetCurrentPage(), 1);
    EXPECT_STREQ(dlg.GetRuntimeClass()->m_lpszClassName, "CQuResizableTabDialog");
    ASSERT_TRUE(run.Cancel());
}

class CTestTree : public CQuTreeDialog {
public:
    CTestTree() : CQuTreeDialog(IDD_TEST_TREE_PAGES, nullptr) {}
};

// The dialog's answer to TVN_ITEMEXPANDING for the item: 1 refuses.
LRESULT Expanding(HWND dialog, HWND tree, HTREEITEM hItem, UINT action)
{
    NMTREEVIEWA nm = {};
    nm.hdr = {tree, IDC_PAGE_TREE, static_cast<UINT>(TVN_ITEMEXPANDINGA)};
    nm.action = action;
    nm.itemNew.hItem = hItem;
    return SendMessageA(dialog, WM_NOTIFY, IDC_PAGE_TREE, reinterpret_cast<LPARAM>(&nm));
}

HTREEITEM TreeNext(HWND tree, HTREEITEM h, UINT code)
{
    return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(h)));
}

TEST(CQuTreeDialog, HeadingsRedirectTheSelectionToAPage)
{
    // General: page 0, page 1; Advanced: page 2.
    std::array<CTestPage, 3> pages;
    CTestTree dlg;
    dlg.AddHeading("General");
    dlg.AddPage(pages[0], "First");
    dlg.AddPage(pages[1], "Second");
    dlg.AddHeading("Advanced");
    dlg.AddPage(pages[2], "Third");
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    const HWND tree = GetDlgItem(run.hwnd, IDC_PAGE_TREE);
    EXPECT_EQ(dlg.GetCurrentPage(), 0);
    EXPECT_EQ(Visible(pages), (std::array<bool, 3>{true, false, false}));
    const HTREEITEM general = TreeNext(tree, nullptr, TVGN_ROOT);
    const HTREEITEM advanced = TreeNext(tree, general, TVGN_NEXT);

    // Selecting a heading selects its first page instead.
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(advanced));
    EXPECT_TRUE(WaitUntil([&] { return dlg.GetCurrentPage() == 2; }));
    EXPECT_EQ(Visible(pages), (std::array<bool, 3>{false, false, true}));
    // Moving up with the keyboard onto a heading goes on to the page above it.
    PostMessageA(tree, WM_KEYDOWN, VK_UP, 1);
    EXPECT_TRUE(WaitUntil([&] { return dlg.GetCurrentPage() == 1; }));
    EXPECT_EQ(TreeNext(tree, nullptr, TVGN_CARET), TreeNext(tree, TreeNext(tree, general, TVGN_CHILD), TVGN_NEXT));
    // Headings are shown open and cannot be collapsed or expanded without the expand flag.
    EXPECT_TRUE(SendMessageA(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(general), TVIS_EXPANDED) & TVIS_EXPANDED);
    EXPECT_EQ(Expanding(run.hwnd, tree, general, TVE_COLLAPSE), 1);
    EXPECT_EQ(Expanding(run.hwnd, tree, general, TVE_EXPAND), 1);
    EXPECT_STREQ(dlg.GetRuntimeClass()->m_lpszClassName, "CQuTreeDialog");
    ASSERT_TRUE(run.Cancel());
}

TEST(CQuTreeDialog, ValidationOnLeavingAndTheExpandFlag)
{
    std::array<CTestPage, 2> pages;
    CTestTree dlg;
    dlg.m_bValidatePages = true;
    dlg.m_bAllowExpand = true;
    dlg.AddHeading("General");
    dlg.AddPage(pages[0], "First");
    dlg.AddPage(pages[1], "Second");
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    const HWND tree = GetDlgItem(run.hwnd, IDC_PAGE_TREE);
    const HTREEITEM general = TreeNext(tree, nullptr, TVGN_ROOT);
    const HTREEITEM second = TreeNext(tree, TreeNext(tree, general, TVGN_CHILD), TVGN_NEXT);
    SetItemText(pages[0].m_hWnd, IDC_TEST_NAME, "too long");
    PostMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(second));
    EXPECT_EQ(AnswerMessageBox(run.thread.Id(), IDOK, run.hwnd), "Please enter no more than 5 characters.");
    EXPECT_EQ(dlg.GetCurrentPage(), 0);
    SetItemText(pages[0].m_hWnd, IDC_TEST_NAME, "ok");
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(second));
    EXPECT_EQ(dlg.GetCurrentPage(), 1);
    EXPECT_EQ(pages[0].m_strName, "ok");
    EXPECT_EQ(Expanding(run.hwnd, tree, general, TVE_COLLAPSE), 0);
    ASSERT_TRUE(run.Cancel());
}

}  // namespace
