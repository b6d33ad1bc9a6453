// Creating folder paths with their records, and backups of existing files in the temporary folder.
#include "UninstallLog.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<const LOG_RECORD*> NewRecords(const CUninstallLog& log)
{
    std::vector<const LOG_RECORD*> out;
    for (const LOG_RECORD* r = log.GetFirst(); r; r = r->pNext)
        out.push_back(r);
    return out;
}

class CreateFolderPathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A folder of each test's own: CTest runs the tests of this fixture side by side.
        m_root = FreshFolder(std::string("file-ops-folders-") +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        m_a = m_root + "\\A";
        ASSERT_TRUE(CreateDirectoryA(m_a.c_str(), nullptr));
    }
    void TearDown() override { RemoveTree(m_root); }

    void ExpectCreatedBThenC(const CUninstallLog& log)
    {
        const auto records = NewRecords(log);
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0]->strPath, m_a + "\\B");
        EXPECT_EQ(records[1]->strPath, m_a + "\\B\\C");
        for (const LOG_RECORD* r : records) {
            EXPECT_EQ(r->nKind, LR_FOLDER);
            EXPECT_EQ(r->bDone, 1);
            EXPECT_EQ(r->nCode, -1);
            EXPECT_TRUE(r->strBackup.empty());
            EXPECT_TRUE(IsFolder(r->strPath)) << r->strPath;
        }
    }

    std::string m_root, m_a;
};

TEST_F(CreateFolderPathTest, RecordsOnlyTheMissingFoldersFromTheRootOutwards)
{
    CUninstallLog log;
    log.CreateFolderPath((m_a + "\\B\\C").c_str());
    ExpectCreatedBThenC(log);

    // Everything exists now: nothing more is recorded.
    log.CreateFolderPath((m_a + "\\B\\C").c_str());
    EXPECT_EQ(NewRecords(log).size(), 2u);
}

TEST_F(CreateFolderPathTest, TrailingBackslashChangesNothing)
{
    CUninstallLog log;
    log.CreateFolderPath((m_a + "\\B\\C\\").c_str());
    ExpectCreatedBThenC(log);
}

