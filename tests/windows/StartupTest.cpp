// Start-up of the installer in processes of its own (startup-probe.exe runs the same start-up as
// setup.exe): single instance, the running product, Windows versions, the installed version, the previous
// log and the default folders. The message boxes are answered from here.
#include "InstallApp.h"
#include "SecurityApi.h"
#include "StartupRules.h"
#include "TestSupport.h"
#include "UninstallLogFormat.h"
#include "WindowDriver.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <thread>

namespace {

const std::string kProbe = QU_STARTUP_PROBE;

std::string ShellFolder(int csidl)
{
    char buffer[MAX_PATH + 1] = {};
    SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE);
    return buffer;
}

std::string VersionedProgram(const char* version)
{
    return WinPath(QU_VERSION_TEST_DIR) + "\\version_" + version + ".exe";
}

// One run of a program with its standard output in a file.
class Process {
public:
    Process(const std::string& program, const std::string& args, const std::string& outputFile = "")
    {
        std::string command = "\"" + WinPath(program) + "\" " + args;
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        HANDLE output = INVALID_HANDLE_VALUE;
        if (!outputFile.empty()) {
            SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
            output = CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                 CREATE_ALWAYS, 0, nullptr);
            si.dwFlags = STARTF_USESTDHANDLES;
            si.hStdOutput = output;
            si.hStdError = output;
            si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        }
        m_job.Reset(CreateKillOnCloseJob());
        m_started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                                   &si, &m_pi) != 0;
        m_error = m_started ? 0 : GetLastError();
        if (m_started)
            ResumeInJob(m_job.Get(), m_pi);
        if (output != INVALID_HANDLE_VALUE)
            CloseHandle(output);
    }
    ~Process()
    {
        if (!m_started)
            return;
        if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(m_pi.hProcess, 99);
        CloseHandle(m_pi.hProcess);
        CloseHandle(m_pi.hThread);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Whether the process was created; if not, the failure names the system's error code.
    ::testing::AssertionResult Started() const
    {
        if (m_started)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "CreateProcess failed with error " << m_error;
    }
    DWORD Id() const { return m_pi.dwProcessId; }
    // Exit code, or 0x7FFFFFFF when the process is still running after timeout ms.
    DWORD Wait(DWORD timeout = 60000)
    {
        if (WaitForSingleObject(m_pi.hProcess, timeout) != WAIT_OBJECT_0)
            return 0x7FFFFFFF;
        DWORD code = 0;
        GetExitCodeProcess(m_pi.hProcess, &code);
        return code;
    }

private:
    KernelHandle m_job;
    PROCESS_INFORMATION m_pi = {};
    bool m_started = false;
    DWORD m_error = 0;
};

// The "name=value" lines of the probe.
std::map<std::string, std::string> ParseContext(const std::string& text)
{
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
}

struct ProbeRun {
    DWORD exitCode = 0;
    std::string output;
    std::map<std::string, std::string> context;
};

ProbeRun RunProbe(const std::string& args = "")
{
    const std::string out = FreshFolder("startup_probe") + "\\out.txt";
    ProbeRun run;
    {
        Process probe(kProbe, args, out);
        EXPECT_TRUE(probe.Started());
        run.exitCode = probe.Wait();
    }
    run.output = ReadFileBytes(out);
    run.context = ParseContext(run.output);
    return run;
}

std::string WindowText(HWND hwnd)
{
    char text[1024] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

std::string BoxText(HWND box)
{
    char text[1024] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

void Click(HWND box, int button) { PostMessageA(GetDlgItem(box, button), BM_CLICK, 0, 0); }

void WaitGone(HWND hwnd)
{
    for (int i = 0; i < 1000 && IsWindow(hwnd); ++i)
        Sleep(10);
}

std::string SystemText(DWORD code)
{
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = text ? text : "";
    LocalFree(text);
    return result;
}

std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// The uninstall registration for one test; removed afterwards.
class Registration {
public:
    Registration()
    {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH);
        m_error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &m_key, nullptr);
        Set("DisplayName", "Sarventa 5.23i");
    }
    // The creation's error code, 0 when the key was made.
    LONG Error() const { return m_error; }
    ~Registration()
    {
        RegCloseKey(m_key);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH);
    }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

    void Set(const char* name, const std::string& value)
    {
        RegSetValueExA(m_key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }
    void Set(const char* name, DWORD value)
    {
        RegSetValueExA(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }

private:
    HKEY m_key = nullptr;
    LONG m_error = 0;
};

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override { SHDeleteKeyA(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH); }
};

