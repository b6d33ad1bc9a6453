// The installer's wizard in process: the real frame and pages from the installer's resources, driven by
// control ids from the test thread while the wizard runs modally on a thread of its own.
#include "DialogTestSupport.h"
#include "FlagStrip.h"
#include "Handles.h"
#include "InstallApp.h"
#include "InstallDlg.h"
#include "Languages.h"
#include "MachineSnapshot.h"
#include "PayloadExtractor.h"
#include "TestSupport.h"
#include "Texts.h"
#include "WindowDriver.h"
#include "WizardTexts.h"
#include "resource.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {


std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

// The colours of one image of an image list, row by row, drawn into a bitmap of the test's own.
std::vector<BYTE> ImagePixels(HIMAGELIST hList, int index)
{
    int width = 0;
    int height = 0;
    if (!ImageList_GetIconSize(hList, &width, &height) || index >= ImageList_GetImageCount(hList))
        return {};
    BITMAPINFO format = {};
    format.bmiHeader = {sizeof format.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HBITMAP hBitmap = CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HDC hdc = CreateCompatibleDC(nullptr);
    const HGDIOBJ hOld = SelectObject(hdc, hBitmap);
    const bool drawn = ImageList_Draw(hList, index, hdc, 0, 0, ILD_NORMAL) != FALSE;
    GdiFlush();
    std::vector<BYTE> pixels;
    for (int i = 0; drawn && i < width * height; ++i)
        pixels.insert(pixels.end(), static_cast<BYTE*>(bits) + 4 * i, static_cast<BYTE*>(bits) + 4 * i + 3);
    SelectObject(hdc, hOld);
    DeleteDC(hdc);
    DeleteObject(hBitmap);
    return pixels;
}

// A flag's icon image: 16 by 12 pixels with 16 colours, its colour rows (8 bytes each) and mask rows (4 bytes
// each, the last two bytes of a row beyond the image).
std::vector<BYTE> FlagIconImage()
{
    BITMAPINFOHEADER header = {sizeof header, 16, 24, 1, 4, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<BYTE> image(reinterpret_cast<BYTE*>(&header), reinterpret_cast<BYTE*>(&header) + sizeof header);
    image.resize(sizeof header + 16 * 4 + 8 * 12 + 4 * 12, 0x5A);
    std::fill(image.end() - 4 * 12, image.end(), 0);
    return image;
}

class Wizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_root = FreshFolder("wizard");
        m_app.m_nLanguage = LANGUAGE_ENGLISH;
        m_app.m_strInstallFolder = m_root + "\\Product";
        char programs[MAX_PATH] = {};
        SHGetSpecialFolderPathA(nullptr, programs, CSIDL_COMMON_PROGRAMS, FALSE);
        m_app.m_strStartMenuFolder = std::string(programs) + "\\Quillon & Partners\\Sarventa 5";
        m_app.m_uninstallLog.Load(nullptr, m_app.GetProductName(false));
    }
    void TearDown() override
    {
        Close();
        RemoveTree(m_root);
    }

    void Open()
    {
        m_run = std::make_unique<ModalRun>(m_dlg);
        m_hwnd = m_run->hwnd;
        ASSERT_NE(m_hwnd, nullptr);
    }
    // Ends the run without a question.
    void Close()
    {
        if (!m_run)
            return;
        if (IsWindow(m_hwnd)) {
            m_dlg.m_bInstallComplete = true;
            PostMessageA(m_hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        EXPECT_TRUE(m_run->thread.Join());
        m_run.reset();
    }
    void Press(int id) { SendMessageA(m_hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    HWND Page(int index) const { return m_dlg.m_pPages[index]->m_hWnd; }
    std::string PageText(int index, int id) const { return GetItemText(Page(index), id); }
    bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(m_hwnd, id)) != FALSE; }
    int DefaultButton() const { return LOWORD(SendMessageA(m_hwnd, DM_GETDEFID, 0, 0)); }
    DWORD Thread() const { return m_run->thread.Id(); }
    // Walks to a page with Next (advanced mode reaches every page).
    void GoTo(int page)
    {
        while (m_dlg.m_nCurrentPage < page)
            Press(IDOK);
        ASSERT_EQ(m_dlg.m_nCurrentPage, page);
    }
    void SetMethod(bool advanced)
    {
        CheckRadioButton(Page(PAGE_METHOD), IDC_QUICK, IDC_ADVANCED, advanced ? IDC_ADVANCED : IDC_QUICK);
    }

    CInstallApp m_app;
    CInstallDlg m_dlg;
    std::unique_ptr<ModalRun> m_run;
    HWND m_hwnd = nullptr;
    std::string m_root;
};

TEST_F(Wizard, NextAndBackFollowTheMoveTablesInBothModes)
{
    Open();
    EXPECT_EQ(m_dlg.m_nCurrentPage, 0);
    const struct {
        bool advanced;
        int button, page;
    } steps[] = {
        {false, IDOK, 1}, {false, IDOK, 4}, {false, IDC_BACK, 1}, {true, IDOK, 2},   {true, IDOK, 3},
        {true, IDOK, 4},  {true, IDC_BACK, 3}, {true, IDC_BACK, 2}, {true, IDC_BACK, 1}, {false, IDC_BACK, 0},
    };
    for (const auto& s : steps) {
        if (m_dlg.m_nCurrentPage == PAGE_METHOD)
            SetMethod(s.advanced);
        Press(s.button);
        EXPECT_EQ(m_dlg.m_nCurrentPage, s.page);
        for (int i = 0; i < PAGE_COUNT; ++i)
            EXPECT_EQ(IsWindowVisible(Page(i)) != FALSE, i == s.page) << "page " << i;
    }
    // The method page saved the choice before the skipping rule ran.
    EXPECT_FALSE(m_app.m_bAdvanced);
}

TEST_F(Wizard, ButtonsAndStatusLinePerPage)
{
    Open();
    const struct {
        int page;
        const char* next;
        bool back;
        const char* status;
    } pages[] = {
        {0, "Next  >", false, "Click on 'Next' to continue."},
        {1, "Next  >", true, "Click on 'Next' to continue."},
        {2, "Next  >", true, "Click on 'Next' to continue."},
        {3, "Next  >", true, "Click on 'Next' to continue."},
        {4, "Install", true, "Click on 'Install' to start Installation."},
    };
    m_app.m_bAdvanced = true;
    for (const auto& p : pages) {
        GoTo(p.page);
        if (p.page == PAGE_METHOD)
            SetMethod(true);
        EXPECT_EQ(GetItemText(m_hwnd, IDOK), p.next) << p.page;
        EXPECT_EQ(GetItemText(m_hwnd, IDC_BACK), "<  Back");
        EXPECT_EQ(GetItemText(m_hwnd, IDCANCEL), "Cancel");
        EXPECT_EQ(Enabled(IDC_BACK), p.back) << p.page;
        EXPECT_TRUE(Enabled(IDOK));
        EXPECT_TRUE(Enabled(IDCANCEL));
        EXPECT_EQ(DefaultButton(), IDOK);
        EXPECT_EQ(FocusOf(Thread()), GetDlgItem(m_hwnd, IDOK));
        EXPECT_EQ(PageText(p.page, IDC_STATUS), p.status) << p.page;
    }
}

TEST_F(Wizard, TheFrameGrowsToTheLargestPageAndEveryPageFillsTheArea)
{
    Open();
    const auto dlu = [this](int x, int y) {
        RECT rc = {0, 0, x, y};
        MapDialogRect(m_hwnd, &rc);
        return rc;
    };
    const RECT panel = GetItemRect(m_hwnd, IDC_PANEL);
    const RECT page = dlu(278, 112);
    for (int i = 0; i < PAGE_COUNT; ++i) {
        RECT rc = {};
        GetWindowRect(Page(i), &rc);
        MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&rc), 2);
        EXPECT_EQ(rc.left, panel.right) << i;
        EXPECT_EQ(rc.top, 0) << i;
        EXPECT_EQ(rc.right - rc.left, page.right) << i;
        EXPECT_EQ(rc.bottom - rc.top, GetItemRect(m_hwnd, IDC_SEPARATOR).top) << i;
    }
    const SIZE client = GetClientSize(m_hwnd);
    EXPECT_EQ(client.cx, panel.right + page.right);
    EXPECT_EQ(client.cy, dlu(273, 139).bottom);
    // The buttons keep their distance to the right edge; the separator spans the new width.
    const RECT exitButton = GetItemRect(m_hwnd, IDCANCEL);
    EXPECT_EQ(client.cx - exitButton.left, dlu(273, 0).right - dlu(216, 0).right);
    EXPECT_NEAR(GetItemRect(m_hwnd, IDC_SEPARATOR).right, client.cx, 2);
    EXPECT_EQ(GetItemRect(m_hwnd, IDC_SEPARATOR).top, GetItemRect(m_hwnd, IDC_PANEL).bottom);
    // The language page (251 by 84) grew by 27 by 28 units: its status line moved down with it.
    const RECT status = GetItemRect(Page(PAGE_LANGUAGE), IDC_STATUS);
    EXPECT_EQ(status.top, dlu(0, 69).bottom + page.bottom - dlu(0, 84).bottom);
}

