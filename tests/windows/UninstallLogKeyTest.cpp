// The uninstall log against the product's real places: its uninstall registration under HKEY_LOCAL_MACHINE,
// its installation and Start-menu folders. Whatever stood there before a test is put back after it.
// Wine's RegRestoreKeyA restores nothing, so the restore call itself is watched through the call table.
#include "UninstallLog.h"

#include "RegistryBackup.h"
#include "Shortcut.h"
#include "TestSupport.h"
#include "UninstallLogTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

const std::string KEY_PATH = std::string(UNINSTALL_PARENT_KEY) + "\\" + UNINSTALL_KEY_NAME;

// Moves whatever stands at path aside for the test and puts it back after, removing what the test left.
class Aside {
public:
    explicit Aside(std::string path) : m_path(std::move(path))
    {
        if (FileExists(m_path)) {
            m_moved = m_path + ".aside" + std::to_string(GetCurrentProcessId());
            EXPECT_TRUE(MoveFileA(m_path.c_str(), m_moved.c_str())) << m_path;
        }
    }
    ~Aside()
    {
        const DWORD attributes = GetFileAttributesA(m_path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            RemoveTree(m_path);
        } else if (attributes != INVALID_FILE_ATTRIBUTES) {
            SetFileAttributesA(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(m_path.c_str());
        }
        if (!m_moved.empty())
            MoveFileA(m_moved.c_str(), m_path.c_str());
    }
    Aside(const Aside&) = delete;
    Aside& operator=(const Aside&) = delete;

private:
    std::string m_path;
    std::string m_moved;
};

// What the watched calls saw.
struct CallLog {
    int nSaves = 0;
    int nRestores = 0;
    bool bSavePrivilege = false;
    bool bRestorePrivilege = false;
    std::string strSaveFile;
    std::string strRestoreFile;
    std::string strSavedContent;     // the file as the real save left it
    std::string strRestoreMarker;    // value "Marker" of the key handed to the restore
    bool bRestoreFileExists = false;
    DWORD dwFlags = 0xFFFFFFFF;
    LONG lSaveResult = ERROR_SUCCESS;
};
CallLog g_calls;

LONG WINAPI WatchedSave(HKEY key, LPCSTR file, LPSECURITY_ATTRIBUTES security)
{
    ++g_calls.nSaves;
    g_calls.bSavePrivilege = IsPrivilegeEnabled(SE_BACKUP_NAME);
    g_calls.strSaveFile = file;
    if (g_calls.lSaveResult != ERROR_SUCCESS)
        return g_calls.lSaveResult;
    const LONG result = RegSaveKeyA(key, file, security);
    g_calls.strSavedContent = ReadFileBytes(file);
    return result;
}

LONG WINAPI WatchedRestore(HKEY key, LPCSTR file, DWORD flags)
{
    ++g_calls.nRestores;
    g_calls.bRestorePrivilege = IsPrivilegeEnabled(SE_RESTORE_NAME);
    g_calls.strRestoreFile = file;
    g_calls.dwFlags = flags;
    g_calls.bRestoreFileExists = FileExists(file);
    char value[64] = {};
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, "Marker", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS)
        g_calls.strRestoreMarker = value;
    return ERROR_SUCCESS;
}

