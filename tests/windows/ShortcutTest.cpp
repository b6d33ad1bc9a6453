// Shell links made by CreateShortcut, read back through the shell's link object.
#include "Shortcut.h"

#include "Handles.h"
#include "TestSupport.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

namespace {

struct LinkData {
    bool loaded = false;
    std::string target;
    std::string workingFolder;
};

// Loads a .lnk file through a fresh link object; COM is initialised for the read only.
LinkData ReadLink(const std::string& path)
{
    LinkData data;
    if (FAILED(CoInitialize(nullptr)))
        return data;
    {
        ComPtr<IShellLinkA> link;
        ComPtr<IPersistFile> file;
        wchar_t widePath[MAX_PATH];
        char text[MAX_PATH] = "";
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                       reinterpret_cast<void**>(link.Put()))) &&
            SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Put()))) &&
            MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH) != 0 &&
            SUCCEEDED(file->Load(widePath, STGM_READ))) {
            data.loaded = true;
            if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH)))
                data.target = text;
            if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH)))
                data.workingFolder = text;
        }
    }
    CoUninitialize();
    return data;
}

class CreateShortcutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A folder per test: CTest runs the cases as separate programs, two of them at once.
        m_folder = FreshFolder(std::string("shortcut-") +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        m_app = m_folder + "\\Sarventa 5";
        m_target = m_app + "\\Sarventa.exe";
        m_menu = m_folder + "\\Menu";
        CreateDirectoryA(m_app.c_str(), nullptr);
        CreateDirectoryA(m_menu.c_str(), nullptr);
        WriteFileBytes(m_target, "MZ");
    }
    void TearDown() override { RemoveTree(m_folder); }

    std::string m_folder, m_app, m_target, m_menu;
};

TEST_F(CreateShortcutTest, LinkHoldsTargetAndItsFolder)
{
    std::string linkPath;
    ASSERT_TRUE(CreateShortcut(m_target.c_str(), m_menu.c_str(), "Sarventa 5.23", &linkPath));
    EXPECT_EQ(linkPath, m_menu + "\\Sarventa 5.23.lnk");
    const LinkData link = ReadLink(linkPath);
    ASSERT_TRUE(link.loaded);
    EXPECT_STRCASEEQ(link.target.c_str(), m_target.c_str());
    EXPECT_STRCASEEQ(link.workingFolder.c_str(), m_app.c_str());
    EXPECT_EQ(ListFiles(m_menu), std::vector<std::string>{"Sarventa 5.23.lnk"});

    // Without an output string the link is made all the same.
    ASSERT_TRUE(CreateShortcut(m_target.c_str(), m_menu.c_str(), "Uninstall Sarventa"));
    EXPECT_TRUE(ReadLink(m_menu + "\\Uninstall Sarventa.lnk").loaded);
}

TEST_F(CreateShortcutTest, ExistingFileAtTheLinkPathIsOverwritten)
{
    const std::string linkPath = m_menu + "\\Sarventa 5.23.lnk";
    ASSERT_TRUE(WriteFileBytes(linkPath, "not a link"));
    ASSERT_TRUE(CreateShortcut(m_target.c_str(), m_menu.c_str(), "Sarventa 5.23"));
    const LinkData link = ReadLink(linkPath);
    ASSERT_TRUE(link.loaded);
    EXPECT_STRCASEEQ(link.target.c_str(), m_target.c_str());
}

TEST_F(CreateShortcutTest, FailuresLeaveNoFileAndTheOutputUntouched)
{
    std::string linkPath = "unchanged";
    // A target without a folder part.
    EXPECT_FALSE(CreateShortcut("C:\\", m_menu.c_str(), "Root", &linkPath));
    // A folder that does not exist: the save fails.
    EXPECT_FALSE(CreateShortcut(m_target.c_str(), (m_folder + "\\Missing").c_str(), "Sarventa", &linkPath));
    EXPECT_FALSE(FileExists(m_folder + "\\Missing"));
    // Paths that do not fit.
    const std::string longTarget = m_app + "\\" + std::string(MAX_PATH, 'a') + ".exe";
    EXPECT_FALSE(CreateShortcut(longTarget.c_str(), m_menu.c_str(), "Sarventa", &linkPath));
    EXPECT_FALSE(CreateShortcut(m_target.c_str(), m_menu.c_str(), std::string(MAX_PATH, 'n').c_str(), &linkPath));
    EXPECT_FALSE(CreateShortcut(nullptr, m_menu.c_str(), "Sarventa", &linkPath));
    EXPECT_FALSE(CreateShortcut(m_target.c_str(), nullptr, "Sarventa", &linkPath));
    EXPECT_FALSE(CreateShortcut(m_target.c_str(), m_menu.c_str(), nullptr, &linkPath));
    EXPECT_EQ(linkPath, "unchanged");
    EXPECT_TRUE(ListFiles(m_menu).empty());
}

// The join fits, but not with ".lnk" after it: the link path is checked whole, never cut or overrun.
TEST_F(CreateShortcutTest, LinkPathUpToTheLastCharacterThatFits)
{
    const size_t room = MAX_PATH - 1 - (m_menu.size() + 1) - 4;  // name length for a 259-character link path
    ASSERT_LT(room, 250u);
    std::string linkPath;
    ASSERT_TRUE(CreateShortcut(m_target.c_str(), m_menu.c_str(), std::string(room, 'n').c_str(), &linkPath));
    EXPECT_EQ(linkPath.size(), size_t(MAX_PATH - 1));
    EXPECT_TRUE(ReadLink(linkPath).loaded);

    linkPath = "unchanged";
    EXPECT_FALSE(CreateShortcut(m_target.c_str(), m_menu.c_str(), std::string(room + 1, 'm').c_str(), &linkPath));
    EXPECT_FALSE(CreateShortcut(m_target.c_str(), m_menu.c_str(), std::string(room + 4, 'k').c_str(), &linkPath));
    EXPECT_EQ(linkPath, "unchanged");
    EXPECT_EQ(ListFiles(m_menu).size(), 1u);
}

// A caller that initialised COM keeps it: the call's own initialisation is balanced.
TEST_F(CreateShortcutTest, CallerComInitialisationIsKept)
{
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_TRUE(CreateShortcut(m_target.c_str(), m_menu.c_str(), "Sarventa"));
    ComPtr<IShellLinkA> link;
    EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                               reinterpret_cast<void**>(link.Put())),
              S_OK);
    link.Reset();
    CoUninitialize();
    // Nothing left initialised by the calls: a first initialisation says S_OK again.
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}

}  // namespace