TEST_F(Wizard, TheLanguageListOffersElevenLanguagesInOrderWithTheCurrentOneSelected)
{
    m_app.m_nLanguage = 11;  // Italian
    Open();
    const HWND combo = GetDlgItem(Page(PAGE_LANGUAGE), IDC_LANGUAGE_LIST);
    const std::vector<LPARAM> expected = {0, 1, 2, 3, 11, 4, 5, 14, 7, 9, 10};
    std::vector<LPARAM> data;
    const int count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        COMBOBOXEXITEMA item = {};
        item.mask = CBEIF_LPARAM | CBEIF_IMAGE;
        item.iItem = i;
        ASSERT_TRUE(SendMessageA(combo, CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        data.push_back(item.lParam);
        EXPECT_EQ(item.iImage, i) << "every language has its flag";
    }
    EXPECT_EQ(data, expected);
    // Each image is what the list makes of the flag's icon loaded at 16 by 12 pixels.
    const auto list = reinterpret_cast<HIMAGELIST>(SendMessageA(combo, CBEM_GETIMAGELIST, 0, 0));
    const HIMAGELIST icons = ImageList_Create(18, 12, ILC_COLOR24, 8, 1);
    const auto destroy = MakeScopeGuard([icons] { ImageList_Destroy(icons); });
    for (size_t i = 0; i < data.size(); ++i) {
        const HICON hIcon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr),
            MAKEINTRESOURCEA(GetLanguageFlagIcon(static_cast<int>(data[i]))), IMAGE_ICON, 16, 12, 0));
        ASSERT_EQ(ImageList_AddIcon(icons, hIcon), static_cast<int>(i));
        DestroyIcon(hIcon);
        const std::vector<BYTE> pixels = ImagePixels(list, static_cast<int>(i));
        EXPECT_EQ(pixels.size(), 18u * 12 * 3);
        EXPECT_TRUE(pixels == ImagePixels(icons, static_cast<int>(i))) << "the flag of language " << data[i];
    }
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 4);
}

// What the language list's strip takes of a flag's icon image: an opaque bitmap of 16 by 12 pixels with up to
// 256 colours, whole; anything else leaves the list without flags rather than drawing it wrongly.
TEST(FlagImage, OnlyAWholeOpaqueBitmapOfTheFlagSizeIsDrawn)
{
    using Change = void (*)(BITMAPINFOHEADER&, std::vector<BYTE>&);
    const struct {
        const char* what;
        Change change;
        size_t colourBytes;  // where the colour rows start; 0: refused
    } cases[] = {
        {"as stored", [](BITMAPINFOHEADER&, std::vector<BYTE>&) {}, 40 + 64},
        {"a mask bit beyond the image", [](BITMAPINFOHEADER&, std::vector<BYTE>& i) { i.back() = 0xFF; }, 40 + 64},
        {"two colours",
         [](BITMAPINFOHEADER& h, std::vector<BYTE>& i) { h.biClrUsed = 2, i.erase(i.begin() + 48, i.begin() + 104); },
         40 + 8},
        {"one byte short", [](BITMAPINFOHEADER&, std::vector<BYTE>& i) { i.pop_back(); }, 0},
        {"a transparent pixel", [](BITMAPINFOHEADER&, std::vector<BYTE>& i) { i[i.size() - 48] = 1; }, 0},
        {"seventeen colours", [](BITMAPINFOHEADER& h, std::vector<BYTE>&) { h.biClrUsed = 17; }, 0},
        {"colours beyond 4 GB", [](BITMAPINFOHEADER& h, std::vector<BYTE>&) { h.biClrUsed = 0x40000001; }, 0},
        {"24 bits a pixel", [](BITMAPINFOHEADER& h, std::vector<BYTE>&) { h.biBitCount = 24; }, 0},
        {"top-down", [](BITMAPINFOHEADER& h, std::vector<BYTE>&) { h.biHeight = -24; }, 0},
        {"16 by 16", [](BITMAPINFOHEADER& h, std::vector<BYTE>&) { h.biHeight = 32; }, 0},
        {"compressed", [](BITMAPINFOHEADER& h, std::vector<BYTE>&) { h.biCompression = BI_RLE4; }, 0},
        {"a PNG image", [](BITMAPINFOHEADER& h, std::vector<BYTE>&) { memcpy(&h, "\x89PNG\r\n\x1a\n", 8); }, 0},
    };
    for (const auto& c : cases) {
        std::vector<BYTE> image = FlagIconImage();
        c.change(*reinterpret_cast<BITMAPINFOHEADER*>(image.data()), image);
        FlagBits flag;
        const BYTE* bits = ReadFlagImage(image.data(), static_cast<DWORD>(image.size()), flag);
        EXPECT_EQ(bits, c.colourBytes ? image.data() + c.colourBytes : nullptr) << c.what;
        if (bits) {
            EXPECT_EQ(flag.header.biHeight, 12) << c.what;
            EXPECT_EQ(memcmp(flag.colours, image.data() + 40, c.colourBytes - 40), 0) << c.what;
        }
    }
}

