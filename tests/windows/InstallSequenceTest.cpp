// The install sequence in process, on archives built by the test: rollback of a failed extraction, the
// per-file decisions, the registration values, the log file and a registration run that fails. Everything
// lands in a scratch folder except the product's uninstall registration.
#include "InstallApp.h"
#include "InstallSequence.h"
#include "InstallTestSupport.h"
#include "TestSupport.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

std::string ReadStringValue(HKEY key, const char* name, DWORD* pType, DWORD* pSize)
{
    char data[1024] = {};
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name, nullptr, pType, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return "<missing>";
    *pSize = size;
    return data;
}

struct Line {
    int kind;
    int code;
    int done;
    std::string path;
};

std::vector<Line> ReadLog(const std::string& path, std::string* pPrevious = nullptr)
{
    CUninstallLog log;
    log.Load(path.c_str(), "Sarventa 5.23i");
    std::vector<Line> lines;
    for (const LOG_RECORD* r = log.GetOldFirst(); r; r = r->pNext)
        lines.push_back({r->nKind, r->nCode, r->bDone, r->strPath});
    if (pPrevious)
        *pPrevious = log.m_strPreviousProduct;
    return lines;
}

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string ProgramBytes(const char* path) { return ReadFileBytes(WinPath(path)); }

TEST_F(InstallSequence, FailedExtractionRollsBackEveryChangeAndASecondRunStartsAfresh)
{
    CreateDirectoryA(m_install.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(m_install + "\\keep.txt", "the user's old file"));
    const std::vector<TestFile> files = {
        {"<InstallPath>\\Plankora.exe", "program", true, 1},
        {"<InstallPath>\\keep.txt", "replacement"},
        {"<InstallPath>\\Sub\\Deep\\a.txt", "a"},
        {"<InstallPath>\\Uninstall.exe", "uninstaller", true, 2},
    };
    std::vector<TestFile> damaged = files;
    damaged[2].checksumDelta = 1;

    EXPECT_FALSE(Run(damaged));
    EXPECT_EQ(m_sequence.GetFailureKind(), 3);
    EXPECT_EQ(m_progress.status, "Installation failed (Error Code 3:00000000).");
    EXPECT_TRUE(EndsWith(m_progress.log, "Data Control...Failed\r\n")) << m_progress.log;
    EXPECT_EQ(ReadFileBytes(m_install + "\\keep.txt"), "the user's old file");
    EXPECT_EQ(ListFiles(m_install), std::vector<std::string>{"keep.txt"});
    EXPECT_FALSE(FileExists(m_install + "\\Sub"));
    EXPECT_EQ(m_app.m_uninstallLog.GetFirst(), nullptr);
    EXPECT_TRUE(m_app.m_strPayloadFile.empty());
    EXPECT_EQ(TempFilesIn(m_temp), m_tempBefore);
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH, 0, KEY_READ, &key), ERROR_SUCCESS);

    // Install pressed again: a new dashed line, every step again.
    m_progress.log.clear();
    EXPECT_TRUE(Run(files));
    EXPECT_EQ(m_progress.log.substr(0, 12), "----------\r\n");
    EXPECT_NE(m_progress.log.find(Copying("Sub\\Deep\\a.txt")), std::string::npos) << m_progress.log;
    EXPECT_EQ(ReadFileBytes(m_install + "\\keep.txt"), "replacement");
    const std::vector<Line> lines = ReadLog(m_install + "\\Uninstall.ulog");
    ASSERT_EQ(lines.size(), 8u);  // 3 files, 2 folders, a file, the key, the run
    EXPECT_EQ(lines[0].kind, LR_FILE);
    EXPECT_EQ(lines[0].path, m_install + "\\Plankora.exe");
}

