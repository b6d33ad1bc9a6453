// The system folder browser: its callback driven with the browser's messages on a host window with an edit
// box, and one run of the real browser.
#include "DialogTestIds.h"
#include "DialogTestSupport.h"
#include "FolderBrowser.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <shlobj.h>

namespace {

// An item id list owned for a scope.
struct Pidl {
    LPITEMIDLIST p;
    explicit Pidl(const std::string& path) : p(ILCreateFromPathA(path.c_str())) {}
    ~Pidl() { CoTaskMemFree(p); }
};

std::string SpecialFolder(int csidl)
{
    char path[MAX_PATH] = {};
    return SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE) ? path : "";
}

// A hidden dialog with one edit box stands in for the browser window.
class BrowserCallback : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_host.Create(MAKEINTRESOURCEA(IDD_TEST_EDIT_HOST), nullptr));
        m_edit = GetDlgItem(m_host.m_hWnd, IDC_TEST_EDIT);
        m_base = FreshFolder("browse");
        CreateDirectoryA((m_base + "\\Apps").c_str(), nullptr);
        CreateDirectoryA((m_base + "\\Apps\\Plankora 5").c_str(), nullptr);
    }
    void TearDown() override { m_host.DestroyWindow(); }

    int Send(CQuFolderBrowser& browser, UINT message, LPARAM lParam = 0)
    {
        return CQuFolderBrowser::BrowseCallbackProc(m_host.m_hWnd, message, lParam, reinterpret_cast<LPARAM>(&browser));
    }
    std::string EditText() const { return GetWindowTextString(m_edit); }
    bool AllSelected() const
    {
        DWORD start = 1, end = 0;
        SendMessageA(m_edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        return start == 0 && end == EditText().size();
    }

    CDialog m_host;
    HWND m_edit = nullptr;
    std::string m_base;
};

TEST_F(BrowserCallback, InitialisationFindsTheEditBoxAndShowsThePath)
{
    const struct {
        std::string folder;
        const char* sub;
        bool edit;
        std::string text;
    } cases[] = {
        {m_base + "\\Apps", "Plankora 5", true, m_base + "\\Apps\\Plankora 5"},
        {m_base + "\\Apps\\Missing\\Deeper", "Plankora 5", true, m_base + "\\Apps\\Missing\\Deeper\\Plankora 5"},
        {"Q:\\Nowhere", "Plankora 5", true, ""},  // no existing folder: the edit box is left alone
        {m_base + "\\Apps", nullptr, false, ""},  // without a sub-folder the edit box is not looked for
    };
    for (const auto& c : cases) {
        SetWindowTextA(m_edit, "");
        CQuFolderBrowser browser(false, nullptr);
        browser.SetInitialPath(c.folder.c_str(), c.sub);
        EXPECT_EQ(Send(browser, BFFM_INITIALIZED), 0);
        EXPECT_TRUE(browser.m_bInitSeen);
        EXPECT_EQ(browser.m_hwndEdit, c.edit ? m_edit : nullptr) << c.folder;
        EXPECT_EQ(EditText(), c.text) << c.folder;
        EXPECT_TRUE(c.text.empty() || AllSelected()) << c.folder;
    }
}

TEST_F(BrowserCallback, SelectionKeepsTheSubFolderAppendedOnce)
{
    CQuFolderBrowser browser(false, nullptr);
    browser.SetInitialPath(m_base.c_str(), "Plankora 5");
    Pidl apps(m_base + "\\Apps"), product(m_base + "\\Apps\\Plankora 5");
    // Before the browser reports its initialisation, selections are ignored.
    Send(browser, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(apps.p));
    EXPECT_EQ(browser.m_strPath, m_base + "\\Plankora 5");
    Send(browser, BFFM_INITIALIZED);
    for (const Pidl* pidl : {&apps, &product}) {
        SetWindowTextA(m_edit, "edited");
        EXPECT_EQ(Send(browser, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(pidl->p)), 0);
        EXPECT_EQ(EditText(), m_base + "\\Apps\\Plankora 5");
        EXPECT_TRUE(AllSelected());
    }
    EXPECT_EQ(browser.StripSubFolder(), m_base + "\\Apps");
}