TEST_F(Wizard, ChoosingALanguageRetextsTheFrameAndEveryPageAtOnce)
{
    Open();
    Press(IDOK);
    Press(IDC_BACK);
    const bool backBefore = Enabled(IDC_BACK), nextBefore = Enabled(IDOK);
    const HWND combo = GetDlgItem(Page(PAGE_LANGUAGE), IDC_LANGUAGE_LIST);
    SendMessageA(combo, CB_SETCURSEL, 0, 0);  // French, first in the list
    SendMessageA(Page(PAGE_LANGUAGE), WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE_LIST, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    ASSERT_EQ(m_app.m_nLanguage, LANGUAGE_FRENCH);
    const auto french = [](int id) { return LoadLanguageText(LANGUAGE_FRENCH, id); };
    EXPECT_EQ(GetWindowTextString(m_hwnd), m_app.GetTitle(true));
    EXPECT_NE(GetWindowTextString(m_hwnd).find("Plankora"), std::string::npos);
    EXPECT_EQ(GetItemText(m_hwnd, IDOK), french(1006) + "  >");
    EXPECT_EQ(GetItemText(m_hwnd, IDC_BACK), "<  " + french(1005));
    EXPECT_EQ(GetItemText(m_hwnd, IDCANCEL), french(1002));
    char about[256] = {};
    GetMenuStringA(GetSystemMenu(m_hwnd, FALSE), 0x10, about, sizeof about, MF_BYCOMMAND);
    EXPECT_EQ(std::string(about), "&" + FormatMessageText(french(1003), french(1000)) + "...");
    EXPECT_EQ(PageText(PAGE_LANGUAGE, IDC_LANGUAGE_LABEL), french(1014));
    EXPECT_EQ(PageText(PAGE_METHOD, IDC_QUICK), french(1016));
    EXPECT_EQ(PageText(PAGE_FOLDER, IDC_BROWSE), french(1008) + "...");
    EXPECT_EQ(PageText(PAGE_SHORTCUT, IDC_DESKTOP_SHORTCUT), french(1113));
    EXPECT_EQ(PageText(PAGE_PROGRESS, IDC_STATUS), FormatMessageText(french(1108), french(1007)));
    EXPECT_EQ(PageText(PAGE_INFO, IDC_STATUS), FormatMessageText(french(1107), french(1004)));
    EXPECT_EQ(Enabled(IDC_BACK), backBefore);
    EXPECT_EQ(Enabled(IDOK), nextBefore);
}

TEST_F(Wizard, ExitAsksExceptWhereTheStatusSaysOtherwise)
{
    const struct {
        int status, page, answer;
        bool asked, closed;
    } cases[] = {
        {0, 0, IDNO, true, false}, {0, 1, IDYES, true, true}, {1, 0, 0, false, true},
        {1, 1, IDNO, true, false}, {-1, 0, 0, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("status " + std::to_string(c.status) + " page " + std::to_string(c.page));
        m_app.m_nInstallStatus = c.status;
        m_app.m_strInstalledVersion = "Sarventa 6.0";
        CInstallDlg dlg;
        ModalRun run(dlg);
        ASSERT_NE(run.hwnd, nullptr);
        EXPECT_EQ(IsWindowEnabled(GetDlgItem(run.hwnd, IDOK)) != FALSE, c.status != -1);
        EXPECT_EQ(LOWORD(SendMessageA(run.hwnd, DM_GETDEFID, 0, 0)), IDOK);
        if (c.page == 1)
            SendMessageA(run.hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        PostMessageA(run.hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        if (c.asked) {
            EXPECT_EQ(AnswerMessageBox(run.thread.Id(), c.answer, run.hwnd),
                      "Installation is not complete.\r\n\r\nDo you still confirm exit Installation ?");
        }
        EXPECT_EQ(run.thread.Join(c.closed ? 5000 : 300), c.closed);
        if (!c.closed) {
            dlg.m_bInstallComplete = true;
            PostMessageA(run.hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            ASSERT_TRUE(run.thread.Join());
            EXPECT_EQ(run.result, IDOK);
        } else {
            EXPECT_EQ(run.result, IDCANCEL);
        }
    }
}

TEST_F(Wizard, LanguagePageTextsPerInstallationStatus)
{
    const struct {
        int status;
        const char* state;
        const char* line;
    } cases[] = {
        {0, "'Sarventa 5.23i' Installation.", "Click on 'Next' to continue."},
        {1, "'Sarventa 5.23i' is already installed.\r\nDo you confirm Reinstallation ?",
         "Click on 'Next' to continue or on 'Cancel' to exit Installation."},
        {-1, "'Sarventa 5.23i' Installation.\r\nA more recent Version (Sarventa 6.0) is already installed.",
         "Click on 'Cancel' to exit Installation."},
        {2, "Update from 'Sarventa 6.0' to 'Sarventa 5.23i'.", "Click on 'Next' to continue."},
    };
    for (const auto& c : cases) {
        m_app.m_nInstallStatus = c.status;
        m_app.m_strInstalledVersion = "Sarventa 6.0";
        CInstallDlg dlg;
        ModalRun run(dlg);
        ASSERT_NE(run.hwnd, nullptr);
        EXPECT_EQ(GetItemText(dlg.m_pPages[0]->m_hWnd, IDC_INFO), c.state);
        EXPECT_EQ(GetItemText(dlg.m_pPages[0]->m_hWnd, IDC_STATUS), c.line);
        // The folder of an existing installation cannot be changed.
        const HWND folder = dlg.m_pPages[PAGE_FOLDER]->m_hWnd;
        EXPECT_EQ((GetWindowLongA(GetDlgItem(folder, IDC_FOLDER), GWL_STYLE) & ES_READONLY) != 0, c.status != 0);
        EXPECT_EQ(IsWindowEnabled(GetDlgItem(folder, IDC_BROWSE)) != FALSE, c.status == 0);
        EXPECT_EQ(IsWindowEnabled(GetDlgItem(folder, IDC_FOLDER_LABEL)) != FALSE, c.status == 0);
        dlg.m_bInstallComplete = true;
        EXPECT_TRUE(run.Cancel());
    }
}

TEST_F(Wizard, TheFolderPageRefusesRelativeAndInvalidFoldersAndStays)
{
    m_app.m_bAdvanced = true;
    Open();
    GoTo(PAGE_FOLDER);
    for (const char* bad : {"Plankora", "\\Plankora", "C:Plankora", "C:\\Pro|gram"}) {
        SetItemText(Page(PAGE_FOLDER), IDC_FOLDER, bad);
        PostMessageA(m_hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        char text[512] = {};
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_BAD_PATHNAME, 0,
                       text, sizeof text, nullptr);
        EXPECT_EQ(Trimmed(AnswerMessageBox(Thread(), IDOK, m_hwnd)), Trimmed(text)) << bad;
        EXPECT_EQ(m_dlg.m_nCurrentPage, PAGE_FOLDER) << bad;
        EXPECT_EQ(m_app.m_strInstallFolder, m_root + "\\Product");
    }
    // More than 260 characters: the framework's own message.
    SetItemText(Page(PAGE_FOLDER), IDC_FOLDER, "C:\\" + std::string(258, 'a'));
    PostMessageA(m_hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(AnswerMessageBox(Thread(), IDOK, m_hwnd), "Please enter no more than 260 characters.");
    SetItemText(Page(PAGE_FOLDER), IDC_FOLDER, "\\\\server\\share\\My Folder");
    Press(IDOK);
    EXPECT_EQ(m_dlg.m_nCurrentPage, PAGE_SHORTCUT);
    EXPECT_EQ(m_app.m_strInstallFolder, "\\\\server\\share\\My Folder");
}

TEST_F(Wizard, TheStartMenuCheckBoxEnablesItsFolderAndTheRootShowsEmpty)
{
    m_app.m_bAdvanced = true;
    Open();
    GoTo(PAGE_SHORTCUT);
    const HWND page = Page(PAGE_SHORTCUT);
    EXPECT_EQ(GetItemText(page, IDC_FOLDER), "Programs\\Quillon & Partners\\Sarventa 5");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_FOLDER)));
    for (const bool checked : {false, true}) {
        SendMessageA(GetDlgItem(page, IDC_MENU_SHORTCUT), BM_CLICK, 0, 0);
        EXPECT_EQ(IsWindowEnabled(GetDlgItem(page, IDC_FOLDER)) != FALSE, checked);
        EXPECT_EQ(IsWindowEnabled(GetDlgItem(page, IDC_BROWSE)) != FALSE, checked);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_DESKTOP_SHORTCUT)));
    }
    // A folder equal to the root shows an empty relative folder; saving gives the root back.
    char root[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, root, CSIDL_COMMON_STARTMENU, FALSE);
    Press(IDC_BACK);
    m_app.m_strStartMenuFolder = root;
    Press(IDOK);
    EXPECT_EQ(GetItemText(page, IDC_FOLDER), "");
    SendMessageA(GetDlgItem(page, IDC_DESKTOP_SHORTCUT), BM_CLICK, 0, 0);
    Press(IDOK);
    EXPECT_EQ(m_app.m_strStartMenuFolder, std::string(root));
    EXPECT_FALSE(m_app.m_bDesktopShortcut);
    EXPECT_TRUE(m_app.m_bStartMenuShortcut);
}