TEST_F(StartupTest, WithoutAnInstallationProposesTheDefaultFolders)
{
    ProbeRun run = RunProbe();
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    auto c = run.context;
    EXPECT_EQ(c["app name"], "Installer -- Sarventa 5.23i");
    EXPECT_EQ(c["m_nInstallStatus"], "0");
    EXPECT_EQ(c["m_strInstalledVersion"], "");
    EXPECT_EQ(c["installer mutex owned"], "1");
    EXPECT_EQ(c["m_nLanguage"], "1");
    EXPECT_EQ(c["m_strInstallFolder"], ShellFolder(CSIDL_PROGRAM_FILES) + "\\Quillon & Partners\\Sarventa 5");
    EXPECT_EQ(c["m_strStartMenuFolder"], ShellFolder(CSIDL_COMMON_PROGRAMS) + "\\Quillon & Partners\\Sarventa 5");
    EXPECT_EQ(c["m_bStartMenuShortcut"], "1");
    EXPECT_EQ(c["m_bDesktopShortcut"], "1");
    EXPECT_EQ(c["m_bAdvanced"], "0");
    EXPECT_EQ(c["m_strPayloadFile"], "");
    EXPECT_EQ(c["log product"], "Sarventa 5.23i");
    EXPECT_EQ(c["log previous product"], "");
}

TEST_F(StartupTest, StoredFrenchNamesTheProductPlankora)
{
    ProbeRun run = RunProbe("--qulanguage 0");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    auto c = run.context;
    EXPECT_EQ(c["m_nLanguage"], "0");
    EXPECT_EQ(c["app name"], "Installeur -- Plankora 5.23i");
    EXPECT_EQ(c["m_strInstallFolder"], ShellFolder(CSIDL_PROGRAM_FILES) + "\\Quillon & Partners\\Plankora 5");
    EXPECT_EQ(c["log product"], "Plankora 5.23i");
    // Installed without a program path: the registration alone.
    EXPECT_EQ(c["m_nInstallStatus"], "1");
}

TEST_F(StartupTest, InstalledVersionFromTheProgramThatDisplayIconNames)
{
    struct Case {
        const char* version;
        const char* status;
        const char* text;
    } cases[] = {{"5_23_9_1", "1", ""},
                 {"5_22_4_7", "2", "Sarventa 5.22.4.7"},
                 {"5_24_0_0", "-1", "Sarventa 5.24.0.0"},
                 {"6_0_0_0", "-1", "Sarventa 6.0.0.0"}};
    for (const Case& test : cases) {
        Registration registration;
        ASSERT_EQ(registration.Error(), 0);
        registration.Set("DisplayIcon", VersionedProgram(test.version) + ",0");
        ProbeRun run = RunProbe();
        ASSERT_EQ(run.exitCode, 0u) << run.output;
        auto c = run.context;
        EXPECT_EQ(c["m_nInstallStatus"], test.status) << test.version;
        EXPECT_EQ(c["m_strInstalledVersion"], test.text) << test.version;
        // No previous log beside the program: the default folders.
        EXPECT_EQ(c["m_strInstallFolder"], ShellFolder(CSIDL_PROGRAM_FILES) + "\\Quillon & Partners\\Sarventa 5");
    }
}

TEST_F(StartupTest, InstallationWithoutAnExistingProgramCountsAsTheSameVersion)
{
    {
        Registration registration;
        ProbeRun run = RunProbe();
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_EQ(run.context["m_nInstallStatus"], "1");
        EXPECT_EQ(run.context["m_strInstalledVersion"], "");
    }
    {
        Registration registration;
        registration.Set("DisplayIcon", FreshFolder("startup_gone") + "\\Plankora.exe,0");
        ProbeRun run = RunProbe();
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_EQ(run.context["m_nInstallStatus"], "1");
    }
}

