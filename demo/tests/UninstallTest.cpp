// Uninstall.exe on installations that the test lays out itself under its scratch folder: files, folders,
// links, the real uninstall key and the .plk association, and the log written in the installer's order.
// The uninstaller continues in a copy in the temporary folder: every run happens inside a job object, and
// the test waits until the job has no process left.
#include "Handles.h"
#include "RegistryBackup.h"
#include "Shortcut.h"
#include "TestSupport.h"
#include "UninstallLogFormat.h"
#include "UninstallReport.h"
#include "WindowDriver.h"

#include <windows.h>
#include <shlobj.h>
#include <sddl.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

const char kProduct[] = "Sarventa 5.23i";
const char kSemaphoreName[] = "Global\\Plankora5.{a3526b56-ca7c-4e16-8a26-da7758a378fd}";
const char kInstallerMutexName[] = "Global\\Plankora5.{5ead623c-dfcd-474d-8e3c-e6978cac039e}";

// True when another process owns the installer mutex (an uninstaller at work).
bool InstallerMutexHeldElsewhere()
{
    KernelHandle mutex(OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kInstallerMutexName));
    if (!mutex.IsValid())
        return false;
    const DWORD result = WaitForSingleObject(mutex.Get(), 0);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
        ReleaseMutex(mutex.Get());
    return result == WAIT_TIMEOUT;
}

// A security descriptor from its text form, freed with the object.
class TextSecurity {
public:
    explicit TextSecurity(const char* text)
    {
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(text, SDDL_REVISION_1, &m_descriptor, nullptr))
            m_descriptor = nullptr;
        m_attributes.lpSecurityDescriptor = m_descriptor;
    }
    ~TextSecurity() { LocalFree(m_descriptor); }
    SECURITY_ATTRIBUTES* Get() { return m_descriptor ? &m_attributes : nullptr; }

private:
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
    SECURITY_ATTRIBUTES m_attributes = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

const std::string kProductKey = std::string(UNINSTALL_PARENT_KEY) + "\\" + UNINSTALL_KEY_NAME;

std::string ReadDefault(HKEY root, const char* subKey)
{
    char value[MAX_PATH] = {};
    DWORD type = 0;
    DWORD size = sizeof(value) - 1;
    if (SHGetValueA(root, subKey, nullptr, &type, value, &size) != ERROR_SUCCESS)
        return "(missing)";
    return value;
}

void RemoveRegistrations()
{
    RegKeyHandle parent;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_PARENT_KEY, 0, KEY_ALL_ACCESS, parent.Receive()) == ERROR_SUCCESS)
        DelRegTree(parent.Get(), UNINSTALL_KEY_NAME);
    SHDeleteKeyA(HKEY_CLASSES_ROOT, ".plk");
    SHDeleteKeyA(HKEY_CLASSES_ROOT, "Plankora.Document");
}

std::string TempFolder()
{
    char path[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH + 1, path);
    return path;
}

