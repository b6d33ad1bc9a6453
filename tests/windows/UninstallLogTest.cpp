// Reading the previous installation's uninstall log from real files.
#include "UninstallLog.h"

#include "Handles.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class UninstallLogLoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        // CTest runs the cases of this fixture side by side: each has a folder of its own.
        m_folder = FreshFolder(std::string("uninstall-log-") +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        m_install = m_folder + "\\Sarventa 5";
        m_menu = m_folder + "\\Menu";
        CreateDirectoryA(m_install.c_str(), nullptr);
        CreateDirectoryA(m_menu.c_str(), nullptr);
        m_log = m_install + "\\Uninstall.ulog";
    }
    void TearDown() override { RemoveTree(m_folder); }

    std::string Text(const std::string& install, const std::string& menu, const std::string& records)
    {
        std::string text;
        for (const std::string& line : FormatHeaderLines("Sarventa 5.22", "", install, menu))
            text += line;
        return text + records;
    }
    std::string Records()
    {
        return FormatRecordLine(0, LR_FOLDER, -1, true, m_install) +
               FormatRecordLine(1, LR_FILE, 1, true, m_install + "\\Sarventa.exe") +
               FormatRecordLine(2, LR_FILE, 2, true, m_install + "\\Uninstall.exe") +
               FormatRecordLine(3, LR_DESKTOP_SHORTCUT, -1, false, "") +
               FormatRecordLine(4, LR_UNINSTALL_KEY, -1, true, ULOG_UNINSTALL_KEY_TEXT) +
               FormatRecordLine(5, LR_SELF_REGISTRATION, -1, true, ULOG_SELF_REGISTRATION_TEXT);
    }
    // The log as the installer leaves it: read-only, archive, not content-indexed.
    void WriteLog(const std::string& bytes)
    {
        ASSERT_TRUE(WriteFileBytes(m_log, bytes));
        ASSERT_TRUE(SetFileAttributesA(m_log.c_str(), 0x2021));
    }
    static std::vector<const LOG_RECORD*> Old(const CUninstallLog& log)
    {
        std::vector<const LOG_RECORD*> out;
        const LOG_RECORD* prev = nullptr;
        for (const LOG_RECORD* r = log.GetOldFirst(); r; prev = r, r = r->pNext) {
            EXPECT_EQ(r->pPrev, prev);
            out.push_back(r);
        }
        return out;
    }

    std::string m_folder, m_install, m_menu, m_log;
};

TEST_F(UninstallLogLoad, ReadOnlyAnsiFile)
{
    WriteLog(Text(m_install, m_menu, Records()));
    // Wine's drive Z: keeps the read-only bit, not the other two.
    const DWORD attributes = GetFileAttributesA(m_log.c_str());
    ASSERT_NE(attributes & FILE_ATTRIBUTE_READONLY, 0u);
    CUninstallLog log;
    EXPECT_TRUE(log.Load(m_log.c_str(), "Sarventa 5.23i"));
    EXPECT_EQ(log.m_strProduct, "Sarventa 5.23i");
    EXPECT_EQ(log.m_strPreviousProduct, "Sarventa 5.22");
    EXPECT_EQ(log.m_strInstallPath, m_install);
    EXPECT_EQ(log.m_strShortcutPath, m_menu);
    EXPECT_EQ(log.GetFirst(), nullptr);
    const auto old = Old(log);
    ASSERT_EQ(old.size(), 6u);
    EXPECT_EQ(old[1]->nKind, LR_FILE);
    EXPECT_EQ(old[1]->nCode, 1);
    EXPECT_EQ(old[1]->bDone, 1);
    EXPECT_EQ(old[1]->strPath, m_install + "\\Sarventa.exe");
    EXPECT_EQ(old[1]->strBackup, "");
    EXPECT_EQ(old[2]->nCode, 2);
    EXPECT_EQ(old[3]->nKind, LR_DESKTOP_SHORTCUT);
    EXPECT_EQ(old[3]->bDone, 0);
    EXPECT_EQ(old[3]->strPath, "");
    EXPECT_EQ(old[4]->nKind, LR_UNINSTALL_KEY);
    EXPECT_EQ(old[4]->strPath, "");
    EXPECT_EQ(old[5]->nKind, LR_SELF_REGISTRATION);
    EXPECT_EQ(old[5]->nCode, -1);
    EXPECT_EQ(log.FindMainProgram(), m_install + "\\Sarventa.exe");
    // The file is left as it was.
    EXPECT_EQ(GetFileAttributesA(m_log.c_str()), attributes);
}

