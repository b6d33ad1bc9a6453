// setup.exe driven through its wizard's quick path by control ids from this process: installs the product
// into the prefix's standard folders with the start-up choices, writes the registration, the links and
// "Uninstall.ulog", and on a second run updates over the first. Every test starts from a machine without the
// product and removes it again.
#include "QuickInstall.h"
#include "TestSupport.h"
#include "UninstallLog.h"
#include "WindowDriver.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

std::string ShellFolder(int csidl)
{
    char buffer[MAX_PATH + 1] = {};
    SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE);
    return buffer;
}

struct LinkInfo {
    std::string target;
    std::string workingFolder;
};

// Target and working folder of a .lnk file, read back through the shell's link object.
bool ReadLink(const std::string& path, LinkInfo& info)
{
    if (FAILED(CoInitialize(nullptr)))
        return false;
    bool ok = false;
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            wchar_t wide[MAX_PATH];
            MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
            char target[MAX_PATH] = {}, folder[MAX_PATH] = {};
            ok = SUCCEEDED(file->Load(wide, STGM_READ)) &&
                 SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, 0)) &&
                 SUCCEEDED(link->GetWorkingDirectory(folder, MAX_PATH));
            info.target = target;
            info.workingFolder = folder;
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return ok;
}

struct Record {
    int kind;
    int code;
    int done;
    std::string path;
};

std::vector<Record> ReadLogRecords(const std::string& path, std::string* pPrevious)
{
    CUninstallLog log;
    log.Load(path.c_str(), "Sarventa 5.23i");
    std::vector<Record> records;
    for (const LOG_RECORD* r = log.GetOldFirst(); r; r = r->pNext)
        records.push_back({r->nKind, r->nCode, r->bDone, r->strPath});
    *pPrevious = log.m_strPreviousProduct;
    return records;
}

// Subkey names of a key.
std::set<std::string> SubKeys(HKEY root, const char* path)
{
    std::set<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.insert(name);
    }
    RegCloseKey(key);
    return names;
}

// Runs a program and waits until it and every process it started have ended (a job object); its exit code.
DWORD RunInJob(const std::string& exe, const std::string& args)
{
    const KernelHandle job(CreateKillOnCloseJob());
    if (!job)
        return 1000;
    std::string command = "\"" + exe + "\"" + args;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    DWORD code = 1001;
    if (CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si,
                       &pi)) {
        if (AssignProcessToJobObject(job.Get(), pi.hProcess)) {
            ResumeThread(pi.hThread);
            if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) {
                for (int i = 0; i < 600; ++i) {
                    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
                    if (!QueryInformationJobObject(job.Get(), JobObjectBasicAccountingInformation, &info, sizeof info,
                                                   nullptr) ||
                        info.ActiveProcesses == 0)
                        break;
                    Sleep(100);
                }
                GetExitCodeProcess(pi.hProcess, &code);
            }
        }
        TerminateJobObject(job.Get(), 99);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    return code;
}

class SetupRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_publisher = ShellFolder(CSIDL_PROGRAM_FILES) + "\\Quillon & Partners";
        m_install = m_publisher + "\\Sarventa 5";
        m_shared = ShellFolder(CSIDL_COMMON_APPDATA) + "\\Quillon & Partners";
        m_samples = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Sarventa Examples";
        m_menuPublisher = ShellFolder(CSIDL_COMMON_PROGRAMS) + "\\Quillon & Partners";
        m_menu = m_menuPublisher + "\\Sarventa 5";
        m_desktopLink = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Sarventa 5.23i.lnk";
        Clean();
        GetTempPathA(MAX_PATH, m_temp);
        m_tempBefore = TempFilesIn(m_temp);
    }
    void TearDown() override
    {
        Clean();
        EXPECT_EQ(TempFilesIn(m_temp), m_tempBefore);
    }
    void Clean()
    {
        RemoveTree(m_publisher);
        RemoveTree(m_shared);
        RemoveTree(m_samples);
        RemoveTree(m_menuPublisher);
        SetFileAttributesA(m_desktopLink.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(m_desktopLink.c_str());
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Plankora 5");
        SHDeleteKeyA(HKEY_CLASSES_ROOT, ".plk");
        SHDeleteKeyA(HKEY_CLASSES_ROOT, "Plankora.Document");
    }

    // Runs setup.exe through the wizard's quick path; returns its exit code, the log box text in m_log.
    DWORD RunSetup()
    {
        const QuickInstallResult run = RunQuickInstallation(WinPath(QU_SETUP_EXE));
        EXPECT_TRUE(run.bShown);
        EXPECT_TRUE(run.bCompleted) << run.log;
        m_log = run.log;
        return run.exitCode;
    }

    std::string m_publisher, m_install, m_shared, m_samples, m_menuPublisher, m_menu, m_desktopLink, m_log;
    char m_temp[MAX_PATH] = {};
    std::vector<std::string> m_tempBefore;
};