// Names in the temporary folder that match pattern, sorted.
std::vector<std::string> TempNames(const char* pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((TempFolder() + pattern).c_str(), &data));
    if (find) {
        do
            names.push_back(data.cFileName);
        while (FindNextFileA(find.Get(), &data));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The uninstaller's temporary copies.
// The uninstaller's copies: each in a folder of its own in the temporary folder.
std::vector<std::string> UninstallerCopies() { return TempNames("Uninstall-*"); }

// What an uninstaller run could leave in the temporary folder (other tests running meanwhile use it too).
std::vector<std::string> UninstallerTraces()
{
    std::vector<std::string> names = TempNames("Uninstall-*");
    for (const std::string& name : TempNames("qu*"))
        names.push_back(name);
    return names;
}

// Takes the pairs whose source ends in name out of PendingFileRenameOperations; true when there was one.
bool TakePendingDeletion(const std::string& name)
{
    return TakePendingRenames([&name](const std::string& source) { return EndsWithNoCase(source, name); });
}

// A program run inside a job object, so that the test can wait for the processes it starts as well.
class JobRun {
public:
    // environment: a block for the program, or null for this one's.
    bool Start(const std::string& exe, const std::string& args, const std::string& folder,
               const char* environment = nullptr)
    {
        m_job.Reset(CreateKillOnCloseJob());
        if (!m_job)
            return false;
        std::string command = "\"" + exe + "\"" + args;
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                            const_cast<char*>(environment), folder.c_str(), &si, &pi))
            return false;
        m_process.Reset(pi.hProcess);
        KernelHandle thread(pi.hThread);
        m_pid = pi.dwProcessId;
        if (!AssignProcessToJobObject(m_job.Get(), m_process.Get())) {
            TerminateProcess(m_process.Get(), 99);
            return false;
        }
        ResumeThread(thread.Get());
        return true;
    }

    // The exit code of the started program once every process of the job has ended; STILL_ACTIVE when that
    // takes longer than a minute.
    DWORD Wait()
    {
        if (WaitForSingleObject(m_process.Get(), 60000) != WAIT_OBJECT_0)
            return STILL_ACTIVE;
        for (int i = 0; i < 600; ++i) {
            JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
            if (!QueryInformationJobObject(m_job.Get(), JobObjectBasicAccountingInformation, &info, sizeof info,
                                           nullptr))
                return STILL_ACTIVE;
            if (info.ActiveProcesses == 0)
                break;
            if (i == 599)
                return STILL_ACTIVE;
            Sleep(100);
        }
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(m_process.Get(), &code);
        return code;
    }

    // A message box (#32770) of the started program; null when none appears within 30 seconds.
    HWND FindMessageBox() const { return ::FindMessageBox(m_pid, nullptr, 30000); }

    // A message box of any process with this caption other than except; null after 30 seconds.
    static HWND FindMessageBox(const char* caption, HWND except)
    {
        for (int i = 0; i < 300; ++i) {
            HWND box = nullptr;
            while ((box = FindWindowExA(nullptr, box, "#32770", caption)) != nullptr) {
                if (box != except && IsWindowVisible(box))
                    return box;
            }
            Sleep(100);
        }
        return nullptr;
    }

    ~JobRun()
    {
        if (m_job)
            TerminateJobObject(m_job.Get(), 99);
    }

private:
    KernelHandle m_job;
    KernelHandle m_process;
    DWORD m_pid = 0;
};

struct Item {
    int nKind;
    int nCode;
    std::string strPath;
};

// An installation as the installer leaves it, under the test's scratch folder instead of the system's
// folders: "Programs", "CommonData", "StartMenu" and "Desktop" stand for the folders that existed before.
class Installation {
public:
    explicit Installation(const std::string& name)
    {
        m_root = FreshFolder(name);
        for (const char* base : {"Programs", "CommonData", "StartMenu", "Desktop"})
            CreateDirectoryA((m_root + "\\" + base).c_str(), nullptr);
        m_install = m_root + "\\Programs\\Quillon & Partners\\Sarventa 5";
        m_shared = m_root + "\\CommonData\\Quillon & Partners\\Sarventa 5";
        m_menu = m_root + "\\StartMenu\\Quillon & Partners\\Sarventa 5";
    }

    // Lays out the files, links and keys with their records and writes the log. False on any failure.
    bool Build()
    {
        m_program = m_install + "\\Plankora.exe";
        m_uninstaller = m_install + "\\Uninstall.exe";
        m_sharedFile = m_shared + "\\shared.dat";
        bool ok = Folder(m_root + "\\Programs\\Quillon & Partners") && Folder(m_install) &&
                  Copy(WinPath(QU_PLANKORA_EXE), m_program, 1) && Copy(WinPath(QU_UNINSTALL_EXE), m_uninstaller, 2) &&
                  File(m_install + "\\ReadMe.txt", 0) && Folder(m_install + "\\Docs") &&
                  File(m_install + "\\Docs\\Help.txt", 0) && Folder(m_install + "\\Lang") &&
                  Folder(m_install + "\\Lang\\fr") && File(m_install + "\\Lang\\fr\\Plankora.lng", 0) &&
                  Folder(m_root + "\\CommonData\\Quillon & Partners") && Folder(m_shared) && File(m_sharedFile, 3) &&
                  Folder(m_root + "\\Desktop\\Sarventa Examples") &&
                  File(m_root + "\\Desktop\\Sarventa Examples\\Sample1.plk", 4) &&
                  File(m_root + "\\Desktop\\Sarventa Examples\\Sample2.plk", 4);
        // The installer makes the two programs read-only.
        ok = ok && SetFileAttributesA(m_program.c_str(), FILE_ATTRIBUTE_READONLY) &&
             SetFileAttributesA(m_uninstaller.c_str(), FILE_ATTRIBUTE_READONLY);
        ok = ok && Folder(m_root + "\\StartMenu\\Quillon & Partners") && Folder(m_menu) &&
             Link(LR_MENU_PROGRAM_SHORTCUT, m_program, m_menu, kProduct) &&
             Link(LR_MENU_UNINSTALL_SHORTCUT, m_uninstaller, m_menu, "Uninstall Sarventa") &&
             Link(LR_DESKTOP_SHORTCUT, m_program, m_root + "\\Desktop", kProduct);
        ok = ok && UninstallKey() && Register();
        return ok && WriteLog(m_records);
    }

