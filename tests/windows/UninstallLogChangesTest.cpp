// Recording changes in the uninstall log, undoing them on the real file system, and writing the log file.
#include "UninstallLog.h"

#include "Handles.h"
#include "Shortcut.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

std::string TempFolder()
{
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    std::string path = folder;
    if (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

std::set<std::string> TempBackups()
{
    const auto names = TempFilesIn(TempFolder());
    return std::set<std::string>(names.begin(), names.end());
}

std::vector<const LOG_RECORD*> NewRecords(const CUninstallLog& log)
{
    std::vector<const LOG_RECORD*> out;
    const LOG_RECORD* prev = nullptr;
    for (const LOG_RECORD* r = log.GetFirst(); r; prev = r, r = r->pNext) {
        EXPECT_EQ(r->pPrev, prev);
        out.push_back(r);
    }
    EXPECT_EQ(log.GetLast(), prev);
    return out;
}

std::string Header(const std::string& product, const std::string& previous, const std::string& install,
                   const std::string& menu)
{
    std::string text;
    for (const std::string& line : FormatHeaderLines(product, previous, install, menu))
        text += line;
    return text;
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

class UninstallLogChanges : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_root = FreshFolder(std::string("ulog-") +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        m_install = m_root + "\\Install";
        m_menu = m_root + "\\Menu";
        m_log = m_root + "\\Uninstall.ulog";
        m_tempBefore = TempBackups();
    }
    void TearDown() override
    {
        // Neither Save nor Rollback leaves a backup of the run behind.
        EXPECT_EQ(TempBackups(), m_tempBefore);
        RemoveTree(m_root);
    }

    std::string m_root, m_install, m_menu, m_log;
    std::set<std::string> m_tempBefore;
};

TEST_F(UninstallLogChanges, SmokeRecordSaveAndReadBack)
{
    CUninstallLog log;
    log.Load(nullptr, "Sarventa 5.23i");
    const std::string program = m_install + "\\Sarventa.exe";
    log.AddFile(program.c_str(), 1, false);
    ASSERT_TRUE(WriteFileBytes(program, "program"));
    log.SetStatus(true, nullptr);
    log.AddUninstallKey(nullptr);
    log.SetStatus(true, nullptr);
    ASSERT_TRUE(log.Save(m_log.c_str(), m_install, m_menu));
    EXPECT_EQ(NewRecords(log).size(), 3u);

    const std::string expected = Header("Sarventa 5.23i", "", m_install, m_menu) +
                                 "0000:00FF:1 -- " + m_install + "\r\n" +
                                 "0001:0101:1 -- " + program + "\r\n" +
                                 "0002:05FF:1 -- " + ULOG_UNINSTALL_KEY_TEXT + "\r\n";
    EXPECT_EQ(ReadFileBytes(m_log), expected);
    EXPECT_TRUE(GetFileAttributesA(m_log.c_str()) & FILE_ATTRIBUTE_READONLY);

    CUninstallLog again;
    EXPECT_TRUE(again.Load(m_log.c_str(), "Sarventa 5.24"));
    EXPECT_EQ(again.m_strPreviousProduct, "Sarventa 5.23i");
    EXPECT_EQ(again.m_strInstallPath, m_install);
    EXPECT_TRUE(again.IsKeptFile(program.c_str()));
    SetFileAttributesA(m_log.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(UninstallLogChanges, SmokeRollbackPutsTheReplacedFileBack)
{
    ASSERT_TRUE(CreateDirectoryA(m_install.c_str(), nullptr));
    const std::string file = m_install + "\\data.bin";
    ASSERT_TRUE(WriteFileBytes(file, "old"));
    CUninstallLog log;
    log.AddFile((m_install + "\\New\\made.txt").c_str(), 0, false);
    ASSERT_TRUE(WriteFileBytes(m_install + "\\New\\made.txt", "new"));
    log.SetStatus(true, nullptr);
    log.AddFile(file.c_str(), 0, false);
    EXPECT_FALSE(FileExists(file));
    ASSERT_TRUE(WriteFileBytes(file, "new"));
    log.SetStatus(true, nullptr);
    log.Rollback();
    EXPECT_EQ(log.GetFirst(), nullptr);
    EXPECT_EQ(ReadFileBytes(file), "old");
    EXPECT_FALSE(IsFolder(m_install + "\\New"));
}

}  // namespace