// The summary's lines, without its ruled header line.
std::vector<std::string> SummaryLines(const std::string& log)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(log.substr(start, end - start));
    return lines;
}

TEST_F(Wizard, TheSummaryShowsTheChoicesAndIsRebuiltWhenTheyChange)
{
    m_app.m_bAdvanced = true;
    Open();
    const struct {
        const char* folder;
        bool menu, desktop;
        std::vector<std::string> lines;
    } cases[] = {
        {"C:\\NoBlank", false, false, {"'Sarventa 5.23i' Installation.", "", "Installation Folder : C:\\NoBlank."}},
        {"C:\\With Blank", false, true,
         {"'Sarventa 5.23i' Installation.", "", "Installation Folder : \"C:\\With Blank\".",
          "Creating a Shortcut on the Desktop."}},
        {"C:\\X", true, false,
         {"'Sarventa 5.23i' Installation.", "", "Installation Folder : C:\\X.",
          "Creating a Shortcut in the Start Menu (Folder \"" + m_app.m_strStartMenuFolder + "\")."}},
    };
    for (const auto& c : cases) {
        GoTo(PAGE_FOLDER);
        SetItemText(Page(PAGE_FOLDER), IDC_FOLDER, c.folder);
        Press(IDOK);
        CheckDlgButton(Page(PAGE_SHORTCUT), IDC_MENU_SHORTCUT, c.menu ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(Page(PAGE_SHORTCUT), IDC_DESKTOP_SHORTCUT, c.desktop ? BST_CHECKED : BST_UNCHECKED);
        Press(IDOK);
        ASSERT_EQ(m_dlg.m_nCurrentPage, PAGE_PROGRESS);
        std::vector<std::string> lines = SummaryLines(PageText(PAGE_PROGRESS, IDC_LOG));
        ASSERT_EQ(lines.size(), c.lines.size());
        // The header: the title between dashes, the odd dash on the right.
        const std::string& header = lines[1];
        const size_t title = header.find(" Installation Options ");
        ASSERT_NE(title, std::string::npos) << header;
        const size_t right = header.size() - title - 22;
        EXPECT_GT(title, 3u);
        EXPECT_TRUE(right == title || right == title + 1) << header;
        EXPECT_EQ(header.find_first_not_of('-'), title);
        lines[1].clear();
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(SendDlgItemMessageA(Page(PAGE_PROGRESS), IDC_LOG, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
        GoTo(PAGE_PROGRESS);
        Press(IDC_BACK);
        Press(IDC_BACK);
    }
}

TEST_F(Wizard, AnEmptyLineIsAFullRuleThatFitsTheLogBox)
{
    Open();
    const HWND log = GetDlgItem(Page(PAGE_PROGRESS), IDC_LOG);
    SetWindowTextA(log, "");
    m_dlg.m_dlgInstall.AppendLine("", false);
    m_dlg.m_dlgInstall.AppendLine(std::string(200, 'W'), true);
    const std::string text = GetWindowTextString(log);
    const size_t end = text.find("\r\n");
    ASSERT_NE(end, std::string::npos);
    const std::string rule = text.substr(0, end);
    EXPECT_EQ(rule.find_first_not_of('-'), std::string::npos);
    // The rule fills the box: one more dash would not fit.
    RECT rc = {};
    GetClientRect(log, &rc);
    const HDC hdc = GetDC(log);
    const HGDIOBJ old = SelectObject(hdc, reinterpret_cast<HFONT>(SendMessageA(log, WM_GETFONT, 0, 0)));
    SIZE size = {}, more = {};
    GetTextExtentPoint32A(hdc, rule.c_str(), static_cast<int>(rule.size()), &size);
    GetTextExtentPoint32A(hdc, (rule + "-").c_str(), static_cast<int>(rule.size() + 1), &more);
    SelectObject(hdc, old);
    ReleaseDC(log, hdc);
    const LRESULT margins = SendMessageA(log, EM_GETMARGINS, 0, 0);
    const int available = rc.right - 2 - LOWORD(margins) - HIWORD(margins);
    EXPECT_LE(size.cx, available);
    EXPECT_GT(more.cx, available);
    // A header wider than the box gets no dashes.
    EXPECT_EQ(text.substr(end + 2), " " + std::string(200, 'W') + " \r\n");
}

}  // namespace

namespace {

std::string ShellFolder(int csidl)
{
    char buffer[MAX_PATH + 1] = {};
    SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE);
    return buffer;
}

// Runs through the wizard with the installer's own payload into a scratch folder, without shortcuts; the
// registration, shared data and samples that the product leaves elsewhere are removed before and after.
class WizardInstall : public Wizard {
protected:
    void SetUp() override
    {
        Wizard::SetUp();
        m_app.m_bStartMenuShortcut = false;
        m_app.m_bDesktopShortcut = false;
        Clean();
    }
    void TearDown() override
    {
        Wizard::TearDown();
        Clean();
    }
    static void Clean()
    {
        RemoveTree(ShellFolder(CSIDL_COMMON_APPDATA) + "\\Quillon & Partners");
        RemoveTree(ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Sarventa Examples");
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Plankora 5");
        SHDeleteKeyA(HKEY_CLASSES_ROOT, ".plk");
        SHDeleteKeyA(HKEY_CLASSES_ROOT, "Plankora.Document");
    }
    // Presses Install and waits until the run has given Exit back.
    void Install()
    {
        PostMessageA(m_hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        // Back, Next and Exit are disabled while the sequence runs.
        ASSERT_TRUE(WaitUntil([this] { return !Enabled(IDC_BACK) && !Enabled(IDOK) && !Enabled(IDCANCEL); }, 5000));
        ASSERT_TRUE(WaitUntil([this] { return Enabled(IDCANCEL); }, 60000));
    }
    std::string Log() const { return PageText(PAGE_PROGRESS, IDC_LOG); }
};

TEST_F(WizardInstall, AFailedRunIsRolledBackAndInstallRunsAgainToTheInformationPage)
{
    const std::string install = m_app.m_strInstallFolder;
    CreateDirectoryA(install.c_str(), nullptr);
    const std::string held = install + "\\ReadMe.txt";
    ASSERT_TRUE(WriteFileBytes(held, "the user's own"));
    Open();
    GoTo(PAGE_PROGRESS);
    {
        // Held open without delete sharing: the file cannot be replaced.
        const HANDLE hold = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(hold, INVALID_HANDLE_VALUE);
        Install();
        CloseHandle(hold);
    }
    EXPECT_FALSE(m_dlg.m_bInstallComplete);
    EXPECT_EQ(m_dlg.m_nCurrentPage, PAGE_PROGRESS);
    EXPECT_NE(Log().find("Failed"), std::string::npos) << Log();
    EXPECT_EQ(GetItemText(m_hwnd, IDOK), "Install");
    EXPECT_EQ(GetItemText(m_hwnd, IDCANCEL), "Cancel");
    EXPECT_TRUE(Enabled(IDC_BACK));
    EXPECT_TRUE(Enabled(IDOK));
    EXPECT_EQ(ReadFileBytes(held), "the user's own");
    EXPECT_EQ(GetFileAttributesA((install + "\\Plankora.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Plankora 5",
                            0, KEY_READ, &key),
              ERROR_SUCCESS);

    Install();
    ASSERT_TRUE(m_dlg.m_bInstallComplete) << Log();
    // The failed run's lines stay above the new run's.
    const std::string failed = Log().substr(0, Log().rfind("Preparing Installation"));
    EXPECT_NE(failed.find("ReadMe.txt...Failed"), std::string::npos) << Log();
    EXPECT_EQ(Log().find("Failed", failed.size()), std::string::npos) << Log();
    EXPECT_NE(GetFileAttributesA((install + "\\Plankora.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA((install + "\\Uninstall.ulog").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(m_dlg.m_dlgInstall.m_strProgramPath, install + "\\Plankora.exe");
    EXPECT_EQ(m_dlg.m_dlgInstall.m_strUninstallerPath, install + "\\Uninstall.exe");
    EXPECT_EQ(GetItemText(m_hwnd, IDOK), "Next  >");
    EXPECT_EQ(GetItemText(m_hwnd, IDCANCEL), "Exit");
    EXPECT_FALSE(Enabled(IDC_BACK));
    EXPECT_TRUE(Enabled(IDOK));
    EXPECT_EQ(PageText(PAGE_PROGRESS, IDC_STATUS), "Click on 'Next' to continue.");
    const std::string log = Log();

    Press(IDOK);
    EXPECT_EQ(m_dlg.m_nCurrentPage, PAGE_INFO);
    EXPECT_EQ(PageText(PAGE_INFO, IDC_INFO), "Installation is complete.");
    EXPECT_EQ(PageText(PAGE_INFO, IDC_STATUS), "Click on 'Exit' to exit Installation.");
    EXPECT_FALSE(Enabled(IDOK));
    EXPECT_TRUE(Enabled(IDC_BACK));
    EXPECT_EQ(DefaultButton(), IDCANCEL);
    // Back shows the log as the run left it.
    Press(IDC_BACK);
    EXPECT_EQ(m_dlg.m_nCurrentPage, PAGE_PROGRESS);
    EXPECT_EQ(Log(), log);
    EXPECT_FALSE(Enabled(IDC_BACK));
    Press(IDOK);
    PostMessageA(m_hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(m_run->thread.Join());
    EXPECT_EQ(m_run->result, IDOK);
    m_run.reset();
}

TEST_F(WizardInstall, AnUpdateShowsItsStatusKeepsTheInstalledFolderAndMergesThePreviousLog)
{
    const std::string install = m_app.m_strInstallFolder;
    const std::string logPath = install + "\\Uninstall.ulog";
    {
        // The earlier installation, through the wizard's quick path.
        CInstallDlg first;
        ModalRun run(first);
        ASSERT_NE(run.hwnd, nullptr);
        SendMessageA(run.hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        SendMessageA(run.hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        ASSERT_EQ(first.m_nCurrentPage, PAGE_PROGRESS);
        PostMessageA(run.hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        ASSERT_TRUE(WaitUntil([&first] { return first.m_bInstallComplete; }, 60000));
        ASSERT_TRUE(WaitUntil([&run] { return IsWindowEnabled(GetDlgItem(run.hwnd, IDCANCEL)) != FALSE; }));
        EXPECT_TRUE(run.Cancel());
    }
    // The earlier version shipped a file this one does not: its record stays in the merged log.
    const std::string legacy = install + "\\Legacy.txt";
    ASSERT_TRUE(WriteFileBytes(legacy, "old"));
    SetFileAttributesA(logPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    const std::string legacyRecord = " -- " + legacy + "\r\n";
    ASSERT_TRUE(WriteFileBytes(logPath, ReadFileBytes(logPath) + "0999:0100:1" + legacyRecord));

    // A new run of the installer (its own application object) as start-up leaves it for an older
    // installation: its version, its log, and the folder that log names.
    CInstallApp update;
    update.m_nLanguage = LANGUAGE_ENGLISH;
    update.m_nInstallStatus = INSTALL_STATUS_OLDER;
    update.m_strInstalledVersion = "Sarventa 5.22";
    update.m_strStartMenuFolder = m_app.m_strStartMenuFolder;
    update.m_bStartMenuShortcut = update.m_bDesktopShortcut = false;
    update.m_bAdvanced = true;
    ASSERT_TRUE(update.m_uninstallLog.Load(logPath.c_str(), update.GetProductName(false)));
    update.m_strInstallFolder = update.m_uninstallLog.m_strInstallPath;
    Open();
    EXPECT_EQ(PageText(PAGE_LANGUAGE, IDC_INFO), "Update from 'Sarventa 5.22' to 'Sarventa 5.23i'.");
    EXPECT_EQ(PageText(PAGE_LANGUAGE, IDC_STATUS), "Click on 'Next' to continue.");
    GoTo(PAGE_FOLDER);
    const HWND folder = GetDlgItem(Page(PAGE_FOLDER), IDC_FOLDER);
    EXPECT_EQ(GetWindowTextString(folder), install);
    EXPECT_NE(GetWindowLongA(folder, GWL_STYLE) & ES_READONLY, 0);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(Page(PAGE_FOLDER), IDC_BROWSE)));
    GoTo(PAGE_PROGRESS);
    Install();
    ASSERT_TRUE(m_dlg.m_bInstallComplete) << Log();
    EXPECT_EQ(Log().find("Failed"), std::string::npos) << Log();

    const std::string logText = ReadFileBytes(logPath);
    EXPECT_NE(logText.find("// Install Sarventa 5.23i -- Update (Sarventa 5.23i)\r\n"), std::string::npos) << logText;
    EXPECT_NE(logText.find(legacyRecord), std::string::npos) << logText;
    const std::string program = " -- " + install + "\\Plankora.exe\r\n";
    const size_t once = logText.find(program);
    EXPECT_NE(once, std::string::npos) << logText;
    EXPECT_EQ(logText.find(program, once + 1), std::string::npos) << logText;
    Press(IDOK);
    EXPECT_EQ(m_dlg.m_nCurrentPage, PAGE_INFO);
    EXPECT_EQ(PageText(PAGE_INFO, IDC_INFO), "Installation is complete.");
    Close();  // while the update's application object lives
}

// The disk fills part-way through the extraction (the extractor's write seam, after so many bytes): the
// progress page shows the failure, every folder and key the installation touches is as before, no "qu" file
// is left, and Install runs again to the end. The last point lies in the last large file of the demo product
// (about 333 KB of files in the i686 build), so it must stay below the product's total.
DWORD g_diskBytesLeft = 0;

BOOL WINAPI WriteUntilDiskFull(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    const DWORD part = size < g_diskBytesLeft ? size : g_diskBytesLeft;
    g_diskBytesLeft -= part;
    if (part == size)
        return WriteFile(file, data, size, written, overlapped);
    WriteFile(file, data, part, written, overlapped);
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

HWND g_pageToClose = nullptr;
bool g_pageStayed = false;

// What Escape and Enter in the progress page's log box send to the page, while the sequence writes a file.
BOOL WINAPI WriteAndCloseThePage(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    if (g_pageToClose) {
        SendMessageA(g_pageToClose, WM_CLOSE, 0, 0);
        SendMessageA(g_pageToClose, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        g_pageStayed = IsWindowVisible(g_pageToClose) != FALSE;
        g_pageToClose = nullptr;
    }
    return WriteFile(file, data, size, written, overlapped);
}

// The log box is a multi-line edit: Escape there closes its parent, the page. The page passes it on to the
// frame as Exit: the question on the summary, nothing while the sequence runs.
TEST_F(WizardInstall, EscapeInTheLogBoxActsAsExitAndNeverRemovesThePage)
{
    Open();
    GoTo(PAGE_PROGRESS);
    const HWND log = GetDlgItem(Page(PAGE_PROGRESS), IDC_LOG);
    SendMessageA(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(log), TRUE);
    ASSERT_EQ(FocusOf(Thread()), log);
    PressKey(log, VK_ESCAPE);
    EXPECT_EQ(AnswerMessageBox(Thread(), IDNO, m_hwnd),
              "Installation is not complete.\r\n\r\nDo you still confirm exit Installation ?");
    EXPECT_TRUE(IsWindowVisible(Page(PAGE_PROGRESS)));
    EXPECT_EQ(m_dlg.m_nCurrentPage, PAGE_PROGRESS);

    g_pageToClose = Page(PAGE_PROGRESS);
    g_pageStayed = false;
    ExtractorWriteCall() = WriteAndCloseThePage;
    Install();
    ExtractorWriteCall() = nullptr;
    EXPECT_EQ(g_pageToClose, nullptr);
    EXPECT_TRUE(g_pageStayed);
    EXPECT_TRUE(m_dlg.m_bInstallComplete) << Log();
    EXPECT_TRUE(IsWindowVisible(Page(PAGE_PROGRESS)));
}

// The disk fills up after the given share (percent) of the product's content is written.
class WizardDiskFull : public WizardInstall, public ::testing::WithParamInterface<DWORD> {
protected:
    // The bytes of the demo product's files, as the build staged them for the payload.
    static uint64_t ProductContentSize()
    {
        uint64_t total = 0;
        ForEachInTree(WinPath(QU_DEMO_PRODUCT_DIR), [&total](const std::string& path, const WIN32_FIND_DATAA& data) {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !EndsWithNoCase(path, "payload.manifest"))
                total += data.nFileSizeLow;
        });
        return total;
    }
    MachineSnapshot Machine() const
    {
        MachineSnapshot machine = MachineSnapshot::Take(m_root);
        for (const std::string& folder : {ShellFolder(CSIDL_COMMON_APPDATA) + "\\Quillon & Partners",
                                          ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Sarventa Examples"}) {
            const MachineSnapshot more = MachineSnapshot::Take(folder);
            machine.items.insert(more.items.begin(), more.items.end());
            machine.items["exists " + folder] = FileExists(folder) ? "yes" : "no";
        }
        return machine;
    }
};

TEST_P(WizardDiskFull, TheFailureIsShownAndTheMachineIsUnchanged)
{
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::vector<std::string> tempBefore = TempFilesIn(temp);
    CreateDirectoryA(m_app.m_strInstallFolder.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(m_app.m_strInstallFolder + "\\Plankora.exe", "the user's own"));
    const MachineSnapshot before = Machine();
    Open();
    GoTo(PAGE_PROGRESS);
    g_diskBytesLeft = static_cast<DWORD>(ProductContentSize() * GetParam() / 100);
    ExtractorWriteCall() = WriteUntilDiskFull;
    Install();
    ExtractorWriteCall() = nullptr;
    EXPECT_FALSE(m_dlg.m_bInstallComplete);
    EXPECT_EQ(PageText(PAGE_PROGRESS, IDC_STATUS), "Installation failed (Error Code 1:00000070).");
    EXPECT_NE(Log().find("...Failed"), std::string::npos) << Log();
    EXPECT_EQ(GetItemText(m_hwnd, IDOK), "Install");
    EXPECT_TRUE(SameMachine(before, Machine()));
    EXPECT_EQ(TempFilesIn(temp), tempBefore);

    Install();
    EXPECT_TRUE(m_dlg.m_bInstallComplete) << Log();
    EXPECT_EQ(ReadFileBytes(m_app.m_strInstallFolder + "\\Plankora.exe").find("the user's own"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(AfterShare, WizardDiskFull, ::testing::Values(0u, 40u, 90u));

}  // namespace

namespace {

BOOL CALLBACK FindEditBox(HWND child, LPARAM param)
{
    char cls[16] = {};
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Edit") != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(param) = child;
    return FALSE;
}

TEST_F(Wizard, TheAboutEntryOpensTheAboutBoxAndMaximisingChangesNothing)
{
    Open();
    char entry[256] = {};
    GetMenuStringA(GetSystemMenu(m_hwnd, FALSE), 0x10, entry, sizeof entry, MF_BYCOMMAND);
    EXPECT_STREQ(entry, "&About 'Installer'...");
    PostMessageA(m_hwnd, WM_SYSCOMMAND, 0x10, 0);
    const HWND about = WaitForDialog(Thread(), m_hwnd);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(GetWindowTextString(about), "About 'Installer'");
    EXPECT_EQ(GetItemText(about, IDC_ABOUT_PRODUCT), "Install 1.2");
    EXPECT_NE(GetItemText(about, IDC_ABOUT_LEGAL).find("Quillon & Partners"), std::string::npos);
    EXPECT_EQ(GetItemText(about, IDOK), "OK");
    PostMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([about] { return !IsWindow(about); }));

    RECT before = {}, after = {};
    GetWindowRect(m_hwnd, &before);
    MINMAXINFO info = {};
    SendMessageA(m_hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMaxSize.x, before.right - before.left);
    EXPECT_EQ(info.ptMaxSize.y, before.bottom - before.top);
    EXPECT_EQ(SendMessageA(m_hwnd, WM_QUERYDRAGICON, 0, 0), reinterpret_cast<LRESULT>(m_dlg.m_hIcon));
    EXPECT_NE(m_dlg.m_hIcon, nullptr);
    GetWindowRect(m_hwnd, &after);
    EXPECT_TRUE(EqualRect(&before, &after));
}

// The frame's window procedure under a watch that counts the icon-background erasures it asks for.
WNDPROC g_frameProc = nullptr;
int g_iconErasures = 0;

LRESULT CALLBACK WatchIconErasure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ICONERASEBKGND && wParam != 0)
        ++g_iconErasures;
    return CallWindowProcA(g_frameProc, hwnd, message, wParam, lParam);
}

TEST_F(Wizard, TheMinimisedFramePaintsTheInstallersIcon)
{
    Open();
    // The installer's own icon resource: the frame's big icon and the one it gives for dragging.
    const HICON icon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(128));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(m_hwnd, WM_GETICON, ICON_BIG, 0)), icon);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(m_hwnd, WM_QUERYDRAGICON, 0, 0)), icon);

    // Painting erases the icon background (before drawing the icon) only while the frame is minimised.
    // Wine gives a minimised window no client area, so the drawn icon itself cannot be seen there.
    g_iconErasures = 0;
    g_frameProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WatchIconErasure)));
    SendMessageA(m_hwnd, WM_PAINT, 0, 0);
    EXPECT_EQ(g_iconErasures, 0);
    SendMessageA(m_hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(WaitUntil([this] { return IsIconic(m_hwnd) != FALSE; }));
    SendMessageA(m_hwnd, WM_PAINT, 0, 0);
    EXPECT_EQ(g_iconErasures, 1);
    SendMessageA(m_hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_TRUE(WaitUntil([this] { return IsIconic(m_hwnd) == FALSE; }));
    SetWindowLongPtrA(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_frameProc));
}

// Browse on the folder and shortcut pages: the system browser from Windows XP on, else the folder tree
// dialog; both keep the product's sub-folder appended. Which folder Wine's browser selects first varies with
// its tree's timing: the tests take what its edit box shows once the sub-folder is there.
std::string BrowseAndAnswer(DWORD thread, HWND frame, HWND button, const std::string& tail, int answer)
{
    PostMessageA(button, BM_CLICK, 0, 0);
    const HWND browser = WaitForDialog(thread, frame);
    if (!browser)
        return "no browser";
    HWND edit = UseSystemFolderBrowser() ? nullptr : GetDlgItem(browser, 50001);
    if (!edit)
        EnumChildWindows(browser, FindEditBox, reinterpret_cast<LPARAM>(&edit));
    const auto endsWithTail = [&] {
        const std::string text = GetWindowTextString(edit);
        return text.size() > tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
    };
    std::string shown = edit && WaitUntil(endsWithTail) ? GetWindowTextString(edit) : "no sub-folder";
    PostMessageA(browser, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    WaitUntil([browser] { return !IsWindow(browser); });
    return shown;
}

TEST_F(Wizard, BrowseOnTheFolderPageKeepsThePublisherSubFolder)
{
    m_app.m_bAdvanced = true;
    Open();
    GoTo(PAGE_FOLDER);
    const HWND button = GetDlgItem(Page(PAGE_FOLDER), IDC_BROWSE);
    const std::string before = m_app.m_strInstallFolder;
    EXPECT_NE(BrowseAndAnswer(Thread(), m_hwnd, button, "\\Quillon & Partners\\Sarventa 5", IDCANCEL), "no browser");
    EXPECT_EQ(m_app.m_strInstallFolder, before);
    const std::string chosen = BrowseAndAnswer(Thread(), m_hwnd, button, "\\Quillon & Partners\\Sarventa 5", IDOK);
    ASSERT_NE(chosen.find(":\\"), std::string::npos) << chosen;
    // Wine's browser answers OK on an untouched edit box with the folder selected in its tree at that moment,
    // without the sub-folder: only that a folder came back and was stored is certain here.
    EXPECT_NE(m_app.m_strInstallFolder.find(":\\"), std::string::npos) << m_app.m_strInstallFolder;
    EXPECT_EQ(PageText(PAGE_FOLDER, IDC_FOLDER), m_app.m_strInstallFolder);
}

TEST_F(Wizard, BrowseOnTheShortcutPageStoresTheChosenMenuFolder)
{
    m_app.m_bAdvanced = true;
    Open();
    GoTo(PAGE_SHORTCUT);
    // The browser shows the folder relative to the root's parent, the all-users Start menu.
    const std::string relative =
        BrowseAndAnswer(Thread(), m_hwnd, GetDlgItem(Page(PAGE_SHORTCUT), IDC_BROWSE), "\\Sarventa 5", IDOK);
    ASSERT_EQ(relative.compare(0, 9, "Programs\\"), 0) << relative;
    char root[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, root, CSIDL_COMMON_STARTMENU, FALSE);
    // The page shows the stored folder relative to its own root, the Start menu.
    EXPECT_EQ(std::string(root) + "\\" + PageText(PAGE_SHORTCUT, IDC_FOLDER), m_app.m_strStartMenuFolder);
}

}  // namespace

namespace {

// Run as wizard_tests_win2k.exe, which Wine reports as Windows 2000: the folder tree dialog is used.
TEST(WizardBrowse, TheSystemVersionChoosesTheBrowser)
{
    char name[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, name, MAX_PATH);
    const bool win2k = std::string(PathFindFileNameA(name)) == "wizard_tests_win2k.exe";
    EXPECT_EQ(UseSystemFolderBrowser(), !win2k);
}

}  // namespace

namespace {

constexpr const char* LANGUAGE_NAMES[LANGUAGE_COUNT] = {
    "French", "English",  "German",  "Spanish", "Portuguese", "Dutch", "Danish",    "Turkish",
    "Bulgarian", "Romanian", "Chinese", "Italian", "Czech",   "Norwegian", "Greek", "Polish",
};

std::string Utf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 1 ? static_cast<size_t>(size) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &result[0], size, nullptr, nullptr);
    result.resize(result.size() - 1);
    return result;
}

std::wstring WindowTextW(HWND hwnd)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, &text[0], static_cast<int>(text.size()))));
    return text;
}

std::string ClassOf(HWND hwnd)
{
    char name[64] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

// The control's device context with its own font (WM_GETFONT) selected.
class ControlFontDC : public CFontDC {
public:
    explicit ControlFontDC(HWND control)
        : CFontDC(control, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)))
    {
    }
};