    // Writes the log with the given records in the installer's format and attributes.
    bool WriteLog(const std::vector<Item>& records) const
    {
        std::string text;
        for (const std::string& line : FormatHeaderLines(kProduct, "", m_install, m_menu))
            text += line;
        int sequence = 0;
        for (const Item& item : records) {
            const char* fixed = GetFixedRecordText(item.nKind);
            text += FormatRecordLine(sequence++, item.nKind, item.nCode, true, fixed ? fixed : item.strPath);
        }
        const std::string log = LogPath();
        SetFileAttributesA(log.c_str(), FILE_ATTRIBUTE_NORMAL);
        return WriteFileBytes(log, text) && SetFileAttributesA(log.c_str(), 0x2021);
    }

    ~Installation()
    {
        RemoveRegistrations();
        RemoveTree(m_root);
    }

    std::string LogPath() const { return m_install + "\\Uninstall.ulog"; }
    const std::string& Root() const { return m_root; }
    const std::string& InstallFolder() const { return m_install; }
    const std::string& SharedFolder() const { return m_shared; }
    const std::string& SharedFile() const { return m_sharedFile; }
    const std::string& Program() const { return m_program; }
    const std::string& Uninstaller() const { return m_uninstaller; }
    const std::vector<Item>& Records() const { return m_records; }

private:
    bool Folder(const std::string& path)
    {
        m_records.push_back({LR_FOLDER, -1, path});
        return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
    }
    bool File(const std::string& path, int kind)
    {
        m_records.push_back({LR_FILE, kind, path});
        return WriteFileBytes(path, "content of " + path + "\r\n");
    }
    bool Copy(const std::string& source, const std::string& path, int kind)
    {
        m_records.push_back({LR_FILE, kind, path});
        return CopyFileA(source.c_str(), path.c_str(), TRUE) != FALSE;
    }
    bool Link(int kind, const std::string& target, const std::string& folder, const char* name)
    {
        std::string link;
        if (!CreateShortcut(target.c_str(), folder.c_str(), name, &link))
            return false;
        m_records.push_back({kind, -1, link});
        return true;
    }
    bool UninstallKey()
    {
        RegKeyHandle key;
        DWORD disposition = 0;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, key.Receive(), &disposition) != ERROR_SUCCESS ||
            disposition != REG_CREATED_NEW_KEY)
            return false;
        m_records.push_back({LR_UNINSTALL_KEY, -1, ""});
        RegKeyHandle sub;
        return SHSetValueA(key.Get(), nullptr, "DisplayName", REG_SZ, kProduct, sizeof kProduct) == ERROR_SUCCESS &&
               SHSetValueA(key.Get(), nullptr, "UninstallString", REG_SZ, m_uninstaller.c_str(),
                           static_cast<DWORD>(m_uninstaller.size() + 1)) == ERROR_SUCCESS &&
               RegCreateKeyExA(key.Get(), "Extra", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, sub.Receive(), nullptr) ==
                   ERROR_SUCCESS &&
               SHSetValueA(sub.Get(), nullptr, "Note", REG_SZ, "x", 2) == ERROR_SUCCESS;
    }
    // The registration run of the installed program, as the installer starts it.
    bool Register()
    {
        m_records.push_back({LR_SELF_REGISTRATION, -1, ""});
        std::string command = "\"" + m_program + "\" /Register /Background";
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, m_install.c_str(), &si, &pi))
            return false;
        KernelHandle process(pi.hProcess);
        KernelHandle thread(pi.hThread);
        DWORD code = 0;
        return WaitForSingleObject(process.Get(), 30000) == WAIT_OBJECT_0 &&
               GetExitCodeProcess(process.Get(), &code) && code == static_cast<DWORD>(-10);
    }

    std::string m_root, m_install, m_shared, m_menu, m_program, m_uninstaller, m_sharedFile;
    std::vector<Item> m_records;
};