TEST_F(InstallSequence, ASystemErrorShowsItsCodeAndAMissingPayloadChangesNothing)
{
    // A destination below an existing file cannot be created: the extractor's system error goes to the status.
    CreateDirectoryA(m_install.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(m_install + "\\blocker", "a file, not a folder"));
    EXPECT_FALSE(Run({{"<InstallPath>\\a.txt", "a"}, {"<InstallPath>\\blocker\\b.txt", "b"}}));
    EXPECT_EQ(m_sequence.GetFailureKind(), 1);
    EXPECT_EQ(m_progress.status.substr(0, 31), "Installation failed (Error Code") << m_progress.status;
    EXPECT_EQ(m_progress.status.substr(32, 3), "1:0") << m_progress.status;
    EXPECT_EQ(ListFiles(m_install), std::vector<std::string>{"blocker"});

    // A damaged archive fails before any file is touched.
    m_progress.log.clear();
    m_sequence.m_archive = "QU test payload bytes";
    EXPECT_FALSE(m_sequence.RunInstallSequence());
    EXPECT_EQ(m_progress.status, "Installation failed (Error Code 4:00000000).");
    EXPECT_EQ(m_progress.log, "----------\r\nPreparing Installation...Failed\r\n");
}

TEST_F(InstallSequence, FreshInstallationWritesRegistrationLinksAndLog)
{
    m_app.m_bStartMenuShortcut = true;
    const std::string program = ProgramBytes(QU_VERSIONED_PROGRAM);  // exits with 0: the run fails
    const std::string shared = m_root + "\\Common\\shared.dat";
    CreateDirectoryA((m_root + "\\Common").c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(shared, "the users' settings"));
    ASSERT_TRUE(Run({
        {"<InstallPath>\\Plankora.exe", program, true, 1},
        {"<InstallPath>\\ReadMe.txt", "read me"},
        {shared, "shipped settings", true, 3},
        {m_root + "\\Common\\new.dat", "new settings", true, 3},
        {"<InstallPath>\\Samples\\s.plk", "sample", true, 4},
        {"<InstallPath>\\Uninstall.exe", "uninstaller", false, 2},
    }));
    EXPECT_EQ(m_sequence.m_strProgramPath, m_install + "\\Plankora.exe");
    EXPECT_EQ(m_sequence.m_strUninstallerPath, m_install + "\\Uninstall.exe");
    EXPECT_TRUE(m_progress.shown);
    ASSERT_FALSE(m_progress.positions.empty());
    EXPECT_EQ(m_progress.positions.front(), 0);
    EXPECT_EQ(m_progress.positions.back(), 100);

    // The existing shared file is taken over, not overwritten, and announced by no line.
    EXPECT_EQ(ReadFileBytes(shared), "the users' settings");
    EXPECT_EQ(ReadFileBytes(m_root + "\\Common\\new.dat"), "new settings");
    EXPECT_EQ(m_progress.log,
              "----------\r\nPreparing Installation...OK\r\n" + Copying("Plankora.exe") + Copying("ReadMe.txt") +
                  "Copying File  " + m_root + "\\Common\\new.dat...OK\r\n" + Copying("Samples\\s.plk") +
                  Copying("Uninstall.exe") +
                  "Data Control...OK\r\nShortcuts Creation...OK\r\nRegistry Data Writing...Failed\r\n"
                  "Installation Data Writing...OK\r\n");
    EXPECT_EQ(m_progress.status, "Click on 'Next' to continue.");

    // The two programs are read-only.
    EXPECT_TRUE(GetFileAttributesA(m_sequence.m_strProgramPath.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(GetFileAttributesA(m_sequence.m_strUninstallerPath.c_str()) & FILE_ATTRIBUTE_READONLY);

    // Every registration value, in type and data, strings with their terminating zero.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH, 0, KEY_READ, &key), ERROR_SUCCESS);
    const struct {
        const char* name;
        std::string data;
    } strings[] = {
        {"DisplayName", "Sarventa 5.23i"},
        {"UninstallString", m_install + "\\Uninstall.exe"},
        {"DisplayIcon", m_install + "\\Plankora.exe,0"},
        {"DisplayVersion", "5.23.9.1"},
        {"Publisher", "Quillon & Partners"},
        {"URLInfoAbout", PUBLISHER_WEB_ADDRESS},
        {"HelpLink", PUBLISHER_WEB_ADDRESS},
        {"URLUpdateInfo", PUBLISHER_WEB_ADDRESS},
        {"HelpTelephone", PUBLISHER_TELEPHONE},
    };
    for (const auto& s : strings) {
        DWORD type = 0, size = 0;
        EXPECT_EQ(ReadStringValue(key, s.name, &type, &size), s.data) << s.name;
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << s.name;
        EXPECT_EQ(size, s.data.size() + 1) << s.name;
    }
    for (const auto& d : {std::make_pair("NoModify", 1u), std::make_pair("NoRepair", 1u), std::make_pair("QuLanguage", 1u)}) {
        DWORD type = 0, value = 0, size = sizeof value;
        EXPECT_EQ(RegQueryValueExA(key, d.first, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << d.first;
        EXPECT_EQ(value, d.second) << d.first;
    }
    RegCloseKey(key);

    // The links in the Start-menu folder, named after the product.
    EXPECT_EQ(ListFiles(m_menu), (std::vector<std::string>{"Sarventa 5.23i.lnk", "Uninstall Sarventa.lnk"}));

    // The log beside the uninstaller, in the order of the changes; the failed run is recorded as not done.
    const std::string logPath = m_install + "\\Uninstall.ulog";
    // Read-only and archive; Wine keeps no content-index flag, which Windows adds (0x2021).
    EXPECT_EQ(GetFileAttributesA(logPath.c_str()) & ~static_cast<DWORD>(FILE_ATTRIBUTE_NOT_CONTENT_INDEXED), 0x21u);
    std::string previous = "?";
    const std::vector<Line> lines = ReadLog(logPath, &previous);
    EXPECT_EQ(previous, "Sarventa 5.23i");
    const std::vector<Line> expected = {
        {LR_FOLDER, -1, 1, m_install},
        {LR_FILE, 1, 1, m_install + "\\Plankora.exe"},
        {LR_FILE, 0, 1, m_install + "\\ReadMe.txt"},
        {LR_FILE, 3, 1, shared},
        {LR_FILE, 3, 1, m_root + "\\Common\\new.dat"},
        {LR_FOLDER, -1, 1, m_install + "\\Samples"},
        {LR_FILE, 4, 1, m_install + "\\Samples\\s.plk"},
        {LR_FILE, 2, 1, m_install + "\\Uninstall.exe"},
        {LR_FOLDER, -1, 1, m_root + "\\Menu"},
        {LR_FOLDER, -1, 1, m_menu},
        {LR_MENU_PROGRAM_SHORTCUT, -1, 1, m_menu + "\\Sarventa 5.23i.lnk"},
        {LR_MENU_UNINSTALL_SHORTCUT, -1, 1, m_menu + "\\Uninstall Sarventa.lnk"},
        {LR_UNINSTALL_KEY, -1, 1, ""},
        {LR_SELF_REGISTRATION, -1, 0, ""},
    };
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].kind, expected[i].kind) << i;
        EXPECT_EQ(lines[i].code, expected[i].code) << i;
        EXPECT_EQ(lines[i].done, expected[i].done) << i;
        EXPECT_EQ(lines[i].path, expected[i].path) << i;
    }
}

TEST_F(InstallSequence, UpdateLeavesListedSharedDataAndSamplesAlone)
{
    const std::string shared = m_install + "\\shared.dat";
    const std::string sample = m_install + "\\Samples\\s.plk";
    CreateDirectoryA(m_install.c_str(), nullptr);
    CreateDirectoryA((m_install + "\\Samples").c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(shared, "kept settings"));
    ASSERT_TRUE(WriteFileBytes(sample, "the user's edited sample"));
    // The previous installation's log lists the shared file as written.
    const std::string previousLog = m_root + "\\previous.ulog";
    ASSERT_TRUE(WriteFileBytes(previousLog,
                               "// Uninstall Log File v1\r\n// x\r\n// Install Sarventa 5.22\r\n// Install Path : " +
                                   m_install + "\r\n// Shortcut Path : " + m_menu + "\r\n// ---\r\n0000:0103:1 -- " +
                                   shared + "\r\n"));
    m_app.m_uninstallLog.Load(previousLog.c_str(), m_app.GetProductName(false));
    m_app.m_nInstallStatus = INSTALL_STATUS_OLDER;

    ASSERT_TRUE(Run({
        {"<InstallPath>\\Plankora.exe", "program", true, 1},
        {shared, "shipped settings", true, 3},
        {sample, "shipped sample", true, 4},
        {"<InstallPath>\\Samples\\t.plk", "another sample", true, 4},
        {"<InstallPath>\\Uninstall.exe", "uninstaller", true, 2},
    }));
    EXPECT_EQ(ReadFileBytes(shared), "kept settings");
    EXPECT_EQ(ReadFileBytes(sample), "the user's edited sample");
    EXPECT_FALSE(FileExists(m_install + "\\Samples\\t.plk"));
    EXPECT_EQ(m_progress.log.find("shared.dat"), std::string::npos);
    EXPECT_EQ(m_progress.log.find(".plk"), std::string::npos);

    // The log merges: the old shared-file line first, then this run's records, "Update (...)" in the header.
    std::string previous;
    const std::vector<Line> lines = ReadLog(m_install + "\\Uninstall.ulog", &previous);
    EXPECT_EQ(previous, "Sarventa 5.23i");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].path, shared);
    EXPECT_EQ(lines[1].path, m_install + "\\Plankora.exe");
    EXPECT_EQ(lines[2].path, m_install + "\\Uninstall.exe");
    EXPECT_EQ(lines[3].kind, LR_UNINSTALL_KEY);
    EXPECT_EQ(lines[4].kind, LR_SELF_REGISTRATION);
    const std::string text = ReadFileBytes(m_install + "\\Uninstall.ulog");
    EXPECT_NE(text.find("// Install Sarventa 5.23i -- Update (Sarventa 5.22)\r\n"), std::string::npos) << text;
}