TEST_F(StartupTest, EarlierLogSetsTheFoldersAndNamesTheProgram)
{
    const std::string root = FreshFolder("startup_earlier");
    const std::string install = root + "\\Tools\\X";
    const std::string menu = root + "\\Menu\\Sarventa";
    CreateDirectoryA((root + "\\Tools").c_str(), nullptr);
    CreateDirectoryA(install.c_str(), nullptr);
    CreateDirectoryA((root + "\\Menu").c_str(), nullptr);
    CreateDirectoryA(menu.c_str(), nullptr);
    const std::string program = install + "\\Plankora.exe";
    ASSERT_TRUE(CopyFileA(VersionedProgram("5_22_4_7").c_str(), program.c_str(), FALSE));
    std::string log;
    for (const std::string& line : FormatHeaderLines("Sarventa 5.22i", "", install, menu))
        log += line;
    log += FormatRecordLine(1, LR_FOLDER, -1, true, install);
    log += FormatRecordLine(2, LR_FILE, 1, true, program);
    log += FormatRecordLine(3, LR_FILE, 2, true, install + "\\Uninstall.exe");
    ASSERT_TRUE(WriteFileBytes(install + "\\Uninstall.ulog", log));

    // As the installer writes it, and quoted as other tools write such values.
    for (const std::string& uninstaller : {install + "\\Uninstall.exe", "\"" + install + "\\Uninstall.exe\""}) {
        Registration registration;
        registration.Set("UninstallString", uninstaller);
        registration.Set("QuLanguage", 2);
        ProbeRun run = RunProbe();
        ASSERT_EQ(run.exitCode, 0u) << run.output;
        auto c = run.context;
        EXPECT_EQ(c["m_nInstallStatus"], "2") << uninstaller;
        EXPECT_EQ(c["m_strInstalledVersion"], "Sarventa 5.22.4.7");
        EXPECT_EQ(c["m_nLanguage"], "2");
        EXPECT_EQ(c["m_strInstallFolder"], install);
        EXPECT_EQ(c["m_strStartMenuFolder"], menu);
        EXPECT_EQ(c["m_bStartMenuShortcut"], "1");
        EXPECT_EQ(c["m_bDesktopShortcut"], "1");
        EXPECT_EQ(c["m_bAdvanced"], "0");
        EXPECT_EQ(c["log product"], "Sarventa 5.23i");
    }
    RemoveTree(root);
}

TEST_F(StartupTest, UnreadableVersionOfTheInstalledProgramStops)
{
    Registration registration;
    registration.Set("DisplayIcon", WinPath(QU_HOLD_FILE) + ",0");
    const std::string out = FreshFolder("startup_unreadable") + "\\out.txt";
    Process probe(kProbe, "", out);
    ASSERT_TRUE(probe.Started());
    HWND box = FindMessageBox(probe.Id());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), "Installer -- Sarventa 5.23i");
    EXPECT_NE(BoxText(box).find("cannot be read"), std::string::npos) << BoxText(box);
    Click(box, IDOK);
    EXPECT_EQ(probe.Wait(), static_cast<DWORD>(STARTUP_UNREADABLE_VERSION));
    EXPECT_EQ(ReadFileBytes(out), "result=5\r\n");
}

TEST_F(StartupTest, SecondInstallerStopsAtTheFirstStep)
{
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, "QuStartupTestRelease");
    ASSERT_NE(release, nullptr);
    const std::string folder = FreshFolder("startup_second");
    Process first(kProbe, "--hold QuStartupTestRelease", folder + "\\first.txt");
    ASSERT_TRUE(first.Started());
    for (int i = 0; i < 3000 && ReadFileBytes(folder + "\\first.txt").find("result=0") == std::string::npos; ++i)
        Sleep(10);
    ASSERT_NE(ReadFileBytes(folder + "\\first.txt").find("result=0"), std::string::npos);

    Process second(kProbe, "", folder + "\\second.txt");
    ASSERT_TRUE(second.Started());
    HWND box = FindMessageBox(second.Id());
    ASSERT_NE(box, nullptr);
    // Before the language is settled the application is named after its program file.
    EXPECT_EQ(WindowText(box), "startup-probe");
    EXPECT_EQ(Trimmed(BoxText(box)), Trimmed(SystemText(ERROR_BUSY)));
    Click(box, IDOK);
    EXPECT_EQ(second.Wait(), static_cast<DWORD>(STARTUP_ANOTHER_INSTALLER));
    EXPECT_EQ(ReadFileBytes(folder + "\\second.txt"), "result=1\r\n");

    SetEvent(release);
    EXPECT_EQ(first.Wait(), 0u);
    CloseHandle(release);
}