// The product's registration key is saved before each test and put back after it.
class UninstallLogKey : public ::testing::Test {
protected:
    UninstallLogKey()
        : m_saved(detail::RegistrySaveCalls()),
          m_temp(::testing::UnitTest::GetInstance()->current_test_info()->name())
    {
        g_calls = CallLog();
        detail::RegistrySaveCalls() = {WatchedSave, WatchedRestore};
        m_bHadKey = KeySnapshot::Take(HKEY_LOCAL_MACHINE, KEY_PATH, m_before);
        DelRegTree(HKEY_LOCAL_MACHINE, KEY_PATH.c_str());
    }
    ~UninstallLogKey() override
    {
        EXPECT_EQ(m_temp.Backups(), std::vector<std::string>());
        detail::RegistrySaveCalls() = m_saved;
        DelRegTree(HKEY_LOCAL_MACHINE, KEY_PATH.c_str());
        if (m_bHadKey)
            m_before.Put(HKEY_LOCAL_MACHINE, KEY_PATH);
    }
    // The registration of an earlier installation: values and a nested subkey.
    void MakeEarlierKey()
    {
        SetString(HKEY_LOCAL_MACHINE, KEY_PATH, "Marker", "earlier");
        SetString(HKEY_LOCAL_MACHINE, KEY_PATH, "DisplayVersion", "5.22.0.3");
        SetString(HKEY_LOCAL_MACHINE, KEY_PATH + "\\Settings\\Deep", "Colour", "teal");
    }
    HKEY OpenProductKey()
    {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, KEY_PATH.c_str(), 0, KEY_ALL_ACCESS, &key));
        return key;
    }

    REGISTRY_SAVE_CALLS m_saved;
    KeySnapshot m_before;
    bool m_bHadKey = false;
    PrivateTempFolder m_temp;
};

TEST_F(UninstallLogKey, ExistingKeyIsSavedWithBackupPrivilegeAndRestoredWithRestorePrivilege)
{
    MakeEarlierKey();
    CUninstallLog log;
    HKEY key = OpenProductKey();
    log.AddUninstallKey(key);
    RegCloseKey(key);
    ASSERT_NE(log.GetLast(), nullptr);
    const LOG_RECORD record = *log.GetLast();
    EXPECT_EQ(record.nKind, LR_UNINSTALL_KEY);
    EXPECT_EQ(record.bDone, 0);
    EXPECT_TRUE(record.bExisted);
    EXPECT_EQ(record.strPath, "");

    // The backup: a "qu" file of the temporary folder holding the values and subkeys (Wine writes text).
    EXPECT_EQ(g_calls.nSaves, 1);
    EXPECT_TRUE(g_calls.bSavePrivilege);
    EXPECT_FALSE(IsPrivilegeEnabled(SE_BACKUP_NAME));
    ASSERT_FALSE(record.strBackup.empty());
    EXPECT_EQ(record.strBackup, g_calls.strSaveFile);
    EXPECT_EQ(record.strBackup.rfind(m_temp.Path() + "\\qu", 0), 0u) << record.strBackup;
    EXPECT_TRUE(FileExists(record.strBackup));
    for (const char* text : {"Marker", "earlier", "DisplayVersion", "5.22.0.3", "Settings", "Deep", "teal"})
        EXPECT_NE(g_calls.strSavedContent.find(text), std::string::npos) << text;

    SetString(HKEY_LOCAL_MACHINE, KEY_PATH, "Marker", "this run");
    log.SetStatus(true, nullptr);
    log.Rollback();
    EXPECT_EQ(log.GetFirst(), nullptr);
    EXPECT_EQ(g_calls.nRestores, 1);
    EXPECT_TRUE(g_calls.bRestorePrivilege);
    EXPECT_FALSE(IsPrivilegeEnabled(SE_RESTORE_NAME));
    EXPECT_EQ(g_calls.strRestoreFile, record.strBackup);
    EXPECT_TRUE(g_calls.bRestoreFileExists);
    EXPECT_EQ(g_calls.strRestoreMarker, "this run");  // the product key itself
    EXPECT_EQ(g_calls.dwFlags, 0u);
    EXPECT_FALSE(FileExists(record.strBackup));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, KEY_PATH + "\\Settings\\Deep"));
}

TEST_F(UninstallLogKey, KeyCreatedByTheRunIsDeletedWithEverySubkey)
{
    CUninstallLog log;
    log.AddUninstallKey(nullptr);
    EXPECT_EQ(g_calls.nSaves, 0);
    ASSERT_NE(log.GetLast(), nullptr);
    EXPECT_FALSE(log.GetLast()->bExisted);
    EXPECT_EQ(log.GetLast()->strBackup, "");
    SetString(HKEY_LOCAL_MACHINE, KEY_PATH, "DisplayName", "Sarventa 5.23i");
    SetString(HKEY_LOCAL_MACHINE, KEY_PATH + "\\Child\\Grandchild", "v", "1");
    log.SetStatus(true, nullptr);
    log.Rollback();
    EXPECT_EQ(g_calls.nRestores, 0);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, KEY_PATH));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UNINSTALL_PARENT_KEY));
    EXPECT_FALSE(IsPrivilegeEnabled(SE_RESTORE_NAME));
}