// What a control's text needs and what the control gives it, in pixels.
struct TextExtent {
    SIZE needed = {};
    SIZE available = {};
    bool Fits() const { return needed.cx <= available.cx && needed.cy <= available.cy; }
};

// A push button's text keeps clear of its frame, a default button's outline and the focus rectangle.
constexpr int PUSH_BUTTON_MARGIN = 4;
// A group box draws its caption between indents of this size.
constexpr int GROUP_BOX_INDENT = 7;

// Measures a control's text the way the static and button controls lay it out: with the control's own
// font, word-wrapped to the width where the control wraps, ampersands as mnemonics unless the control
// shows them, against the client area less a check box and its gap, a push button's margins or a group
// box's indents. False for a control that draws no text of its own.
bool MeasureControlText(HWND control, TextExtent& extent)
{
    const std::string cls = ClassOf(control);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    RECT client = {};
    GetClientRect(control, &client);
    LONG width = client.right, height = client.bottom;
    UINT format = DT_CALCRECT | DT_EXPANDTABS;
    const ControlFontDC dc(control);
    if (lstrcmpiA(cls.c_str(), "Static") == 0) {
        const LONG type = style & SS_TYPEMASK;
        if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT)
            format |= DT_WORDBREAK;
        else if (type != SS_LEFTNOWORDWRAP && type != SS_SIMPLE)
            return false;
        if (style & SS_NOPREFIX)
            format |= DT_NOPREFIX;
    } else if (lstrcmpiA(cls.c_str(), "Button") == 0) {
        format |= (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
        switch (style & BS_TYPEMASK) {
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON:
            width -= 2 * PUSH_BUTTON_MARGIN;
            height -= 2 * PUSH_BUTTON_MARGIN;
            break;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
        case BS_3STATE:
        case BS_AUTO3STATE: {
            INT zero = 0;
            GetCharWidth32W(dc.Get(), L'0', L'0', &zero);
            width -= GetSystemMetrics(SM_CXMENUCHECK) + zero / 2;
            break;
        }
        case BS_GROUPBOX:
            width -= 2 * GROUP_BOX_INDENT;
            break;
        default:
            return false;
        }
    } else {
        return false;
    }
    const std::wstring text = WindowTextW(control);
    if (text.empty())
        return false;
    RECT rc = {0, 0, (format & DT_WORDBREAK) ? std::max(width, 1L) : 0x7FFF, 0};
    DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &rc, format);
    extent.needed = {rc.right - rc.left, rc.bottom - rc.top};
    extent.available = {width, height};
    return true;
}