// The demo product holds its semaphore while its window is open.
class RunningProduct {
public:
    RunningProduct() : m_process(QU_PLANKORA_EXE, "")
    {
        for (int i = 0; i < 1000 && !(m_window = FindWindowA("PlankoraMainWindow", nullptr)); ++i)
            Sleep(10);
    }
    bool Running() const { return m_window != nullptr; }
    DWORD Close()
    {
        PostMessageA(m_window, WM_CLOSE, 0, 0);
        return m_process.Wait();
    }

private:
    Process m_process;
    HWND m_window = nullptr;
};

TEST_F(StartupTest, RunningProductAsksWithRetryUntilItIsClosed)
{
    RunningProduct product;
    ASSERT_TRUE(product.Running());
    const std::string out = FreshFolder("startup_running") + "\\out.txt";
    Process probe(kProbe, "", out);
    ASSERT_TRUE(probe.Started());
    HWND box = FindMessageBox(probe.Id());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), "Installer -- Sarventa 5.23i");
    EXPECT_EQ(BoxText(box), "You should close 'Sarventa' before continuing Installation.");
    EXPECT_NE(GetDlgItem(box, IDRETRY), nullptr);
    EXPECT_NE(GetDlgItem(box, IDCANCEL), nullptr);
    // Retry while the product still runs: asked again.
    Click(box, IDRETRY);
    WaitGone(box);
    HWND again = FindMessageBox(probe.Id(), box);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(BoxText(again), "You should close 'Sarventa' before continuing Installation.");
    EXPECT_EQ(probe.Wait(0), 0x7FFFFFFFu);

    EXPECT_EQ(product.Close(), 0u);
    Click(again, IDRETRY);
    EXPECT_EQ(probe.Wait(), 0u);
    EXPECT_EQ(ParseContext(ReadFileBytes(out))["m_nInstallStatus"], "0");
}

TEST_F(StartupTest, RunningProductCancelEndsTheInstaller)
{
    RunningProduct product;
    ASSERT_TRUE(product.Running());
    const std::string out = FreshFolder("startup_cancel") + "\\out.txt";
    Process probe(kProbe, "", out);
    ASSERT_TRUE(probe.Started());
    HWND box = FindMessageBox(probe.Id());
    ASSERT_NE(box, nullptr);
    Click(box, IDCANCEL);
    EXPECT_EQ(probe.Wait(), static_cast<DWORD>(STARTUP_PRODUCT_RUNNING));
    EXPECT_EQ(ReadFileBytes(out), "result=3\r\n");
    EXPECT_EQ(product.Close(), 0u);
}

// The Windows version Wine reports to the probe, chosen per program.
class WineVersion {
public:
    explicit WineVersion(const char* version)
    {
        RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
        RegSetValueExA(m_key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                       static_cast<DWORD>(strlen(version) + 1));
    }
    ~WineVersion()
    {
        RegCloseKey(m_key);
        SHDeleteKeyA(HKEY_CURRENT_USER, kKey);
    }

private:
    static constexpr const char* kKey = "Software\\Wine\\AppDefaults\\startup-probe.exe";
    HKEY m_key = nullptr;
};

TEST_F(StartupTest, RunsOnTheWindowsVersionsOfItsManifest)
{
    struct Case {
        const char* wine;
        const char* reported;
    } cases[] = {{"winxp64", "5.2"}, {"vista", "6.0"}, {"win7", "6.1"}, {"win81", "6.3"}, {"win10", "10.0"}};
    for (const Case& test : cases) {
        WineVersion version(test.wine);
        ProbeRun run = RunProbe();
        EXPECT_EQ(run.exitCode, 0u) << test.wine << "\n" << run.output;
        EXPECT_EQ(run.context["windows"], test.reported) << test.wine;
    }
}

// In-process start-up with the system seams: the security layer's entry points and the cached version
// record. A watcher thread answers the message box that start-up shows.
class InProcessStartup : public ::testing::Test {
protected:
    InProcessStartup() : m_savedFunctions(detail::SecurityFunctionTable()), m_savedVersion(detail::OsVersionCache())
    {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH);
    }
    ~InProcessStartup() override
    {
        detail::SecurityFunctionTable() = m_savedFunctions;
        detail::OsVersionCache() = m_savedVersion;
    }

    struct Box {
        std::string caption, text;
    };
    // Runs StartUp while a thread answers the first message box with OK.
    static int StartUpAnsweringOk(CInstallApp& app, Box& box)
    {
        std::thread watcher([&box] {
            HWND hwnd = FindMessageBox(GetCurrentProcessId());
            if (!hwnd)
                return;
            box.caption = WindowText(hwnd);
            box.text = BoxText(hwnd);
            Click(hwnd, IDOK);
        });
        const int result = app.StartUp();
        watcher.join();
        return result;
    }
    static void SetVersion(DWORD major, DWORD minor)
    {
        OSVERSIONINFOEXA& info = detail::OsVersionCache();
        GetOsVersionInfo();
        info.dwMajorVersion = major;
        info.dwMinorVersion = minor;
    }

