// Folder path rules against the system's path functions: tail components, the sub-folder appended and
// stripped, root-relative paths, initial paths and typed paths.
#include "FolderBrowser.h"
#include "TestSupport.h"
#include "WindowDriver.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <shlwapi.h>

namespace {

std::string SpecialFolder(int csidl)
{
    char path[MAX_PATH] = {};
    return SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE) ? path : "";
}

constexpr DWORD ANY_ERROR = 0xFFFFFFFF;

std::string TrimRight(std::string text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::string CurrentDirectory()
{
    char path[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, path);
    return path;
}

// Sets the process's current directory for a scope.
class CurrentDirectoryScope {
public:
    explicit CurrentDirectoryScope(const std::string& path) : m_saved(CurrentDirectory())
    {
        SetCurrentDirectoryA(path.c_str());
    }
    ~CurrentDirectoryScope() { SetCurrentDirectoryA(m_saved.c_str()); }

private:
    std::string m_saved;
};

TEST(CountTailComponents, Examples)
{
    const struct {
        const char* path;
        const char* tail;
        int count;
    } cases[] = {
        {"C:\\A\\B", "a\\b", 2},  {"C:\\A\\B", "B\\C", 0},      {"C:\\B", "B", 1},
        {"B", "B", 0},            {"C:\\A\\B\\", "b\\", 1},     {"C:\\A\\B", "C:\\A\\B", 0},
        {"C:\\A\\B", "X\\A\\B", 0}, {"C:\\", "C:", 0},          {"C:\\A\\B", "", 0},
    };
    CQuFolderBrowser browser(false, nullptr);
    for (const auto& c : cases) {
        browser.m_strPath = c.path;
        EXPECT_EQ(browser.CountTailComponents(c.tail), c.count) << c.path << " / " << c.tail;
    }
    browser.m_strPath = std::string(300, 'a');
    EXPECT_EQ(browser.CountTailComponents("a"), 0);
}

TEST(AppendSubFolder, OnceAndWithOverlap)
{
    const struct {
        const char* path;
        const char* sub;
        const char* result;
    } cases[] = {
        {"C:\\Program Files\\Quillon & Partners", "Quillon & Partners\\Plankora 5",
         "C:\\Program Files\\Quillon & Partners\\Plankora 5"},
        {"C:\\Program Files\\Quillon & Partners", "Plankora 5", "C:\\Program Files\\Quillon & Partners\\Plankora 5"},
        {"C:\\Program Files\\Quillon & Partners\\Plankora 5", "Quillon & Partners\\Plankora 5",
         "C:\\Program Files\\Quillon & Partners\\Plankora 5"},
        {"D:\\Apps", "Plankora 5", "D:\\Apps\\Plankora 5"},
        {"D:\\Apps\\Plankora 5", "Plankora 5", "D:\\Apps\\Plankora 5"},
        {"D:\\Apps\\PLANKORA 5", "Plankora 5", "D:\\Apps\\PLANKORA 5"},
        {"D:\\", "Plankora 5", "D:\\Plankora 5"},
        {"D:\\Apps", "", "D:\\Apps"},
    };
    CQuFolderBrowser browser(false, nullptr);
    for (const auto& c : cases) {
        browser.m_strPath = c.path;
        browser.m_strSubFolder = c.sub;
        browser.AppendSubFolder();
        EXPECT_EQ(browser.m_strPath, c.result) << c.path << " + " << c.sub;
    }
}

TEST(StripSubFolder, Cases)
{
    const struct {
        const char* path;
        const char* sub;
        const char* result;
    } cases[] = {
        {"D:\\Apps\\Plankora 5", "Plankora 5", "D:\\Apps"},
        {"D:\\Apps\\Quillon & Partners\\plankora 5\\", "Quillon & Partners\\Plankora 5", "D:\\Apps"},
        {"D:\\Apps\\Other", "Plankora 5", "D:\\Apps\\Other"},
        {"D:\\Apps\\Plankora 5", "", "D:\\Apps\\Plankora 5"},
        {"Plankora 5", "Plankora 5", "Plankora 5"},
    };
    CQuFolderBrowser browser(false, nullptr);
    for (const auto& c : cases) {
        browser.m_strPath = c.path;
        browser.m_strSubFolder = c.sub;
        EXPECT_EQ(browser.StripSubFolder(), c.result) << c.path << " - " << c.sub;
    }
}

TEST(RootRelative, AgainstTheCommonProgramsParent)
{
    const std::string programs = SpecialFolder(CSIDL_COMMON_PROGRAMS);
    ASSERT_FALSE(programs.empty());
    const std::string parent = programs.substr(0, programs.rfind('\\'));
    const std::string name = programs.substr(programs.rfind('\\') + 1);

    CQuFolderBrowser browser(false, nullptr);
    ASSERT_TRUE(browser.SetRoot(CSIDL_COMMON_PROGRAMS));
    ASSERT_NE(browser.GetRootParent(), nullptr);
    EXPECT_EQ(browser.GetRootParent(), parent);

    const struct {
        std::string path;
        std::string relative;
    } cases[] = {
        {programs + "\\Sarventa 5", name + "\\Sarventa 5"},
        {parent, ""},
        {parent + "\\", ""},
        {"Q:\\Elsewhere", "Q:\\Elsewhere"},  // no relative path between drives
    };
    for (const auto& c : cases) {
        browser.m_strPath = c.path;
        EXPECT_EQ(browser.MakeRootRelative(), c.relative) << c.path;
    }
    // The root's own path with the sub-folder appended is shown relative to the parent.
    browser.SetInitialPath(nullptr, "Sarventa 5");
    EXPECT_EQ(browser.m_strPath, name + "\\Sarventa 5");

    // Without a root, or a drive root as root, there is no parent.
    ASSERT_TRUE(browser.SetRoot(0));
    EXPECT_EQ(browser.GetRootParent(), nullptr);
    browser.m_pidlRoot = ILCreateFromPathA("C:\\");
    EXPECT_EQ(browser.GetRootParent(), nullptr);
}

TEST(SetInitialPath, Cases)
{
    const std::string documents = SpecialFolder(CSIDL_PERSONAL);
    const std::string programs = SpecialFolder(CSIDL_COMMON_PROGRAMS);
    const struct {
        const char* path;
        const char* sub;
        int root;
        std::string result;
        std::string subFolder;
    } cases[] = {
        {"D:\\Apps", "Plankora 5", 0, "D:\\Apps\\Plankora 5", "Plankora 5"},
        {"D:", "Plankora 5", 0, "D:\\Plankora 5", "Plankora 5"},
        {"D:", nullptr, 0, "D:\\", ""},
        {"Apps\\Relative", nullptr, 0, documents, ""},          // a relative initial path is dropped
        {nullptr, "Plankora 5", 0, documents + "\\Plankora 5", "Plankora 5"},
        {"Apps", nullptr, CSIDL_COMMON_PROGRAMS, programs, ""},  // the root's path; relative only with a sub-folder
        {"D:\\Apps", "Plan*", 0, "D:\\Apps", ""},              // wildcards: the sub-folder is ignored
        {"D:\\Apps", "Plan?5", 0, "D:\\Apps", ""},
        {"D:\\Apps", "Plan\x01", 0, "D:\\Apps", ""},
    };
    for (const auto& c : cases) {
        CQuFolderBrowser browser(false, nullptr);
        browser.m_strSubFolder = "left over";
        browser.SetRoot(c.root);
        browser.SetInitialPath(c.path, c.sub);
        EXPECT_EQ(browser.m_strPath, c.result) << (c.path ? c.path : "(null)");
        EXPECT_EQ(browser.m_strSubFolder, c.subFolder) << (c.path ? c.path : "(null)");
    }
}

TEST(CheckTypedPath, Cases)
{
    const std::string base = FreshFolder("typed-base");
    const std::string cwd = FreshFolder("typed-cwd");
    CurrentDirectoryScope scope(cwd);
    const struct {
        std::string text;
        std::string base;
        DWORD code;
        std::string result;
    } cases[] = {
        {std::string(260, 'a'), "", ERROR_FILENAME_EXCED_RANGE, ""},
        {"D:", "", 0, "D:\\"},
        {"  D:\\  ", "", 0, "D:\\"},
        {"..\\Windows", "C:\\Users", ERROR_BAD_PATHNAME, ""},
        {"C:\\Users\\..\\Windows", "C:\\Users", ERROR_BAD_PATHNAME, ""},
        {"Public\\Apps\\", "C:\\Users", 0, "C:\\Users\\Public\\Apps"},
        {"Apps", "C:\\", 0, "C:\\Apps"},  // a drive root as base (a root folder right under it)
        {"C:\\", "C:\\", 0, "C:\\"},
        {"Apps\\New", base, 0, base + "\\Apps\\New"},
        {"Apps\\New", "", 0, cwd + "\\Apps\\New"},  // no base: the process's current directory
        {"", "", 0, cwd},
        {"C:\\Apps\\Plan*", "", ERROR_BAD_PATHNAME, ""},
        {"C:\\Apps\\Plan?", "", ERROR_BAD_PATHNAME, ""},
        {"Apps", base + "\\missing", ANY_ERROR, ""},  // the base cannot be made current
    };
    for (const auto& c : cases) {
        std::string result = "unchanged";
        const DWORD code = CQuFolderBrowser::CheckTypedPath(c.text.c_str(), c.base.c_str(), false, result);
        if (c.code == ANY_ERROR)
            EXPECT_NE(code, 0u) << c.text << " in " << c.base;
        else
            EXPECT_EQ(code, c.code) << c.text << " in " << c.base;
        EXPECT_EQ(result, c.code == 0 ? c.result : std::string("unchanged")) << c.text << " in " << c.base;
        EXPECT_TRUE(lstrcmpiA(CurrentDirectory().c_str(), cwd.c_str()) == 0) << "after " << c.text;
    }
    EXPECT_FALSE(IsFolder(base + "\\Apps")) << "created without the flag";
}

TEST(CheckTypedPath, CreatesTheFolderWithItsParents)
{
    const std::string base = FreshFolder("typed-create");
    std::string result;
    EXPECT_EQ(CQuFolderBrowser::CheckTypedPath("One\\Two\\Three\\", base.c_str(), true, result), 0u);
    EXPECT_EQ(result, base + "\\One\\Two\\Three");
    EXPECT_TRUE(IsFolder(result));
    // A file in the way: the system's error.
    ASSERT_TRUE(WriteFileBytes(base + "\\File", "x"));
    EXPECT_NE(CQuFolderBrowser::CheckTypedPath("File\\Sub", base.c_str(), true, result), 0u);
    EXPECT_EQ(result, base + "\\One\\Two\\Three");
}

TEST(CheckTypedTreePath, Cases)
{
    const std::string base = FreshFolder("tree-base");
    const std::string cwd = FreshFolder("tree-cwd");
    CurrentDirectoryScope scope(cwd);
    const struct {
        std::string text;
        std::string base;
        DWORD code;
        std::string result;
    } cases[] = {
        {"", base, 0, base},  // an empty text is the base itself
        {"  Apps\\ ", base, 0, base + "\\Apps"},
        {"D:", "", 0, "D:\\"},
        {"..\\Windows", "C:\\Users", ERROR_BAD_PATHNAME, ""},
        {"Apps", "", 0, cwd + "\\Apps"},
        {"C:\\A*", "", ERROR_BAD_PATHNAME, ""},
    };
    for (const auto& c : cases) {
        std::string result;
        EXPECT_EQ(CheckTypedTreePath(c.text.c_str(), c.base.c_str(), result), c.code) << c.text;
        if (c.code == 0) {
            EXPECT_EQ(result, c.result) << c.text;
        }
        EXPECT_TRUE(lstrcmpiA(CurrentDirectory().c_str(), cwd.c_str()) == 0) << "after " << c.text;
    }
}

TEST(QualifyTypedPath, ARefusalShowsTheSystemTextForTheCode)
{
    char expected[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_BAD_PATHNAME, 0,
                   expected, sizeof expected, nullptr);
    bool accepted = true;
    UiThread ui([&] {
        std::string result;
        accepted = CQuFolderBrowser::QualifyTypedPath("..\\Windows", "C:\\Users", false, result);
    });
    const std::string text = AnswerMessageBox(ui.Id(), IDOK);
    ASSERT_TRUE(ui.Join());
    EXPECT_FALSE(accepted);
    EXPECT_EQ(TrimRight(text), TrimRight(expected));
    EXPECT_FALSE(text.empty());
}

}  // namespace