TEST_F(BrowserCallback, WithARootPathsAreRelativeToItsParent)
{
    const std::string programs = SpecialFolder(CSIDL_COMMON_PROGRAMS);
    const std::string parent = programs.substr(0, programs.rfind('\\'));
    const std::string name = programs.substr(programs.rfind('\\') + 1);
    CQuFolderBrowser browser(false, nullptr);
    ASSERT_TRUE(browser.SetRoot(CSIDL_COMMON_PROGRAMS));
    browser.SetInitialPath(nullptr, "Sarventa 5");
    Send(browser, BFFM_INITIALIZED);
    EXPECT_EQ(EditText(), name + "\\Sarventa 5");
    Pidl root(programs);
    Send(browser, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(root.p));
    EXPECT_EQ(EditText(), name + "\\Sarventa 5");
    // A typed relative path is resolved against the root's parent.
    const std::string typed = name + "\\Typed";
    EXPECT_EQ(Send(browser, BFFM_VALIDATEFAILEDA, reinterpret_cast<LPARAM>(typed.c_str())), 0);
    EXPECT_TRUE(browser.m_bValidated);
    EXPECT_EQ(browser.m_strPath, parent + "\\" + typed);
    EXPECT_EQ(browser.MakeRootRelative(), typed);
}

TEST_F(BrowserCallback, ATypedFolderIsQualifiedAndCreatedOrRefused)
{
    char saved[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, saved);
    SetCurrentDirectoryA(m_base.c_str());
    CQuFolderBrowser browser(true, nullptr);
    browser.SetInitialPath(m_base.c_str(), "Plankora 5");
    Send(browser, BFFM_INITIALIZED);
    EXPECT_EQ(Send(browser, BFFM_VALIDATEFAILEDA, reinterpret_cast<LPARAM>(" Typed\\New Folder\\ ")), 0);
    EXPECT_TRUE(browser.m_bValidated);
    EXPECT_EQ(browser.m_strPath, m_base + "\\Typed\\New Folder");
    EXPECT_TRUE(IsFolder(m_base + "\\Typed\\New Folder"));
    SetCurrentDirectoryA(saved);

    // A refusal is reported and keeps the browser open (result 1).
    int result = 0;
    UiThread ui([&] {
        CQuFolderBrowser refused(false, nullptr);
        result = Send(refused, BFFM_VALIDATEFAILEDA, reinterpret_cast<LPARAM>("C:\\Apps\\Plan*"));
    });
    EXPECT_FALSE(AnswerMessageBox(ui.Id(), IDOK).empty());
    ASSERT_TRUE(ui.Join());
    EXPECT_EQ(result, 1);
}

BOOL CALLBACK FindEdit(HWND child, LPARAM param)
{
    char cls[16] = {};
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Edit") != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(param) = child;
    return FALSE;
}

TEST(BrowseForFolder, TheSystemBrowserRunsWithTheSubFolderInItsEditBox)
{
    const std::string base = FreshFolder("browse-real");
    CreateDirectoryA((base + "\\Apps").c_str(), nullptr);
    std::string folder = base + "\\Apps";
    std::string result = "not run";
    UiThread ui([&] { result = BrowseForFolder(false, folder, "Plankora 5", "Choose a folder", 0, nullptr); });
    const HWND browser = WaitForDialog(ui.Id());
    ASSERT_NE(browser, nullptr);
    HWND edit = nullptr;
    EnumChildWindows(browser, FindEdit, reinterpret_cast<LPARAM>(&edit));
    ASSERT_NE(edit, nullptr) << "the browser shows no edit box";
    // The edit box shows the selected folder with the sub-folder appended. (Wine's own walk to the initial
    // selection compares item ids by their bytes and, depending on the order in which the file system lists
    // a folder, can stop at a sibling on the way: the selected folder itself is not checked here.)
    const std::string tail = "\\Plankora 5";
    EXPECT_TRUE(WaitUntil([&] {
        const std::string text = GetWindowTextString(edit);
        return text.size() > tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0 &&
               IsFolder(text.substr(0, text.size() - tail.size()));
    })) << GetWindowTextString(edit);
    PostMessageA(browser, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(ui.Join());
    EXPECT_EQ(result, "");
    EXPECT_EQ(folder, base + "\\Apps");  // unchanged on cancel
}

}  // namespace