TEST_F(CreateFolderPathTest, FailingFolderStopsTheChain)
{
    // A file in the place of B: B cannot be created, so C is never tried.
    ASSERT_TRUE(WriteFileBytes(m_a + "\\B", "not a folder"));
    CUninstallLog log;
    log.CreateFolderPath((m_a + "\\B\\C").c_str());
    EXPECT_TRUE(NewRecords(log).empty());
    EXPECT_FALSE(IsFolder(m_a + "\\B"));
    EXPECT_EQ(GetFileAttributesA((m_a + "\\B\\C").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(CreateFolderPathTest, OverlongPathCreatesNothing)
{
    std::string path = m_a + "\\B";
    while (path.size() < MAX_PATH)
        path += "\\ccccccccccccccccccccccccccccccc";
    CUninstallLog log;
    log.CreateFolderPath(path.c_str());
    EXPECT_TRUE(NewRecords(log).empty());
    EXPECT_FALSE(IsFolder(m_a + "\\B"));
}

class BackupFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // CTest runs the cases of this fixture side by side: each has a folder of its own.
        m_root = FreshFolder(std::string("file-ops-backup-") +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        m_temp = m_root + "\\temp";
        ASSERT_TRUE(CreateDirectoryA(m_temp.c_str(), nullptr));
        char saved[MAX_PATH];
        const DWORD length = GetEnvironmentVariableA("TMP", saved, MAX_PATH);
        m_bHadTmp = length > 0 && length < MAX_PATH;
        if (m_bHadTmp)
            m_savedTmp = saved;
        UseTempFolder(m_temp);
        m_item = m_root + "\\item.dat";
        ASSERT_TRUE(WriteFileBytes(m_item, "previous version"));
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("TMP", m_bHadTmp ? m_savedTmp.c_str() : nullptr);
        for (const std::string& name : ListFiles(m_temp))
            SetFileAttributesA((m_temp + "\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        SetFileAttributesA(m_item.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveTree(m_root);
        if (!m_short.empty())
            RemoveTree(m_short);
    }
    static void UseTempFolder(const std::string& folder) { SetEnvironmentVariableA("TMP", folder.c_str()); }

    // A folder whose path, with the trailing backslash GetTempPath adds, has length characters. It is built
    // below a short folder on the prefix's drive C: (inside the build tree as well), so that the depth of
    // the checkout does not matter.
    std::string FolderOfLength(size_t length)
    {
        if (m_short.empty()) {
            m_short = "C:\\qu-backup-long";
            RemoveTree(m_short);
            EXPECT_TRUE(CreateDirectoryA(m_short.c_str(), nullptr));
        }
        std::string path = m_short + "\\long" + std::to_string(length);
        EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
        while (path.size() + 1 < length) {
            const size_t room = length - 1 - path.size() - 1;  // one backslash before the new component
            path += "\\" + std::string(room > 60 ? 60 : room, 'x');
            EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
        }
        EXPECT_EQ(path.size() + 1, length);
        return path;
    }

    std::string m_root, m_temp, m_item, m_savedTmp, m_short;
    bool m_bHadTmp = false;
};

TEST_F(BackupFileTest, MoveKeepsReadOnlyAttributeInTheBackup)
{
    ASSERT_TRUE(SetFileAttributesA(m_item.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    const std::string backup = CUninstallLog::BackupFile(m_item.c_str(), false);
    ASSERT_FALSE(backup.empty());
    EXPECT_EQ(backup.rfind(CUninstallLog::GetBackupFolder() + "qu", 0), 0u) << backup;
    EXPECT_EQ(backup.rfind(m_temp + "\\qu", 0), 0u) << backup;
    EXPECT_EQ(GetFileAttributesA(m_item.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadFileBytes(backup), "previous version");
    const DWORD attributes = GetFileAttributesA(backup.c_str());
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(TempFilesIn(CUninstallLog::GetBackupFolder()).size(), 1u);
}

TEST_F(BackupFileTest, CopyKeepsReadOnlyAttributeOnBothFiles)
{
    ASSERT_TRUE(SetFileAttributesA(m_item.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string backup = CUninstallLog::BackupFile(m_item.c_str(), true);
    ASSERT_FALSE(backup.empty());
    EXPECT_EQ(ReadFileBytes(backup), "previous version");
    EXPECT_EQ(ReadFileBytes(m_item), "previous version");
    EXPECT_TRUE(GetFileAttributesA(backup.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(GetFileAttributesA(m_item.c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(BackupFileTest, NullPathReservesAFreeNameOnly)
{
    const std::string first = CUninstallLog::BackupFile(nullptr, false);
    const std::string second = CUninstallLog::BackupFile(nullptr, true);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.rfind(m_temp + "\\qu", 0), 0u) << first;
    EXPECT_EQ(GetFileAttributesA(first.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(second.empty());
    EXPECT_TRUE(ListFiles(m_temp).empty());
}

TEST_F(BackupFileTest, MissingItemGivesNoBackupAndLeavesNoFile)
{
    EXPECT_TRUE(CUninstallLog::BackupFile((m_root + "\\absent.dat").c_str(), false).empty());
    EXPECT_TRUE(CUninstallLog::BackupFile((m_root + "\\absent.dat").c_str(), true).empty());
    EXPECT_TRUE(ListFiles(m_temp).empty());
}

// Backups go into a "quXXXX.tmp" folder of the run below the temporary folder, and "quXXXX.tmp" names must
// fit below that: a temporary folder of up to 235 characters will do.
TEST_F(BackupFileTest, TemporaryFolderOf236CharactersMakesBackupsFail)
{
    ASSERT_TRUE(SetFileAttributesA(m_item.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string fits = FolderOfLength(235);
    UseTempFolder(fits);
    const std::string backup = CUninstallLog::BackupFile(m_item.c_str(), true);
    ASSERT_FALSE(backup.empty());
    EXPECT_EQ(backup.rfind(fits + "\\qu", 0), 0u) << backup;

    const std::string tooLong = FolderOfLength(236);
    UseTempFolder(tooLong);
    EXPECT_TRUE(CUninstallLog::BackupFile(m_item.c_str(), false).empty());
    EXPECT_TRUE(CUninstallLog::BackupFile(m_item.c_str(), true).empty());
    EXPECT_TRUE(CUninstallLog::BackupFile(nullptr, false).empty());
    EXPECT_TRUE(ListFiles(tooLong).empty());
    // The item stays in place as it was, so the change can go ahead without a backup.
    EXPECT_EQ(ReadFileBytes(m_item), "previous version");
    EXPECT_TRUE(GetFileAttributesA(m_item.c_str()) & FILE_ATTRIBUTE_READONLY);
}

}  // namespace