std::string BoxText(HWND box)
{
    char text[2048] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

// Every file and folder of the log is still there.
void ExpectEveryRecordedItemStays(const Installation& inst)
{
    for (const Item& item : inst.Records()) {
        if (!item.strPath.empty()) {
            EXPECT_TRUE(FileExists(item.strPath)) << item.strPath;
        }
    }
}

// Clicks button in box and returns the uninstaller's next message box, or null.
HWND ClickAndFindNextBox(HWND box, int button)
{
    PostMessageA(GetDlgItem(box, button), BM_CLICK, 0, 0);
    return JobRun::FindMessageBox("Uninstall Sarventa 5.23i", box);
}

class UninstallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey)) << "the product is registered already";
        ASSERT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".plk")) << ".plk is registered already";
        HANDLE semaphore = OpenSemaphoreA(SYNCHRONIZE, FALSE, kSemaphoreName);
        if (semaphore != nullptr)
            CloseHandle(semaphore);
        ASSERT_EQ(nullptr, semaphore) << "Plankora.exe is running";
        // A temporary folder of the test's own, for it and the uninstallers it starts: tests of other
        // programs running meanwhile make their own "qu" items in the shared one.
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_temp = std::make_unique<ScopedTemporaryFolder>(FreshFolder(std::string("uninstall_temp_") + info->name()));
        m_copiesBefore = UninstallerCopies();
        m_tempBefore = UninstallerTraces();
    }

    // The uninstaller's copies that this test left: each must be scheduled for deletion at restart; the
    // test deletes them and their entries itself.
    void TearDown() override
    {
        for (const std::string& name : UninstallerCopies()) {
            if (std::find(m_copiesBefore.begin(), m_copiesBefore.end(), name) != m_copiesBefore.end())
                continue;
            const std::string copy = name + "\\Uninstall.exe";
            EXPECT_TRUE(TakePendingDeletion(copy)) << copy << " is not scheduled for deletion";
            EXPECT_TRUE(TakePendingDeletion(name)) << name << " is not scheduled for deletion";
            DeleteFileA((TempFolder() + copy).c_str());
            RemoveDirectoryA((TempFolder() + name).c_str());
        }
        EXPECT_EQ(m_tempBefore, UninstallerTraces()) << "the temporary folder changed";
    }

    std::unique_ptr<ScopedTemporaryFolder> m_temp;
    std::vector<std::string> m_copiesBefore;
    std::vector<std::string> m_tempBefore;
};