TEST_F(InstallSequence, WithoutAnUninstallerTheDataStepFailsAndNoBackupIsLeft)
{
    CreateDirectoryA(m_install.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(m_install + "\\ReadMe.txt", "old"));
    ASSERT_TRUE(Run({{"<InstallPath>\\ReadMe.txt", "new"}}));
    // Both shortcut options off: no shortcut line; no program: the registration run cannot start.
    EXPECT_TRUE(EndsWith(m_progress.log, "Data Control...OK\r\nRegistry Data Writing...Failed\r\n"
                                         "Installation Data Writing...Failed\r\n"))
        << m_progress.log;
    DWORD type = 0, size = 0;
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(ReadStringValue(key, "UninstallString", &type, &size), "");
    EXPECT_EQ(ReadStringValue(key, "DisplayIcon", &type, &size), ",0");
    RegCloseKey(key);
    EXPECT_EQ(ReadFileBytes(m_install + "\\ReadMe.txt"), "new");
    // The fixture's tear-down checks that the old ReadMe.txt's backup is gone from the temporary folder.
}

TEST_F(InstallSequence, RegistrationRunWithoutTheMutexSucceedsWithMinus10AndTheMutexIsOwnedAgain)
{
    ASSERT_TRUE(m_app.m_installerMutex.Wait(0));
    const std::string probe = ProgramBytes(QU_REGISTRATION_PROBE);
    ASSERT_TRUE(Run({
        {"<InstallPath>\\Plankora.exe", probe, true, 1},
        {"<InstallPath>\\Uninstall.exe", "uninstaller", true, 2},
    }));
    // The probe exits with -10 only with the right command line and folder and a free mutex.
    EXPECT_TRUE(EndsWith(m_progress.log, "Registry Data Writing...OK\r\nInstallation Data Writing...OK\r\n"))
        << m_progress.log;
    const std::vector<Line> lines = ReadLog(m_install + "\\Uninstall.ulog");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().kind, LR_SELF_REGISTRATION);
    EXPECT_EQ(lines.back().done, 1);

    // Owned again: the probe started now cannot take it.
    EXPECT_TRUE(m_app.m_installerMutex.m_bOwned);
    std::string command = "\"" + m_sequence.m_strProgramPath + "\" /Register /Background";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, m_install.c_str(), &si, &pi));
    WaitForSingleObject(pi.hProcess, 30000);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(code, 4u);
}