private:
    SecurityFunctions m_savedFunctions;
    OSVERSIONINFOEXA m_savedVersion;
};

BOOL WINAPI NotAMember(HANDLE, PSID, PBOOL member)
{
    *member = FALSE;
    return TRUE;
}

TEST_F(InProcessStartup, WithoutAdministratorRightsStops)
{
    detail::SecurityFunctionTable().CheckTokenMembership.pfn = NotAMember;
    CInstallApp app;
    Box box;
    EXPECT_EQ(StartUpAnsweringOk(app, box), STARTUP_NOT_ADMINISTRATOR);
    EXPECT_EQ(box.caption, "Installer -- Sarventa 5.23i");
    EXPECT_EQ(box.text, "You should have Administrator Rights in order to proceed to Installation.");
}

TEST_F(InProcessStartup, UnsupportedWindowsVersionsStop)
{
    for (const auto& version : {std::make_pair(10ul, 1ul), std::make_pair(11ul, 0ul), std::make_pair(6ul, 4ul)}) {
        SetVersion(version.first, version.second);
        CInstallApp app;
        Box box;
        EXPECT_EQ(StartUpAnsweringOk(app, box), STARTUP_UNSUPPORTED_WINDOWS) << version.first << "." << version.second;
        EXPECT_EQ(box.caption, "Installer -- Sarventa 5.23i");
        EXPECT_EQ(box.text, "This software version is not compatible with the current Windows version.");
    }
    for (const auto& version : {std::make_pair(6ul, 3ul), std::make_pair(10ul, 0ul), std::make_pair(5ul, 1ul)}) {
        SetVersion(version.first, version.second);
        CInstallApp app;
        EXPECT_EQ(app.StartUp(), STARTUP_DONE) << version.first << "." << version.second;
    }
}

TEST_F(InProcessStartup, LanguageChangeRenamesTheApplicationAndWarnsWhenTheInstallerStaysEnglish)
{
    CInstallApp app;
    ASSERT_EQ(app.StartUp(), STARTUP_DONE);
    app.SetLanguage(0);
    EXPECT_STREQ(app.m_pszAppName, "Installeur -- Plankora 5.23i");
    EXPECT_EQ(app.GetTitle(false), "Installeur");
    EXPECT_EQ(app.GetShortProductName(), "Plankora 5");
    app.SetLanguage(2);
    EXPECT_EQ(app.GetProductName(false), "Sarventa 5.23i");
    // German lacks text 1130: the English one is used.
    EXPECT_EQ(app.GetTextId(1130), 2130);
    EXPECT_EQ(app.GetTextId(1006), 3006);

    Box box;
    std::thread watcher([&box] {
        HWND hwnd = FindMessageBox(GetCurrentProcessId());
        if (!hwnd)
            return;
        box.caption = WindowText(hwnd);
        box.text = BoxText(hwnd);
        Click(hwnd, IDOK);
    });
    app.SetLanguage(5);
    watcher.join();
    EXPECT_EQ(app.m_nLanguage, 5);
    EXPECT_EQ(box.caption, "Installer -- Sarventa 5.23i");
    EXPECT_EQ(box.text.substr(0, 45), "'Sarventa' will be installed in the selected ");
}

TEST_F(InProcessStartup, InstallStatusCopiesTheVersionOnlyForOlderAndNewer)
{
    CInstallApp app;
    app.m_strInstalledVersion = "Sarventa 5.22.4.7";
    for (int status : {INSTALL_STATUS_NONE, INSTALL_STATUS_SAME, INSTALL_STATUS_OLDER, INSTALL_STATUS_NEWER}) {
        app.m_nInstallStatus = status;
        std::string version = "unchanged";
        EXPECT_EQ(app.GetInstallStatus(&version), status);
        EXPECT_EQ(version, status == INSTALL_STATUS_OLDER || status == INSTALL_STATUS_NEWER ? "Sarventa 5.22.4.7"
                                                                                              : "unchanged");
    }
    EXPECT_EQ(app.GetInstallStatus(), INSTALL_STATUS_NEWER);
}

}  // namespace