TEST_F(UninstallTest, SilentRunRemovesEverythingButTheSharedData)
{
    Installation inst("everything");
    ASSERT_TRUE(inst.Build()) << GetLastError();
    ASSERT_EQ("Plankora.Document", ReadDefault(HKEY_CLASSES_ROOT, ".plk"));

    JobRun run;
    ASSERT_TRUE(run.Start(inst.Uninstaller(), " /S", inst.InstallFolder())) << GetLastError();
    EXPECT_EQ(0u, run.Wait());

    for (const Item& item : inst.Records()) {
        if (item.strPath.empty())
            continue;
        const bool shared = item.strPath.compare(0, inst.Root().size() + 11, inst.Root() + "\\CommonData") == 0;
        EXPECT_EQ(shared, FileExists(item.strPath)) << item.strPath;
    }
    EXPECT_TRUE(FileExists(inst.SharedFile()));
    EXPECT_FALSE(FileExists(inst.LogPath()));
    EXPECT_FALSE(FileExists(inst.Uninstaller()));
    EXPECT_FALSE(FileExists(inst.Root() + "\\Programs\\Quillon & Partners"));
    EXPECT_TRUE(FileExists(inst.Root() + "\\Programs"));
    EXPECT_FALSE(FileExists(inst.Root() + "\\StartMenu\\Quillon & Partners"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".plk"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Plankora.Document"));
}

TEST_F(UninstallTest, AnsweringNoRemovesNothing)
{
    Installation inst("cancel");
    ASSERT_TRUE(inst.Build()) << GetLastError();

    JobRun run;
    ASSERT_TRUE(run.Start(inst.Uninstaller(), "", inst.InstallFolder())) << GetLastError();
    HWND box = run.FindMessageBox();
    ASSERT_NE(nullptr, box);
    const std::string text = BoxText(box);
    EXPECT_NE(std::string::npos, text.find(kProduct)) << text;
    PostMessageA(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
    EXPECT_EQ(2u, run.Wait());

    ExpectEveryRecordedItemStays(inst);
    EXPECT_TRUE(FileExists(inst.LogPath()));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey + "\\Extra"));
    EXPECT_EQ("Plankora.Document", ReadDefault(HKEY_CLASSES_ROOT, ".plk"));
}

// The final message comes from the copy in the temporary folder, after the original has ended.
TEST_F(UninstallTest, AnsweringYesKeepsInstallersOutRemovesTheProductAndNamesTheSharedData)
{
    Installation inst("confirmed");
    ASSERT_TRUE(inst.Build()) << GetLastError();

    JobRun run;
    ASSERT_TRUE(run.Start(inst.Uninstaller(), "", inst.InstallFolder())) << GetLastError();
    HWND question = run.FindMessageBox();
    ASSERT_NE(nullptr, question);
    // No installer can start while the original asks, nor while its copy reports.
    EXPECT_TRUE(InstallerMutexHeldElsewhere());
    HWND report = ClickAndFindNextBox(question, IDYES);
    ASSERT_NE(nullptr, report);
    EXPECT_TRUE(InstallerMutexHeldElsewhere());
    const std::string text = BoxText(report);
    EXPECT_NE(std::string::npos, text.find("Sarventa 5.23i was removed from your computer.")) << text;
    EXPECT_NE(std::string::npos, text.find("Your shared data files were kept in: " + inst.SharedFolder())) << text;
    PostMessageA(GetDlgItem(report, IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(0u, run.Wait());

    EXPECT_FALSE(FileExists(inst.Root() + "\\Programs\\Quillon & Partners"));
    EXPECT_TRUE(FileExists(inst.SharedFile()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey));
}

TEST_F(UninstallTest, FileInUseIsLeftAndReportedWhileTheRestGoes)
{
    Installation inst("in-use");
    ASSERT_TRUE(inst.Build()) << GetLastError();
    const std::string held = inst.InstallFolder() + "\\Docs\\Help.txt";

    const HeldFile holder(QU_HOLD_FILE, held);
    ASSERT_TRUE(holder.IsHeld());

    JobRun run;
    ASSERT_TRUE(run.Start(inst.Uninstaller(), " /S", inst.InstallFolder())) << GetLastError();
    EXPECT_EQ(1u, run.Wait());

    EXPECT_TRUE(FileExists(held));
    EXPECT_FALSE(FileExists(inst.Program()));
    EXPECT_FALSE(FileExists(inst.InstallFolder() + "\\ReadMe.txt"));
    EXPECT_FALSE(FileExists(inst.InstallFolder() + "\\Lang"));
    EXPECT_FALSE(FileExists(inst.Uninstaller()));
    EXPECT_FALSE(FileExists(inst.LogPath()));
    EXPECT_TRUE(FileExists(inst.SharedFile()));
    EXPECT_FALSE(FileExists(inst.Root() + "\\StartMenu\\Quillon & Partners"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".plk"));
}

// Interactive: while the product runs the user is asked to close it; Retry goes on once it is closed.
TEST_F(UninstallTest, RetryGoesOnOnceTheProductIsClosed)
{
    Installation inst("retry");
    ASSERT_TRUE(inst.Build()) << GetLastError();
    KernelHandle semaphore(CreateSemaphoreA(nullptr, 1, 1, kSemaphoreName));
    ASSERT_TRUE(semaphore.IsValid());

    JobRun run;
    ASSERT_TRUE(run.Start(inst.Uninstaller(), "", inst.InstallFolder())) << GetLastError();
    HWND question = run.FindMessageBox();
    ASSERT_NE(nullptr, question);
    HWND running = ClickAndFindNextBox(question, IDYES);
    ASSERT_NE(nullptr, running);
    EXPECT_NE(std::string::npos, BoxText(running).find("Sarventa 5.23i is running.")) << BoxText(running);
    EXPECT_TRUE(FileExists(inst.Program()));

    semaphore.Close();
    HWND report = ClickAndFindNextBox(running, IDRETRY);
    ASSERT_NE(nullptr, report);
    PostMessageA(GetDlgItem(report, IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(0u, run.Wait());
    EXPECT_FALSE(FileExists(inst.InstallFolder()));
}

// This environment with TMP and TEMP naming a folder that does not exist.
std::string EnvironmentWithoutTempFolder(const std::string& missing)
{
    std::string block;
    char* strings = GetEnvironmentStringsA();
    for (const char* p = strings; *p != '\0'; p += lstrlenA(p) + 1) {
        if (StrCmpNIA(p, "TMP=", 4) != 0 && StrCmpNIA(p, "TEMP=", 5) != 0)
            block += std::string(p) + '\0';
    }
    FreeEnvironmentStringsA(strings);
    block += "TMP=" + missing + '\0' + "TEMP=" + missing + '\0' + '\0';
    return block;
}

// Without a temporary folder to copy itself to, the uninstaller works in place and leaves its own file and
// folders to the next restart.
TEST_F(UninstallTest, WithoutATemporaryCopyItsOwnFileGoesAtTheNextRestart)
{
    Installation inst("in-place");
    ASSERT_TRUE(inst.Build()) << GetLastError();
    const std::string environment = EnvironmentWithoutTempFolder(inst.Root() + "\\missing");

    JobRun run;
    ASSERT_TRUE(run.Start(inst.Uninstaller(), " /S", inst.InstallFolder(), environment.c_str())) << GetLastError();
    EXPECT_EQ(0u, run.Wait());

    EXPECT_TRUE(FileExists(inst.Uninstaller()));
    EXPECT_FALSE(FileExists(inst.LogPath()));
    EXPECT_FALSE(FileExists(inst.Program()));
    EXPECT_FALSE(FileExists(inst.InstallFolder() + "\\Docs"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey));
    EXPECT_TRUE(TakePendingDeletion(inst.Uninstaller()));
    TakePendingDeletion(inst.InstallFolder());
    TakePendingDeletion(inst.Root() + "\\Programs\\Quillon & Partners");
}

// Its own file still in use after it has ended (another program holds it open): after trying for a while the
// copy leaves it and its folder, and schedules nothing for the next restart, which would also delete the
// uninstaller of an installation made into the same folder before the restart.
TEST_F(UninstallTest, ItsOwnFileStillInUseStaysWithoutADeletionAtTheNextRestart)
{
    Installation inst("own-in-use");
    ASSERT_TRUE(inst.Build()) << GetLastError();
    HeldFile holder(QU_HOLD_FILE, inst.Uninstaller());
    ASSERT_TRUE(holder.IsHeld());

    JobRun run;
    ASSERT_TRUE(run.Start(inst.Uninstaller(), " /S", inst.InstallFolder())) << GetLastError();
    EXPECT_EQ(0u, run.Wait());
    holder.Release();

    EXPECT_FALSE(FileExists(inst.Program()));
    EXPECT_FALSE(FileExists(inst.LogPath()));
    EXPECT_TRUE(FileExists(inst.Uninstaller()));
    EXPECT_FALSE(TakePendingDeletion(inst.Uninstaller()));
    EXPECT_FALSE(TakePendingDeletion(inst.InstallFolder()));
}

// The key names the uninstaller of another installation that exists: that one keeps its registration.
TEST_F(UninstallTest, UninstallKeyOfAnotherInstallationStays)
{
    Installation inst("other-key");
    ASSERT_TRUE(inst.Build()) << GetLastError();
    const std::string other = inst.Root() + "\\Programs\\Uninstall.exe";
    ASSERT_TRUE(WriteFileBytes(other, "another installation's uninstaller"));
    ASSERT_EQ(ERROR_SUCCESS, SHSetValueA(HKEY_LOCAL_MACHINE, kProductKey.c_str(), "UninstallString", REG_SZ,
                                         other.c_str(), static_cast<DWORD>(other.size() + 1)));

    JobRun run;
    ASSERT_TRUE(run.Start(inst.Uninstaller(), " /S", inst.InstallFolder())) << GetLastError();
    EXPECT_EQ(0u, run.Wait());
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey + "\\Extra"));
    EXPECT_FALSE(FileExists(inst.InstallFolder()));
}

// Anything that holds the product's semaphore counts as the running product, also one of another user that
// admits nobody else; an installer at work (its mutex owned) stops the uninstaller too.
TEST_F(UninstallTest, RunningProductOrInstallerStopsASilentRunBeforeAnyChange)
{
    const struct {
        const char* name;
        const char* security;  // null: the default
        bool mutex;
    } cases[] = {{"product", nullptr, false}, {"other user's product", "D:", false}, {"installer", nullptr, true}};
    for (const auto& c : cases) {
        Installation inst("running");
        ASSERT_TRUE(inst.Build()) << GetLastError();
        TextSecurity security(c.security ? c.security : "D:(A;;GA;;;WD)");
        KernelHandle blocker(c.mutex ? CreateMutexA(nullptr, TRUE, kInstallerMutexName)
                                     : CreateSemaphoreA(c.security ? security.Get() : nullptr, 1, 1, kSemaphoreName));
        ASSERT_TRUE(blocker.IsValid()) << c.name;
        if (c.security) {
            // The premise: an administrator cannot open it for more than waiting.
            KernelHandle opened(OpenSemaphoreA(SEMAPHORE_ALL_ACCESS, FALSE, kSemaphoreName));
            EXPECT_FALSE(opened.IsValid()) << c.name;
        }

        JobRun run;
        ASSERT_TRUE(run.Start(inst.Uninstaller(), " /S", inst.InstallFolder())) << GetLastError();
        EXPECT_EQ(4u, run.Wait()) << c.name;
        ExpectEveryRecordedItemStays(inst);
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey)) << c.name;
        if (c.mutex)
            ReleaseMutex(blocker.Get());
    }
}

TEST(UninstallReport, NamesWhatStayedAndWhereTheSharedDataIs)
{
    EXPECT_EQ("Sarventa 5.23i was removed from your computer.", FormatUninstallReport(kProduct, {}, {}));
    EXPECT_EQ("Sarventa 5.23i was removed from your computer.\n\nYour shared data files were kept in: C:\\A\nC:\\B",
              FormatUninstallReport(kProduct, {}, {"C:\\A", "C:\\B"}));
    EXPECT_EQ("Sarventa 5.23i was removed, but these items could not be removed:\n\nC:\\x\n\n"
              "You can delete them yourself.",
              FormatUninstallReport(kProduct, {"C:\\x"}, {}));

    // A long list is cut after UNINSTALL_REPORT_ITEMS entries.
    std::vector<std::string> failed;
    for (int i = 0; i < 20; ++i)
        failed.push_back("C:\\f" + std::to_string(i));
    const std::string text = FormatUninstallReport(kProduct, failed, {});
    EXPECT_NE(std::string::npos, text.find("\nC:\\f14\n(and 5 more)\n")) << text;
    EXPECT_EQ(std::string::npos, text.find("C:\\f15")) << text;
}

// The continuation's arguments given by hand, without the handles of an original run.
TEST_F(UninstallTest, ContinuationWithoutInheritedHandlesRemovesNothing)
{
    Installation inst("bad-continue");
    ASSERT_TRUE(inst.Build()) << GetLastError();
    JobRun run;
    ASSERT_TRUE(run.Start(inst.Uninstaller(), " /Continue 1000004 1000008 \"" + inst.Uninstaller() + "\" /S",
                          inst.InstallFolder()))
        << GetLastError();
    EXPECT_EQ(5u, run.Wait());
    EXPECT_TRUE(FileExists(inst.Program()));
    EXPECT_TRUE(FileExists(inst.LogPath()));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey));
}