// Each combination of the two shortcut options: the links that exist afterwards and their records, kinds 2
// and 3 in the Start-menu folder (created and recorded first), kind 4 on the all-users desktop.
class InstallSequenceShortcuts : public InstallSequence, public ::testing::WithParamInterface<std::pair<bool, bool>> {
protected:
    void SetUp() override
    {
        InstallSequence::SetUp();
        char desktop[MAX_PATH] = {};
        ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_COMMON_DESKTOPDIRECTORY, FALSE));
        m_desktopLink = std::string(desktop) + "\\Sarventa 5.23i.lnk";
        DeleteFileA(m_desktopLink.c_str());
    }
    void TearDown() override
    {
        DeleteFileA(m_desktopLink.c_str());
        InstallSequence::TearDown();
    }
    std::string m_desktopLink;
};

TEST_P(InstallSequenceShortcuts, MakesTheLinksOfTheChosenOptionsAndRecordsThem)
{
    m_app.m_bStartMenuShortcut = GetParam().first;
    m_app.m_bDesktopShortcut = GetParam().second;
    ASSERT_TRUE(Run({
        {"<InstallPath>\\Plankora.exe", "program", true, 1},
        {"<InstallPath>\\Uninstall.exe", "uninstaller", true, 2},
    }));
    const bool anyLink = m_app.m_bStartMenuShortcut || m_app.m_bDesktopShortcut;
    EXPECT_EQ(m_progress.log.find("Shortcuts Creation...OK\r\n") != std::string::npos, anyLink) << m_progress.log;

    std::vector<Line> expected = {
        {LR_FOLDER, -1, 1, m_install},
        {LR_FILE, 1, 1, m_install + "\\Plankora.exe"},
        {LR_FILE, 2, 1, m_install + "\\Uninstall.exe"},
    };
    if (m_app.m_bStartMenuShortcut) {
        expected.push_back({LR_FOLDER, -1, 1, m_root + "\\Menu"});
        expected.push_back({LR_FOLDER, -1, 1, m_menu});
        expected.push_back({LR_MENU_PROGRAM_SHORTCUT, -1, 1, m_menu + "\\Sarventa 5.23i.lnk"});
        expected.push_back({LR_MENU_UNINSTALL_SHORTCUT, -1, 1, m_menu + "\\Uninstall Sarventa.lnk"});
        EXPECT_EQ(ListFiles(m_menu), (std::vector<std::string>{"Sarventa 5.23i.lnk", "Uninstall Sarventa.lnk"}));
    } else {
        EXPECT_FALSE(PathFileExistsA(m_menu.c_str()));
    }
    if (m_app.m_bDesktopShortcut)
        expected.push_back({LR_DESKTOP_SHORTCUT, -1, 1, m_desktopLink});
    EXPECT_EQ(PathFileExistsA(m_desktopLink.c_str()) != FALSE, m_app.m_bDesktopShortcut);
    expected.push_back({LR_UNINSTALL_KEY, -1, 1, ""});
    // "program" is no program: the registration run cannot start.
    expected.push_back({LR_SELF_REGISTRATION, -1, 0, ""});

    const std::vector<Line> lines = ReadLog(m_install + "\\Uninstall.ulog");
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].kind, expected[i].kind) << i;
        EXPECT_EQ(lines[i].done, expected[i].done) << i;
        EXPECT_EQ(lines[i].path, expected[i].path) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Options, InstallSequenceShortcuts,
                         ::testing::Values(std::make_pair(false, false), std::make_pair(true, false),
                                           std::make_pair(false, true), std::make_pair(true, true)));

}  // namespace
