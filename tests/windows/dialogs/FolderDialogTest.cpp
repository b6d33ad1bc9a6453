// The folder tree dialog on template 10001 under Wine: the initial selection, selections with the sub-folder,
// empty folders, clicks on the selected label, the root's parent as base, and OK.
#include "DialogTestSupport.h"
#include "FolderDialog.h"
#include "TestSupport.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <vector>

namespace {

std::string ItemText(HWND tree, HTREEITEM hItem)
{
    char text[MAX_PATH] = {};
    TVITEMA item = {};
    item.mask = TVIF_TEXT;
    item.hItem = hItem;
    item.pszText = text;
    item.cchTextMax = MAX_PATH;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return text;
}

int ItemChildren(HWND tree, HTREEITEM hItem)
{
    TVITEMA item = {};
    item.mask = TVIF_CHILDREN;
    item.hItem = hItem;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return item.cChildren;
}

HTREEITEM Next(HWND tree, HTREEITEM hItem, UINT code)
{
    return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(hItem)));
}

HTREEITEM FindChild(HWND tree, HTREEITEM hParent, const std::string& text)
{
    SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(hParent));
    for (HTREEITEM h = Next(tree, hParent, TVGN_CHILD); h; h = Next(tree, h, TVGN_NEXT))
        if (ItemText(tree, h) == text)
            return h;
    return nullptr;
}

void Select(HWND tree, HTREEITEM hItem) { SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(hItem)); }

// Clicks the tree at a point of its client area, with the cursor there.
void ClickTree(HWND tree, POINT pt)
{
    POINT screen = pt;
    ClientToScreen(tree, &screen);
    SetCursorPos(screen.x, screen.y);
    PostMessageA(tree, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    PostMessageA(tree, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
}

class FolderDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_base = FreshFolder("folder-dialog");
        for (const char* sub : {"\\Apps", "\\Apps\\Empty", "\\Apps\\Full", "\\Apps\\Full\\Child", "\\Apps\\Plankora 5"})
            CreateDirectoryA((m_base + sub).c_str(), nullptr);
        m_dlg.m_strOkText = "OK";
        m_dlg.m_strCancelText = "Cancel";
        m_dlg.m_strSubFolder = "Plankora 5";
    }
    // Starts the dialog; the tree's selected item afterwards.
    HTREEITEM Start()
    {
        m_run = std::make_unique<ModalRun>(m_dlg);
        if (!m_run->hwnd)
            return nullptr;
        m_tree = GetDlgItem(m_run->hwnd, IDC_FOLDER_TREE);
        // The dialog can be visible a moment before its tree has selected the initial folder: several seconds
        // when the test runs through an emulator on a busy machine.
        WaitUntil([this] { return Next(m_tree, nullptr, TVGN_CARET) != nullptr; }, 30000);
        return Next(m_tree, nullptr, TVGN_CARET);
    }
    std::string Edit() const { return GetItemText(m_run->hwnd, IDC_FOLDER_PATH); }
    void TearDown() override
    {
        if (m_run)
            m_run->Cancel();
    }

    std::string m_base;
    CQuFolderDialog m_dlg{false, nullptr};
    std::unique_ptr<ModalRun> m_run;
    HWND m_tree = nullptr;
};

TEST_F(FolderDialog, AMissingInitialFolderSelectsItsDeepestAncestorAndTheEditShowsTheFullPath)
{
    m_dlg.m_strFolder = m_base + "\\Apps\\Missing\\Deeper";
    const HTREEITEM selected = Start();
    ASSERT_NE(m_run->hwnd, nullptr);
    EXPECT_TRUE(m_dlg.m_bInitialised);
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(ItemText(m_tree, selected), "Apps");
    EXPECT_EQ(ItemText(m_tree, Next(m_tree, selected, TVGN_PARENT)), "folder-dialog");
    EXPECT_EQ(Edit(), m_base + "\\Apps\\Missing\\Deeper\\Plankora 5");
    EXPECT_EQ(GetWindowTextString(m_run->hwnd), "S\xE9lection d'un dossier");  // the template's caption
    EXPECT_EQ(GetItemText(m_run->hwnd, IDCANCEL), "Cancel");
    EXPECT_STREQ(m_dlg.GetRuntimeClass()->m_lpszClassName, "CQuResizableDialog");
    // The last folder of the walk is selected, not expanded; expanded, its children come sorted by the shell.
    EXPECT_EQ(Next(m_tree, selected, TVGN_CHILD), nullptr);
    SendMessageA(m_tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(selected));
    std::vector<std::string> names;
    for (HTREEITEM h = Next(m_tree, selected, TVGN_CHILD); h; h = Next(m_tree, h, TVGN_NEXT))
        names.push_back(ItemText(m_tree, h));
    EXPECT_EQ(names, (std::vector<std::string>{"Empty", "Full", "Plankora 5"}));
}