TEST_F(UninstallTest, MissingOrRecordlessLogRemovesNothing)
{
    Installation inst("no-log");
    const std::string program = inst.InstallFolder() + "\\Uninstall.exe";
    ASSERT_TRUE(SHCreateDirectoryExA(nullptr, inst.InstallFolder().c_str(), nullptr) == ERROR_SUCCESS);
    ASSERT_TRUE(CopyFileA(WinPath(QU_UNINSTALL_EXE).c_str(), program.c_str(), TRUE));
    {
        JobRun run;
        ASSERT_TRUE(run.Start(program, " /S", inst.InstallFolder())) << GetLastError();
        EXPECT_EQ(3u, run.Wait());
        EXPECT_TRUE(FileExists(program));
    }
    {
        // The six header lines alone.
        ASSERT_TRUE(inst.WriteLog({}));
        JobRun run;
        ASSERT_TRUE(run.Start(program, " /S", inst.InstallFolder())) << GetLastError();
        EXPECT_EQ(3u, run.Wait());
        EXPECT_TRUE(FileExists(program));
        EXPECT_TRUE(FileExists(inst.LogPath()));
    }
    {
        // A log that breaks the format before its first record.
        SetFileAttributesA(inst.LogPath().c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(WriteFileBytes(inst.LogPath(), "0000:0100:1 -- " + program + "\r\n"));
        JobRun run;
        ASSERT_TRUE(run.Start(program, " /S", inst.InstallFolder())) << GetLastError();
        EXPECT_EQ(3u, run.Wait());
        EXPECT_TRUE(FileExists(program));
    }
}

// Hostile logs: random bytes, cuts inside the header, huge lines, and records that name their item by a
// relative path, a path that climbs with "..", or one longer than a path may be. Such a log is refused whole:
// exit code 3 and nothing removed, not even the valid records around the bad one.
TEST_F(UninstallTest, HostileLogsRemoveNothing)
{
    Installation inst("hostile-log");
    ASSERT_TRUE(inst.Build()) << GetLastError();
    const std::string parent = inst.Root() + "\\Programs\\Quillon & Partners";
    const std::string victim = inst.Root() + "\\victim.txt";
    ASSERT_TRUE(WriteFileBytes(victim, "not the product's"));
    ASSERT_TRUE(WriteFileBytes(parent + "\\victim.txt", "not the product's either"));

    std::string header;
    std::vector<std::string> headerLines = FormatHeaderLines(kProduct, "", inst.InstallFolder(), inst.InstallFolder());
    for (const std::string& line : headerLines)
        header += line;
    std::string records;
    int sequence = 0;
    for (const Item& item : inst.Records()) {
        const char* fixed = GetFixedRecordText(item.nKind);
        records += FormatRecordLine(sequence++, item.nKind, item.nCode, true, fixed ? fixed : item.strPath);
    }
    // The installation's records, then one more file record with the given path.
    auto withFile = [&](const std::string& path) {
        return header + records + FormatRecordLine(sequence, LR_FILE, 0, true, path);
    };

    std::string random;
    for (uint32_t i = 0, seed = 5; i < 4096; ++i) {
        seed = seed * 1103515245u + 12345u;
        random += static_cast<char>(seed >> 24);
    }
    std::vector<std::pair<std::string, std::string>> cases = {
        {"empty file", ""},
        {"random bytes", random},
        {"UTF-16 mark and an odd byte", "\xFF\xFE" "A"},
        {"one line of 100000 characters", std::string(100000, 'x')},
        {"a header line of 100000 characters", header.substr(0, 10) + std::string(100000, 'x') + "\r\n" + records},
        {"record of an unknown kind", header + "0000:FF00:1 -- " + victim + "\r\n" + records},
        {"relative path", withFile("..\\victim.txt")},
        {"bare name", withFile("victim.txt")},
        {"path from the drive's root", withFile("\\victim.txt")},
        {"full path climbing with ..", withFile(inst.InstallFolder() + "\\..\\..\\..\\victim.txt")},
        {"path longer than MAX_PATH", withFile(victim + "\\" + std::string(300, 'x'))},
        {"path with a stream name", withFile(victim + ":stream")},
    };
    // Cut after each header line and inside it.
    size_t at = 0;
    for (size_t i = 0; i < headerLines.size(); ++i) {
        cases.push_back({"cut inside header line " + std::to_string(i + 1), header.substr(0, at + 5)});
        at += headerLines[i].size();
        cases.push_back({"cut after header line " + std::to_string(i + 1), header.substr(0, at)});
    }
    cases.push_back({"cut inside the first record", header + records.substr(0, 7)});

    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        SetFileAttributesA(inst.LogPath().c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(WriteFileBytes(inst.LogPath(), c.second));
        const auto before = ListTree(inst.Root());
        JobRun run;
        ASSERT_TRUE(run.Start(inst.Uninstaller(), " /S", inst.InstallFolder())) << GetLastError();
        EXPECT_EQ(3u, run.Wait());
        EXPECT_EQ(ListTree(inst.Root()), before);
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kProductKey));
        EXPECT_EQ("Plankora.Document", ReadDefault(HKEY_CLASSES_ROOT, ".plk"));
    }
    ExpectEveryRecordedItemStays(inst);
}

}  // namespace
