// Registry key backup and restore against the real registry under HKEY_CURRENT_USER\Software\QuTest.
// Wine's RegRestoreKeyA restores nothing, so the restore call itself is watched through the call table.
#include "RegistryBackup.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr const char* TEST_ROOT = "Software\\QuTest";

// What the watched calls saw.
struct CallLog {
    int nSaves = 0;
    int nRestores = 0;
    bool bPrivilegeEnabled = false;
    std::string strFile;
    std::string strMarker;  // value "Marker" of the key handed to the restore
    DWORD dwFlags = 0xFFFFFFFF;
    LONG lSaveResult = ERROR_SUCCESS;
};
CallLog g_calls;

LONG WINAPI WatchedSave(HKEY key, LPCSTR file, LPSECURITY_ATTRIBUTES security)
{
    ++g_calls.nSaves;
    g_calls.bPrivilegeEnabled = IsPrivilegeEnabled(SE_BACKUP_NAME);
    g_calls.strFile = file;
    if (g_calls.lSaveResult != ERROR_SUCCESS) {
        // A partly written file, as a failing save may leave.
        HANDLE h = CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr);
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        return g_calls.lSaveResult;
    }
    return RegSaveKeyA(key, file, security);
}

LONG WINAPI WatchedRestore(HKEY key, LPCSTR file, DWORD flags)
{
    ++g_calls.nRestores;
    g_calls.bPrivilegeEnabled = IsPrivilegeEnabled(SE_RESTORE_NAME);
    g_calls.strFile = file;
    g_calls.dwFlags = flags;
    g_calls.strMarker = FileExists(file) ? "" : "<file missing>";
    char value[64] = {};
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, "Marker", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS)
        g_calls.strMarker += value;
    return ERROR_SUCCESS;
}

class RegistryBackupTest : public ::testing::Test {
protected:
    RegistryBackupTest()
        : m_saved(detail::RegistrySaveCalls()),
          m_strParent(std::string(TEST_ROOT) + "\\Reg" + std::to_string(GetCurrentProcessId()) + "_" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name())
    {
        g_calls = CallLog();
        detail::RegistrySaveCalls() = {WatchedSave, WatchedRestore};
        m_strKey = m_strParent + "\\Product";
    }
    ~RegistryBackupTest() override
    {
        detail::RegistrySaveCalls() = m_saved;
        DelRegTree(HKEY_CURRENT_USER, m_strParent.c_str());
    }
    // The product key with two values and a nested subkey.
    void MakeProductKey()
    {
        SetString(HKEY_CURRENT_USER, m_strKey, "Marker", "old");
        SetString(HKEY_CURRENT_USER, m_strKey, "DisplayVersion", "5.1.0.4");
        SetString(HKEY_CURRENT_USER, m_strKey + "\\Settings\\Deep", "Colour", "teal");
    }
    HKEY OpenKey(const std::string& path)
    {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key));
        return key;
    }

    REGISTRY_SAVE_CALLS m_saved;
    std::string m_strParent;
    std::string m_strKey;
};

TEST_F(RegistryBackupTest, SaveWritesValuesAndSubkeysWithBackupPrivilege)
{
    MakeProductKey();
    HKEY key = OpenKey(m_strKey);
    std::string backup;
    EXPECT_TRUE(SaveRegistryKey(key, backup));
    RegCloseKey(key);

    EXPECT_EQ(1, g_calls.nSaves);
    EXPECT_TRUE(g_calls.bPrivilegeEnabled);
    EXPECT_FALSE(IsPrivilegeEnabled(SE_BACKUP_NAME));
    ASSERT_FALSE(backup.empty());
    EXPECT_EQ(backup, g_calls.strFile);
    const std::string name = backup.substr(backup.find_last_of('\\') + 1);
    EXPECT_EQ(0u, name.find("qu")) << name;
    const std::string content = ReadFileBytes(backup);
    for (const char* text : {"Marker", "old", "DisplayVersion", "5.1.0.4", "Settings", "Deep", "teal"})
        EXPECT_NE(std::string::npos, content.find(text)) << text;
    DeleteFileA(backup.c_str());
}