TEST_F(SetupRun, InstallsTheProductWithRegistrationLinksAndLog)
{
    ASSERT_EQ(RunSetup(), 0u);
    const std::string program = m_install + "\\Plankora.exe";
    const std::string uninstaller = m_install + "\\Uninstall.exe";
    EXPECT_TRUE(FileExists(m_install + "\\Docs\\Help.txt"));
    EXPECT_TRUE(FileExists(m_shared + "\\Sarventa 5\\shared.dat"));
    EXPECT_TRUE(FileExists(m_samples + "\\Sample1.plk"));
    EXPECT_TRUE(GetFileAttributesA(program.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(GetFileAttributesA(uninstaller.c_str()) & FILE_ATTRIBUTE_READONLY);

    // Every step of the log box ends in OK.
    const std::string text = m_log;
    for (const char* step : {"Preparing Installation...OK\r\n", "Data Control...OK\r\n",
                             "Shortcuts Creation...OK\r\n", "Registry Data Writing...OK\r\n",
                             "Installation Data Writing...OK\r\n"})
        EXPECT_NE(text.find(step), std::string::npos) << step << "\n" << text;
    EXPECT_EQ(text.find("Failed"), std::string::npos) << text;
    EXPECT_NE(text.find("Copying File  \"" + program + "\"...OK\r\n"), std::string::npos) << text;

    // The registration, and the registration run's document type.
    char value[MAX_PATH] = {};
    DWORD size = sizeof value;
    const char* key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Plankora 5";
    ASSERT_EQ(SHGetValueA(HKEY_LOCAL_MACHINE, key, "UninstallString", nullptr, value, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(value), uninstaller);
    size = sizeof value;
    ASSERT_EQ(SHGetValueA(HKEY_LOCAL_MACHINE, key, "DisplayIcon", nullptr, value, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(value), program + ",0");
    DWORD language = 99, type = 0;
    size = sizeof language;
    ASSERT_EQ(SHGetValueA(HKEY_LOCAL_MACHINE, key, "QuLanguage", &type, &language, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(language, 1u);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ".plk"));

    // The three links: target and working folder.
    const struct {
        std::string link, target;
    } links[] = {
        {m_menu + "\\Sarventa 5.23i.lnk", program},
        {m_menu + "\\Uninstall Sarventa.lnk", uninstaller},
        {m_desktopLink, program},
    };
    for (const auto& l : links) {
        LinkInfo info;
        ASSERT_TRUE(ReadLink(l.link, info)) << l.link;
        EXPECT_EQ(info.target, l.target);
        EXPECT_EQ(info.workingFolder, m_install);
    }

    // The log beside the uninstaller, read back: folders and files in payload order, then the Start-menu
    // folders, the three links, the key and the registration run, all done.
    const std::string logPath = m_install + "\\Uninstall.ulog";
    // Read-only and archive; Wine keeps no content-index flag, which Windows adds (0x2021).
    const DWORD attributes = GetFileAttributesA(logPath.c_str());
    EXPECT_EQ(attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_NOT_CONTENT_INDEXED), 0x21u);
    const std::string logText = ReadFileBytes(logPath);
    const std::string head = "// Uninstall Log File v1\r\n"
                             "// ############ WARNING: Do not delete or modify this file. ############\r\n";
    EXPECT_EQ(logText.substr(0, head.size()), head);
    EXPECT_NE(logText.find("\r\n// Install Sarventa 5.23i\r\n// Install Path : " + m_install + "\r\n"),
              std::string::npos)
        << logText;
    std::string previous;
    const std::vector<Record> records = ReadLogRecords(logPath, &previous);
    EXPECT_EQ(previous, "Sarventa 5.23i");
    ASSERT_GE(records.size(), 10u);
    for (const Record& r : records)
        EXPECT_EQ(r.done, 1) << r.path;
    const std::vector<Record> tail(records.end() - 9, records.end());
    const std::vector<std::pair<int, std::string>> expectedTail = {
        {LR_FOLDER, m_menuPublisher},
        {LR_FOLDER, m_menu},
        {LR_MENU_PROGRAM_SHORTCUT, m_menu + "\\Sarventa 5.23i.lnk"},
        {LR_MENU_UNINSTALL_SHORTCUT, m_menu + "\\Uninstall Sarventa.lnk"},
        {LR_DESKTOP_SHORTCUT, m_desktopLink},
        {LR_UNINSTALL_KEY, ""},
        {LR_SELF_REGISTRATION, ""},
    };
    for (size_t i = 0; i < expectedTail.size(); ++i) {
        EXPECT_EQ(tail[i + 2].kind, expectedTail[i].first) << i;
        EXPECT_EQ(tail[i + 2].path, expectedTail[i].second) << i;
    }
    // The files carry their entry kinds; each file's new folders come right before it.
    EXPECT_EQ(records[0].path, m_publisher);
    EXPECT_EQ(records[1].path, m_install);
    EXPECT_EQ(records[2].kind, LR_FILE);
    EXPECT_EQ(records[2].code, 1);
    EXPECT_EQ(records[2].path, program);
    std::set<int> codes;
    for (const Record& r : records)
        if (r.kind == LR_FILE)
            codes.insert(r.code);
    EXPECT_EQ(codes, (std::set<int>{0, 1, 2, 3, 4}));
    EXPECT_NE(logText.find(":0102:1 -- " + uninstaller + "\r\n"), std::string::npos);
    EXPECT_NE(logText.find(":0103:1 -- " + m_shared + "\\Sarventa 5\\shared.dat\r\n"), std::string::npos);
    EXPECT_NE(logText.find(":04FF:1 -- " + m_desktopLink + "\r\n"), std::string::npos);
}

// Chosen in the list as a user does: Dutch has no texts of its own, so a message says so, the wizard stays
// English, and Dutch is recorded as the product's language.
TEST_F(SetupRun, ALanguageWithoutTextsIsAnnouncedKeepsEnglishAndIsRecorded)
{
    WizardWalk walk;
    walk.languageItem = 6;  // Dutch, seventh in the list
    std::vector<std::string> nextTexts;
    const QuickInstallResult run = RunQuickInstallation(
        WinPath(QU_SETUP_EXE), [&](HWND frame, const char*) { nextTexts.push_back(GetItemText(frame, IDOK)); },
        walk);
    ASSERT_TRUE(run.bCompleted) << run.log;
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_NE(run.languageMessage.find("Sarventa"), std::string::npos) << run.languageMessage;
    EXPECT_EQ(nextTexts, (std::vector<std::string>{"Next  >", "Next  >", "Install", "Next  >", "Next  >"}));
    EXPECT_EQ(run.log.find("Failed"), std::string::npos) << run.log;
    DWORD language = 99, size = sizeof language;
    ASSERT_EQ(SHGetValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Plankora 5",
                          "QuLanguage", nullptr, &language, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(language, 5u);
}

TEST_F(SetupRun, ASecondRunUpdatesOverTheFirstAndMergesTheLog)
{
    ASSERT_EQ(RunSetup(), 0u);
    const std::string logPath = m_install + "\\Uninstall.ulog";
    std::string previous;
    const std::vector<Record> first = ReadLogRecords(logPath, &previous);
    ASSERT_FALSE(first.empty());
    const std::string shared = m_shared + "\\Sarventa 5\\shared.dat";
    ASSERT_TRUE(WriteFileBytes(shared, "settings changed by the user"));

    ASSERT_EQ(RunSetup(), 0u);
    EXPECT_EQ(m_log.find("Failed"), std::string::npos) << m_log;
    EXPECT_EQ(ReadFileBytes(shared), "settings changed by the user");
    const std::string logText = ReadFileBytes(logPath);
    EXPECT_NE(logText.find("// Install Sarventa 5.23i -- Update (Sarventa 5.23i)\r\n"), std::string::npos) << logText;
    const std::vector<Record> second = ReadLogRecords(logPath, &previous);
    // One line per item: no path of a file, folder or link twice, one line of each other kind.
    std::set<std::pair<int, std::string>> seen;
    for (const Record& r : second)
        EXPECT_TRUE(seen.insert({r.kind, r.path}).second) << r.kind << " " << r.path;
    EXPECT_EQ(second.size(), first.size());
    // The previous links were replaced in place; nothing else is in the Start-menu folder.
    EXPECT_EQ(ListFiles(m_menu), (std::vector<std::string>{"Sarventa 5.23i.lnk", "Uninstall Sarventa.lnk"}));
    EXPECT_TRUE(FileExists(m_desktopLink));
    // The fixture's tear-down checks that no backup is left in the temporary folder.
}

TEST_F(SetupRun, TheInstalledUninstallerTakesEverythingBackButTheSharedData)
{
    // The machine before: the folders the installation touches and the keys it writes.
    const std::vector<std::string> roots = {
        ShellFolder(CSIDL_PROGRAM_FILES), ShellFolder(CSIDL_COMMON_APPDATA),
        ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY), ShellFolder(CSIDL_COMMON_PROGRAMS)};
    auto snapshot = [&roots]() {
        std::set<std::string> items;
        for (const std::string& root : roots)
            ForEachInTree(root, [&](const std::string& path, const WIN32_FIND_DATAA&) { items.insert(path); });
        return items;
    };
    const char* uninstallRoot = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    const std::set<std::string> itemsBefore = snapshot();
    const std::set<std::string> keysBefore = SubKeys(HKEY_LOCAL_MACHINE, uninstallRoot);
    const std::set<std::string> classesBefore = SubKeys(HKEY_CLASSES_ROOT, "");
    const std::vector<std::string> tempBefore = ListFiles(m_temp);

    ASSERT_EQ(RunSetup(), 0u);
    ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ".plk"));
    EXPECT_EQ(RunInJob(m_install + "\\Uninstall.exe", " /S"), 0u);

    // The uninstaller's copy in the temporary folder deletes itself only at the next restart.
    for (const std::string& name : ListFiles(m_temp)) {
        if (name.compare(0, 10, "Uninstall-") == 0 &&
            std::find(tempBefore.begin(), tempBefore.end(), name) == tempBefore.end()) {
            DeleteFileA((std::string(m_temp) + name).c_str());
            TakePendingRenames([&name](const std::string& source) { return EndsWithNoCase(source, "\\" + name); });
        }
    }

    // Everything is gone but the shared data file and the folders that hold it.
    const std::string shared = m_shared + "\\Sarventa 5\\shared.dat";
    const std::set<std::string> expected = [&] {
        std::set<std::string> items = itemsBefore;
        items.insert({m_shared, m_shared + "\\Sarventa 5", shared});
        return items;
    }();
    EXPECT_EQ(snapshot(), expected);
    EXPECT_EQ(SubKeys(HKEY_LOCAL_MACHINE, uninstallRoot), keysBefore);
    EXPECT_EQ(SubKeys(HKEY_CLASSES_ROOT, ""), classesBefore);
    EXPECT_EQ(ListFiles(m_temp), tempBefore);
}

}  // namespace