TEST_F(FolderDialog, SelectionsShowTheSubFolderOnceAndAnEmptyFolderLosesItsButton)
{
    m_dlg.m_strFolder = m_base + "\\Apps";
    m_dlg.m_strTitle = "Browse";
    const HTREEITEM apps = Start();
    ASSERT_NE(apps, nullptr);
    EXPECT_EQ(GetWindowTextString(m_run->hwnd), "Browse");
    EXPECT_EQ(Edit(), m_base + "\\Apps\\Plankora 5");
    const struct {
        const char* item;
        std::string edit;
    } cases[] = {
        {"Full", m_base + "\\Apps\\Full\\Plankora 5"},
        {"Plankora 5", m_base + "\\Apps\\Plankora 5"},
        {"Empty", m_base + "\\Apps\\Empty\\Plankora 5"},
    };
    for (const auto& c : cases) {
        const HTREEITEM h = FindChild(m_tree, apps, c.item);
        ASSERT_NE(h, nullptr) << c.item;
        Select(m_tree, h);
        EXPECT_EQ(Edit(), c.edit);
    }
    const HTREEITEM empty = FindChild(m_tree, apps, "Empty");
    const HTREEITEM full = FindChild(m_tree, apps, "Full");
    EXPECT_EQ(ItemChildren(m_tree, empty), 1);
    SendMessageA(m_tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(empty));
    EXPECT_EQ(ItemChildren(m_tree, empty), 0);
    SendMessageA(m_tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(full));
    EXPECT_EQ(ItemChildren(m_tree, full), 1);
    EXPECT_NE(FindChild(m_tree, full, "Child"), nullptr);
}

TEST_F(FolderDialog, AClickOnTheSelectedLabelRestoresTheEditBox)
{
    m_dlg.m_strFolder = m_base + "\\Apps\\Full";
    const HTREEITEM full = Start();
    ASSERT_NE(full, nullptr);
    SendMessageA(m_tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(full));
    RECT label = {};
    std::memcpy(&label, &full, sizeof full);  // TVM_GETITEMRECT takes the item in the rectangle
    ASSERT_TRUE(SendMessageA(m_tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&label)));
    // Beside the label: nothing restored. On the label: the selection's path again.
    SetItemText(m_run->hwnd, IDC_FOLDER_PATH, "edited");
    ClickTree(m_tree, POINT{label.right + 40, (label.top + label.bottom) / 2});
    Sleep(100);
    EXPECT_EQ(Edit(), "edited");
    ClickTree(m_tree, POINT{(label.left + label.right) / 2, (label.top + label.bottom) / 2});
    EXPECT_TRUE(WaitUntil([&] { return Edit() == m_base + "\\Apps\\Full\\Plankora 5"; })) << Edit();
}

TEST_F(FolderDialog, OkQualifiesSplitsAndCreates)
{
    m_dlg.m_bCreate = true;
    m_dlg.m_strFolder = m_base + "\\Apps";
    ASSERT_NE(Start(), nullptr);
    // Refused: the system's text is shown and the dialog stays.
    SetItemText(m_run->hwnd, IDC_FOLDER_PATH, "C:\\Apps\\Plan*");
    ClickButton(m_run->hwnd, IDOK);
    EXPECT_FALSE(AnswerMessageBox(m_run->thread.Id(), IDOK, m_run->hwnd).empty());
    EXPECT_TRUE(IsWindow(m_run->hwnd));
    SetItemText(m_run->hwnd, IDC_FOLDER_PATH, "  " + m_base + "\\Typed\\New\\Plankora 5\\ ");
    ClickButton(m_run->hwnd, IDOK);
    ASSERT_TRUE(m_run->thread.Join());
    EXPECT_EQ(m_run->result, IDOK);
    EXPECT_EQ(m_dlg.m_strPath, m_base + "\\Typed\\New\\Plankora 5");
    EXPECT_EQ(m_dlg.m_strFolder, m_base + "\\Typed\\New");
    EXPECT_EQ(m_dlg.m_strSubFolder, "Plankora 5");
    EXPECT_TRUE(IsFolder(m_base + "\\Typed\\New\\Plankora 5"));

    // A path without the sub-folder empties it.
    m_dlg.m_bCreate = false;
    m_dlg.m_strFolder = m_base + "\\Apps";
    ASSERT_NE(Start(), nullptr);
    SetItemText(m_run->hwnd, IDC_FOLDER_PATH, m_base + "\\Elsewhere");
    ClickButton(m_run->hwnd, IDOK);
    ASSERT_TRUE(m_run->thread.Join());
    EXPECT_EQ(m_dlg.m_strFolder, m_base + "\\Elsewhere");
    EXPECT_EQ(m_dlg.m_strSubFolder, "");
    EXPECT_FALSE(IsFolder(m_base + "\\Elsewhere"));
}