// Collects, for one language, every text of the wizard's windows that does not fit its control.
class TextFitCheck {
public:
    explicit TextFitCheck(int language) : m_language(language) {}

    // Every text control among the window's own children (pages are checked on their own).
    void Children(HWND window, const std::string& where)
    {
        for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            Check(child, where);
    }
    // The control showing a text the program sets at run time; its own text is put back after.
    void WithText(HWND window, int id, const std::string& text, const std::string& where)
    {
        const HWND control = GetDlgItem(window, id);
        const std::wstring before = WindowTextW(control);
        SetWindowTextA(control, text.c_str());
        Check(control, where);
        SetWindowTextW(control, before.c_str());
    }
    std::vector<std::string> misfits;

private:
    void Check(HWND control, const std::string& where)
    {
        TextExtent extent;
        if (!MeasureControlText(control, extent) || extent.Fits())
            return;
        misfits.push_back(std::string(LANGUAGE_NAMES[m_language]) + ", " + where + ", control " +
                          std::to_string(GetDlgCtrlID(control)) + ", \"" + Utf8(WindowTextW(control)) + "\": needs " + std::to_string(extent.needed.cx) +
                          "x" + std::to_string(extent.needed.cy) + ", has " + std::to_string(extent.available.cx) +
                          "x" + std::to_string(extent.available.cy));
    }
    int m_language;
};