TEST_F(UninstallLogKey, KeyThatExistedButCouldNotBeSavedIsLeftInPlace)
{
    MakeEarlierKey();
    g_calls.lSaveResult = ERROR_ACCESS_DENIED;
    CUninstallLog log;
    HKEY key = OpenProductKey();
    log.AddUninstallKey(key);
    RegCloseKey(key);
    ASSERT_NE(log.GetLast(), nullptr);
    EXPECT_EQ(g_calls.nSaves, 1);
    EXPECT_TRUE(log.GetLast()->bExisted);
    EXPECT_EQ(log.GetLast()->strBackup, "");
    EXPECT_FALSE(FileExists(g_calls.strSaveFile));
    log.SetStatus(false, nullptr);
    log.Rollback();
    EXPECT_EQ(g_calls.nRestores, 0);
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, KEY_PATH, "Marker"), "earlier");
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, KEY_PATH + "\\Settings\\Deep", "Colour"), "teal");
}

TEST_F(UninstallLogKey, SaveDiscardsTheKeyBackupAndWritesTheFixedText)
{
    MakeEarlierKey();
    const std::string folder = FreshFolder("ulog-key-save");
    CUninstallLog log;
    log.Load(nullptr, "Sarventa 5.23i");
    HKEY key = OpenProductKey();
    log.AddUninstallKey(key);
    RegCloseKey(key);
    const std::string backup = log.GetLast()->strBackup;
    ASSERT_TRUE(FileExists(backup));
    log.SetStatus(true, nullptr);
    EXPECT_TRUE(log.Save((folder + "\\Uninstall.ulog").c_str(), folder, folder));
    EXPECT_FALSE(FileExists(backup));
    EXPECT_EQ(log.GetLast()->strBackup, "");
    EXPECT_EQ(log.GetLast()->strPath, ULOG_UNINSTALL_KEY_TEXT);
    const std::string text = ReadFileBytes(folder + "\\Uninstall.ulog");
    EXPECT_NE(text.find(std::string("\r\n0000:05FF:1 -- ") + ULOG_UNINSTALL_KEY_TEXT + "\r\n"), std::string::npos)
        << text;
    EXPECT_EQ(g_calls.nRestores, 0);
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, KEY_PATH, "Marker"), "earlier");
    SetFileAttributesA((folder + "\\Uninstall.ulog").c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveTree(folder);
}