TEST_F(UninstallLogLoad, Utf16File)
{
    std::string ansi = Text(m_install, m_menu, Records() + FormatRecordLine(6, LR_FILE, 0, true, "C:\\"));
    ansi.resize(ansi.size() - 2);  // the path goes on
    std::wstring wide(ansi.begin(), ansi.end());
    // U+040A (its low byte is a line feed) and U+00E9 in the last path.
    wide += L"\u040A\u00E9.txt\r\n";
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : wide)
        bytes += static_cast<char>(c & 0xFF), bytes += static_cast<char>((c >> 8) & 0xFF);
    WriteLog(bytes);

    CUninstallLog log;
    EXPECT_TRUE(log.Load(m_log.c_str(), "Sarventa 5.23i"));
    EXPECT_EQ(log.m_strPreviousProduct, "Sarventa 5.22");
    EXPECT_EQ(log.m_strInstallPath, m_install);
    const auto old = Old(log);
    ASSERT_EQ(old.size(), 7u);
    const char16_t tail[] = u"\u040A\u00E9.txt";
    EXPECT_EQ(old[6]->strPath, "C:\\" + AnsiFromWide(tail, 6));
    EXPECT_EQ(AnsiFromWide(u"\u00E9", 1).size(), 1u);  // one byte in the ANSI code page
}

TEST_F(UninstallLogLoad, FoldersThatNoLongerExist)
{
    WriteLog(Text(m_folder + "\\gone", m_menu + "\\gone", Records()));
    CUninstallLog log;
    EXPECT_TRUE(log.Load(m_log.c_str(), "P"));
    EXPECT_EQ(log.m_strInstallPath, "");
    EXPECT_EQ(log.m_strShortcutPath, "");
    EXPECT_EQ(Old(log).size(), 6u);

    // A file is not a folder.
    CUninstallLog file;
    SetFileAttributesA(m_log.c_str(), FILE_ATTRIBUTE_NORMAL);
    WriteLog(Text(m_log, m_menu, ""));
    file.Load(m_log.c_str(), "P");
    EXPECT_EQ(file.m_strInstallPath, "");
    EXPECT_EQ(file.m_strShortcutPath, m_menu);
}

TEST_F(UninstallLogLoad, NoFileAndNoPath)
{
    CUninstallLog missing;
    EXPECT_FALSE(missing.Load((m_folder + "\\none.ulog").c_str(), "Sarventa 5.23i"));
    EXPECT_EQ(missing.m_strProduct, "Sarventa 5.23i");
    EXPECT_EQ(missing.GetOldFirst(), nullptr);
    EXPECT_EQ(missing.FindMainProgram(), "");

    WriteLog(Text(m_install, m_menu, Records()));
    CUninstallLog log;
    ASSERT_TRUE(log.Load(m_log.c_str(), "A"));
    ASSERT_NE(log.GetOldFirst(), nullptr);
    // Loading again replaces what the first load read.
    EXPECT_TRUE(log.Load(nullptr, "B"));
    EXPECT_EQ(log.m_strProduct, "B");
    EXPECT_EQ(log.m_strInstallPath, "");
    EXPECT_EQ(log.m_strShortcutPath, "");
    EXPECT_EQ(log.m_strPreviousProduct, "");
    EXPECT_EQ(log.GetOldFirst(), nullptr);
}

TEST_F(UninstallLogLoad, StopsKeepWhatWasRead)
{
    WriteLog(Text(m_install, m_menu,
                  FormatRecordLine(0, LR_FILE, 1, false, "C:\\failed.exe") + FormatRecordLine(1, LR_FILE, 0, true, "C:\\a") +
                      "0002:0700:1 -- kind 7\r\n" + FormatRecordLine(3, LR_FILE, 1, true, "C:\\late.exe")));
    CUninstallLog log;
    EXPECT_TRUE(log.Load(m_log.c_str(), "P"));
    EXPECT_EQ(log.m_strInstallPath, m_install);
    EXPECT_EQ(Old(log).size(), 2u);
    EXPECT_EQ(log.FindMainProgram(), "");  // the only main program was never written

    // A file that another handle holds open for reading can be read too.
    SetFileAttributesA(m_log.c_str(), FILE_ATTRIBUTE_NORMAL);
    WriteLog(Text(m_install, m_menu, Records()));
    FileHandle other(CreateFileA(m_log.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(other);
    CUninstallLog shared;
    EXPECT_TRUE(shared.Load(m_log.c_str(), "P"));
    EXPECT_EQ(Old(shared).size(), 6u);
}

}  // namespace