const char* const PAGE_NAMES[PAGE_COUNT] = {"language page", "method page", "folder page",
                                            "shortcut page", "progress page", "information page"};

// The frame with every caption its buttons take, every page, the texts the install sequence and the end
// of the installation put on the progress and information pages, and the About box.
void CheckWizardTexts(CInstallApp& app, CInstallDlg& dlg, ModalRun& run, TextFitCheck& check)
{
    check.Children(run.hwnd, "frame");
    for (const int caption : {IDS_NEXT, IDS_INSTALL})
        check.WithText(run.hwnd, IDOK, GetButtonCaption(caption), "frame");
    for (const int caption : {IDS_CANCEL, IDS_EXIT})
        check.WithText(run.hwnd, IDCANCEL, GetButtonCaption(caption), "frame");
    for (int i = 1; i < PAGE_COUNT; ++i)
        check.Children(dlg.m_pPages[i]->m_hWnd, PAGE_NAMES[i]);
    const HWND progress = dlg.m_pPages[PAGE_PROGRESS]->m_hWnd;
    const std::string steps[] = {
        app.LoadText(1114), app.LoadText(1116), app.LoadText(1117), app.LoadText(1118), app.LoadText(1119),
        app.FormatText(1121, "00000070 (FlushFileBuffers)"), app.FormatText(1121, "1:80070005"),
        app.FormatText(1106, app.LoadText(IDS_NEXT)),
    };
    for (const std::string& step : steps)
        check.WithText(progress, IDC_STATUS, step, "progress page status line");
    check.WithText(dlg.m_pPages[PAGE_INFO]->m_hWnd, 1016, app.LoadText(IDS_INSTALL_COMPLETE), "information page");

    PostMessageA(run.hwnd, WM_SYSCOMMAND, 0x10, 0);
    const HWND about = WaitForDialog(run.thread.Id(), run.hwnd);
    ASSERT_NE(about, nullptr);
    check.Children(about, "About box");
    PostMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([about] { return !IsWindow(about); }));
}