TEST_F(FolderDialog, WithARootPathsAreRelativeToItsParent)
{
    m_dlg.m_strRoot = m_base + "\\Apps\\";
    m_dlg.m_strFolder = m_base + "\\Apps\\Full";
    const HTREEITEM full = Start();
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(m_dlg.m_strRoot, m_base);
    EXPECT_EQ(ItemText(m_tree, Next(m_tree, nullptr, TVGN_ROOT)), "Apps");
    EXPECT_EQ(Edit(), "Apps\\Full\\Plankora 5");
    Select(m_tree, Next(m_tree, nullptr, TVGN_ROOT));
    EXPECT_EQ(Edit(), "Apps\\Plankora 5");
    // Outside the root's parent: refused with the system's text for a bad path name.
    SetItemText(m_run->hwnd, IDC_FOLDER_PATH, "..\\Outside");
    ClickButton(m_run->hwnd, IDOK);
    EXPECT_FALSE(AnswerMessageBox(m_run->thread.Id(), IDOK, m_run->hwnd).empty());
    // A typed relative path is resolved against the root's parent.
    SetItemText(m_run->hwnd, IDC_FOLDER_PATH, "Apps\\Typed");
    ClickButton(m_run->hwnd, IDOK);
    ASSERT_TRUE(m_run->thread.Join());
    EXPECT_EQ(m_run->result, IDOK);
    EXPECT_EQ(m_dlg.m_strPath, "Apps\\Typed");
    EXPECT_EQ(m_dlg.m_strFolder, m_base + "\\Apps\\Typed");
}

}  // namespace

namespace {

// The shell's allocator, remembering what was allocated through it and not freed yet.
class CountingMalloc : public IMalloc {
public:
    explicit CountingMalloc(IMalloc* inner) : m_inner(inner) {}
    std::set<void*> m_live;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IMalloc) {
            *ppv = static_cast<IMalloc*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }
    void* STDMETHODCALLTYPE Alloc(SIZE_T cb) override
    {
        void* p = m_inner->Alloc(cb);
        if (p)
            m_live.insert(p);
        return p;
    }
    void* STDMETHODCALLTYPE Realloc(void* pv, SIZE_T cb) override
    {
        m_live.erase(pv);
        void* p = m_inner->Realloc(pv, cb);
        if (p)
            m_live.insert(p);
        return p;
    }
    void STDMETHODCALLTYPE Free(void* pv) override
    {
        m_live.erase(pv);
        m_inner->Free(pv);
    }
    SIZE_T STDMETHODCALLTYPE GetSize(void* pv) override { return m_inner->GetSize(pv); }
    int STDMETHODCALLTYPE DidAlloc(void* pv) override { return m_inner->DidAlloc(pv); }
    void STDMETHODCALLTYPE HeapMinimize() override { m_inner->HeapMinimize(); }

    ULONG m_refs = 1;

private:
    IMalloc* m_inner;
};

TEST(FolderDialogRecords, EveryRecordIsFreedWhenTheTreeIsDestroyed)
{
    const std::string base = FreshFolder("folder-records");
    CreateDirectoryA((base + "\\Apps").c_str(), nullptr);
    CQuFolderDialog dlg(false, nullptr);
    ASSERT_NE(dlg.m_pMalloc, nullptr);
    CountingMalloc counting(dlg.m_pMalloc);
    IMalloc* real = dlg.m_pMalloc;
    dlg.m_pMalloc = &counting;
    dlg.m_strFolder = base + "\\Apps";
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    const HWND tree = GetDlgItem(run.hwnd, IDC_FOLDER_TREE);
    const size_t items = static_cast<size_t>(SendMessageA(tree, TVM_GETCOUNT, 0, 0));
    EXPECT_GE(counting.m_live.size(), items);  // a record and its id lists per item
    ASSERT_TRUE(run.Cancel());
    EXPECT_TRUE(counting.m_live.empty()) << counting.m_live.size() << " blocks left of " << items << " items";
    dlg.m_pMalloc = real;
}

}  // namespace