TEST_F(RegistryBackupTest, FailedSaveLeavesNoFileAndNoBackup)
{
    MakeProductKey();
    g_calls.lSaveResult = ERROR_ACCESS_DENIED;
    HKEY key = OpenKey(m_strKey);
    std::string backup = "stale";
    EXPECT_FALSE(SaveRegistryKey(key, backup));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    RegCloseKey(key);
    EXPECT_TRUE(backup.empty());
    ASSERT_FALSE(g_calls.strFile.empty());
    EXPECT_FALSE(FileExists(g_calls.strFile));
    EXPECT_FALSE(IsPrivilegeEnabled(SE_BACKUP_NAME));

    std::string none = "stale";
    EXPECT_FALSE(SaveRegistryKey(nullptr, none));
    EXPECT_TRUE(none.empty());
}

TEST_F(RegistryBackupTest, RestoreAsksForTheKeyAndFileWithRestorePrivilegeThenDeletesTheBackup)
{
    MakeProductKey();
    HKEY key = OpenKey(m_strKey);
    std::string backup;
    ASSERT_TRUE(SaveRegistryKey(key, backup));
    RegCloseKey(key);
    SetString(HKEY_CURRENT_USER, m_strKey, "Marker", "overwritten by the run");

    RestoreRegistryKey(HKEY_CURRENT_USER, m_strParent.c_str(), "Product", backup, true);
    EXPECT_EQ(1, g_calls.nRestores);
    EXPECT_TRUE(g_calls.bPrivilegeEnabled);
    EXPECT_EQ(backup, g_calls.strFile);
    EXPECT_EQ("overwritten by the run", g_calls.strMarker);  // the product key's own handle, file present
    EXPECT_EQ(0u, g_calls.dwFlags);
    EXPECT_FALSE(IsPrivilegeEnabled(SE_RESTORE_NAME));
    EXPECT_FALSE(FileExists(backup));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, m_strKey));
}

TEST_F(RegistryBackupTest, RestoreWithoutTheKeyOrParentStillDeletesTheBackup)
{
    SetString(HKEY_CURRENT_USER, m_strParent, "Other", "x");
    const std::string backup = FreshFolder("RegistryBackup") + "\\qu1.tmp";
    ASSERT_TRUE(WriteFileBytes(backup, "saved"));
    SetFileAttributesA(backup.c_str(), FILE_ATTRIBUTE_READONLY);
    RestoreRegistryKey(HKEY_CURRENT_USER, m_strParent.c_str(), "Product", backup, true);
    EXPECT_EQ(0, g_calls.nRestores);
    EXPECT_FALSE(FileExists(backup));

    ASSERT_TRUE(WriteFileBytes(backup, "saved"));
    RestoreRegistryKey(HKEY_CURRENT_USER, (m_strParent + "\\Missing").c_str(), "Product", backup, true);
    EXPECT_EQ(0, g_calls.nRestores);
    EXPECT_FALSE(FileExists(backup));
    EXPECT_FALSE(IsPrivilegeEnabled(SE_RESTORE_NAME));
}

TEST_F(RegistryBackupTest, KeyCreatedByTheRunIsDeletedWithEverySubkey)
{
    MakeProductKey();
    SetString(HKEY_CURRENT_USER, m_strParent + "\\Neighbour", "Keep", "yes");
    RestoreRegistryKey(HKEY_CURRENT_USER, m_strParent.c_str(), "Product", "", false);
    EXPECT_EQ(0, g_calls.nRestores);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_strKey));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, m_strParent + "\\Neighbour"));
    EXPECT_FALSE(IsPrivilegeEnabled(SE_RESTORE_NAME));
}

TEST_F(RegistryBackupTest, KeyThatExistedButWasNotSavedIsLeftInPlace)
{
    MakeProductKey();
    RestoreRegistryKey(HKEY_CURRENT_USER, m_strParent.c_str(), "Product", "", true);
    EXPECT_EQ(0, g_calls.nRestores);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, m_strKey + "\\Settings\\Deep"));
}

TEST_F(RegistryBackupTest, DelRegTreeReportsAMissingKeyAndDeletesWideTrees)
{
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, DelRegTree(HKEY_CURRENT_USER, (m_strParent + "\\Missing").c_str()));
    for (int i = 0; i < 12; ++i)
        SetString(HKEY_CURRENT_USER, m_strKey + "\\Child" + std::to_string(i) + "\\Grandchild", "v", std::to_string(i));
    EXPECT_EQ(ERROR_SUCCESS, DelRegTree(HKEY_CURRENT_USER, m_strKey.c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_strKey));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, m_strParent));
}

}  // namespace