TEST_F(Wizard, EveryTextFitsItsControlInEveryOfferedLanguage)
{
    Open();
    {
        // The dialogs' font is the prefix's own MS Sans Serif at the display's 96 dots per inch.
        const ControlFontDC dc(GetDlgItem(Page(PAGE_LANGUAGE), IDC_STATUS));
        char face[LF_FACESIZE] = {};
        GetTextFaceA(dc.Get(), sizeof face, face);
        TEXTMETRICA metrics = {};
        GetTextMetricsA(dc.Get(), &metrics);
        EXPECT_STREQ(face, "MS Sans Serif");
        EXPECT_EQ(metrics.tmHeight, 13);
        EXPECT_EQ(metrics.tmPitchAndFamily & TMPF_TRUETYPE, 0) << "the bitmap font of the prefix's Fonts folder";
        EXPECT_EQ(GetDeviceCaps(dc.Get(), LOGPIXELSY), 96);
    }
    const HWND combo = GetDlgItem(Page(PAGE_LANGUAGE), IDC_LANGUAGE_LIST);
    std::vector<std::string> misfits;
    for (int language = 0; language < LANGUAGE_COUNT; ++language) {
        if (!IsLanguageOffered(language))
            continue;
        TextFitCheck check(language);
        // Chosen in the list as the user does; the installer tells the user when it stays in English.
        SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(GetLanguageListPosition(language) - 1), 0);
        const WPARAM selChange = MAKEWPARAM(IDC_LANGUAGE_LIST, CBN_SELCHANGE);
        if (HasInstallerTexts(language)) {
            SendMessageA(Page(PAGE_LANGUAGE), WM_COMMAND, selChange, reinterpret_cast<LPARAM>(combo));
        } else {
            PostMessageA(Page(PAGE_LANGUAGE), WM_COMMAND, selChange, reinterpret_cast<LPARAM>(combo));
            EXPECT_NE(AnswerMessageBox(Thread(), IDOK, m_hwnd, 5000), "");
        }
        ASSERT_EQ(m_app.m_nLanguage, language);
        // The language page's texts for each installation status, the page re-texted as a choice does.
        for (const int status : {1, -1, 2, 0}) {
            m_app.m_nInstallStatus = status;
            m_app.m_strInstalledVersion = "Sarventa 6.0";
            m_dlg.m_dlgLanguage.RefreshTexts();
            check.Children(Page(PAGE_LANGUAGE),
                           std::string(PAGE_NAMES[PAGE_LANGUAGE]) + " (status " + std::to_string(status) + ")");
        }
        CheckWizardTexts(m_app, m_dlg, *m_run, check);
        misfits.insert(misfits.end(), check.misfits.begin(), check.misfits.end());
    }
    std::string report;
    for (const std::string& m : misfits)
        report += m + "\n";
    EXPECT_TRUE(misfits.empty()) << report;
}

}  // namespace