TEST_F(UninstallLogKey, FirstInstallationInTheProductsFoldersWritesTheExampleLogAndRollsBack)
{
    const std::string programFiles = "C:\\Program Files\\Quillon & Partners";
    const std::string install = programFiles + "\\Sarventa 5";
    const std::string programs = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
    const std::string menu = programs + "\\Quillon & Partners\\Sarventa 5";
    const std::string desktop = "C:\\Users\\Public\\Desktop";
    for (const std::string& folder : {std::string("C:\\Program Files"), programs, desktop})
        ASSERT_TRUE(GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY) << folder;
    Aside asideInstall(programFiles);
    Aside asideMenu(programs + "\\Quillon & Partners");
    Aside asideDesktop(desktop + "\\Sarventa 5.23i.lnk");

    CUninstallLog log;
    log.Load(nullptr, "Sarventa 5.23i");
    const std::pair<const char*, int> files[] = {
        {"Sarventa.exe", 1}, {"Core.dll", 0}, {"Uninstall.exe", 2}, {"Shared.dat", 3}, {"Sample.txt", 4}};
    for (const auto& file : files) {
        const std::string path = install + "\\" + file.first;
        log.AddFile(path.c_str(), file.second, file.second == 3);
        log.SetStatus(WriteFileBytes(path, file.first), nullptr);
    }
    const std::string program = install + "\\Sarventa.exe";
    const struct {
        int selector;
        std::string folder, target, name;
    } links[] = {{0, menu, program, "Sarventa 5.23i"},
                 {1, menu, install + "\\Uninstall.exe", "Uninstall Sarventa"},
                 {2, desktop, program, "Sarventa 5.23i"}};
    for (const auto& link : links) {
        log.AddShortcut(link.selector, link.folder.c_str());
        std::string path;
        const bool made = CreateShortcut(link.target.c_str(), link.folder.c_str(), link.name.c_str(), &path);
        EXPECT_TRUE(made) << link.name;
        log.SetStatus(made, made ? path.c_str() : nullptr);
    }
    log.AddUninstallKey(nullptr);
    log.SetStatus(true, nullptr);
    log.AddSelfRegistration();
    log.SetStatus(true, nullptr);
    const std::string logPath = install + "\\Uninstall.ulog";
    ASSERT_TRUE(log.Save(logPath.c_str(), install, menu));

    const std::string shortcutLine = "Shortcut Path : " + menu;
    ASSERT_EQ(shortcutLine.size(), 98u);
    const std::string expected =
        "// Uninstall Log File v1\r\n"
        "// ############ WARNING: Do not delete or modify this file. ############\r\n"
        "// Install Sarventa 5.23i\r\n"
        "// Install Path : C:\\Program Files\\Quillon & Partners\\Sarventa 5\r\n"
        "// Shortcut Path : C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Quillon & Partners\\Sarventa 5\r\n"
        "// " + std::string(98, '-') + "\r\n"
        "0000:00FF:1 -- C:\\Program Files\\Quillon & Partners\r\n"
        "0001:00FF:1 -- C:\\Program Files\\Quillon & Partners\\Sarventa 5\r\n"
        "0002:0101:1 -- C:\\Program Files\\Quillon & Partners\\Sarventa 5\\Sarventa.exe\r\n"
        "0003:0100:1 -- C:\\Program Files\\Quillon & Partners\\Sarventa 5\\Core.dll\r\n"
        "0004:0102:1 -- C:\\Program Files\\Quillon & Partners\\Sarventa 5\\Uninstall.exe\r\n"
        "0005:0103:1 -- C:\\Program Files\\Quillon & Partners\\Sarventa 5\\Shared.dat\r\n"
        "0006:0104:1 -- C:\\Program Files\\Quillon & Partners\\Sarventa 5\\Sample.txt\r\n"
        "0007:00FF:1 -- C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Quillon & Partners\r\n"
        "0008:00FF:1 -- C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Quillon & Partners\\Sarventa 5\r\n"
        "0009:02FF:1 -- C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Quillon & Partners\\Sarventa 5\\Sarventa 5.23i.lnk\r\n"
        "0010:03FF:1 -- C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Quillon & Partners\\Sarventa 5\\Uninstall Sarventa.lnk\r\n"
        "0011:04FF:1 -- C:\\Users\\Public\\Desktop\\Sarventa 5.23i.lnk\r\n"
        "0012:05FF:1 -- HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Plankora 5\r\n"
        "0013:06FF:1 -- HKEY_CLASSES_ROOT\\...\r\n";
    EXPECT_EQ(ReadFileBytes(logPath), expected);
    // Wine keeps read-only and archive (0x21) but drops not-content-indexed (0x2000).
    EXPECT_EQ(GetFileAttributesA(logPath.c_str()) & 0x21u, 0x21u);

    // Undoing the same records removes every file, link and folder of the run (the log keeps its folders).
    log.Rollback();
    EXPECT_EQ(log.GetFirst(), nullptr);
    for (const auto& file : files)
        EXPECT_FALSE(FileExists(install + "\\" + file.first)) << file.first;
    EXPECT_FALSE(FileExists(programs + "\\Quillon & Partners"));
    EXPECT_FALSE(FileExists(desktop + "\\Sarventa 5.23i.lnk"));
    EXPECT_TRUE(FileExists(logPath));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, KEY_PATH));
}

}  // namespace
