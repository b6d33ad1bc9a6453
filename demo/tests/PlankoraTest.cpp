// Plankora.exe as the installer and the uninstaller see it: the registration run and its undoing, the
// semaphore of a running product, and the version resource. Runs the real program (next to this test in the build tree) under Wine.
#include "TestSupport.h"

#include <windows.h>
#include <aclapi.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kSemaphoreName[] = "Global\\Plankora5.{a3526b56-ca7c-4e16-8a26-da7758a378fd}";

std::string PlankoraPath()
{
    char path[MAX_PATH] = {};
    DWORD len = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (len == 0 || len >= MAX_PATH)
        return std::string();
    PathRemoveFileSpecA(path);
    PathAppendA(path, "Plankora.exe");
    return path;
}

struct Process {
    PROCESS_INFORMATION pi = {};
    bool started = false;
    ~Process()
    {
        if (!started)
            return;
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(pi.hProcess, 99);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    DWORD WaitForExit(DWORD ms)
    {
        if (WaitForSingleObject(pi.hProcess, ms) != WAIT_OBJECT_0)
            return STILL_ACTIVE;
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        return code;
    }
};

// Starts Plankora.exe the way the installer does: the program path apart, the arguments as the command line.
bool Start(Process& proc, const std::string& args)
{
    const std::string exe = PlankoraPath();
    std::vector<char> cmd(args.begin(), args.end());
    cmd.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    proc.started = CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                                  &proc.pi) != FALSE;
    return proc.started;
}

std::string ReadDefaultValue(const char* subKey)
{
    char value[1024] = {};
    DWORD type = 0;
    DWORD size = sizeof(value) - 1;
    if (SHGetValueA(HKEY_CLASSES_ROOT, subKey, nullptr, &type, value, &size) != ERROR_SUCCESS || type != REG_SZ)
        return "(missing)";
    return value;
}

bool SemaphoreExists()
{
    HANDLE h = OpenSemaphoreA(SYNCHRONIZE, FALSE, kSemaphoreName);
    if (h == nullptr)
        return false;
    CloseHandle(h);
    return true;
}

template <typename Pred>
bool WaitUntil(Pred pred, DWORD ms)
{
    for (DWORD waited = 0; waited < ms; waited += 50) {
        if (pred())
            return true;
        Sleep(50);
    }
    return pred();
}

// A copy of Plankora.exe in a folder with blanks, as installed; removed with its folders at the end.
class InstalledCopy {
public:
    InstalledCopy()
    {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        m_root = std::string(temp) + "qu-demo-" + std::to_string(GetCurrentProcessId());
        const std::string publisher = m_root + "\\Quillon & Partners";
        m_folder = publisher + "\\Sarventa 5";
        m_exe = m_folder + "\\Plankora.exe";
        m_ok = CreateDirectoryA(m_root.c_str(), nullptr) && CreateDirectoryA(publisher.c_str(), nullptr) &&
               CreateDirectoryA(m_folder.c_str(), nullptr) && CopyFileA(PlankoraPath().c_str(), m_exe.c_str(), TRUE);
    }
    ~InstalledCopy()
    {
        DeleteFileA(m_exe.c_str());
        RemoveDirectoryA(m_folder.c_str());
        RemoveDirectoryA((m_root + "\\Quillon & Partners").c_str());
        RemoveDirectoryA(m_root.c_str());
    }
    bool Ok() const { return m_ok; }
    const std::string& Folder() const { return m_folder; }
    const std::string& Exe() const { return m_exe; }

private:
    std::string m_root, m_folder, m_exe;
    bool m_ok = false;
};

TEST(PlankoraTest, RegistrationRunRegistersTheDocumentTypeAndExitsWithMinus10)
{
    const bool hadExtension = KeyExists(HKEY_CLASSES_ROOT, ".plk");
    const bool hadProgId = KeyExists(HKEY_CLASSES_ROOT, "Plankora.Document");
    InstalledCopy copy;
    ASSERT_TRUE(copy.Ok()) << GetLastError();

    // The installer's way: no application name, the quoted path and " /Register /Background" as the command
    // line, the program's folder as the working folder, shown without activation.
    char cmd[MAX_PATH + 32] = {};
    lstrcpynA(cmd, copy.Exe().c_str(), MAX_PATH);
    PathQuoteSpacesA(cmd);
    lstrcatA(cmd, " /Register /Background");
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNOACTIVATE;
    Process proc;
    proc.started = CreateProcessA(nullptr, cmd, nullptr, nullptr, FALSE, HIGH_PRIORITY_CLASS, nullptr,
                                  copy.Folder().c_str(), &si, &proc.pi) != FALSE;
    ASSERT_TRUE(proc.started) << GetLastError();
    EXPECT_EQ(static_cast<DWORD>(-10), proc.WaitForExit(30000));

    EXPECT_EQ("Plankora.Document", ReadDefaultValue(".plk"));
    EXPECT_EQ("Sarventa Document", ReadDefaultValue("Plankora.Document"));
    EXPECT_EQ(copy.Exe() + ",0", ReadDefaultValue("Plankora.Document\\DefaultIcon"));
    EXPECT_EQ("\"" + copy.Exe() + "\" \"%1\"", ReadDefaultValue("Plankora.Document\\shell\\open\\command"));

    if (!hadExtension)
        SHDeleteKeyA(HKEY_CLASSES_ROOT, ".plk");
    if (!hadProgId)
        SHDeleteKeyA(HKEY_CLASSES_ROOT, "Plankora.Document");
}

DWORD RunToEnd(const std::string& args)
{
    Process proc;
    if (!Start(proc, args))
        return STILL_ACTIVE;
    return proc.WaitForExit(30000);
}

// The uninstaller's step: " /Unregister" takes back what " /Register" wrote and is idempotent.
TEST(PlankoraTest, UnregisterRemovesTheAssociationAndExitsWithMinus10)
{
    ASSERT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".plk")) << ".plk is registered already";
    ASSERT_EQ(static_cast<DWORD>(-10), RunToEnd(" /Register /Background"));
    ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Plankora.Document\\shell\\open\\command"));

    EXPECT_EQ(static_cast<DWORD>(-10), RunToEnd(" /Unregister"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".plk"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Plankora.Document"));
    // Nothing left to remove is no failure.
    EXPECT_EQ(static_cast<DWORD>(-10), RunToEnd(" /Unregister"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".plk"));
}

TEST(PlankoraTest, UnregisterKeepsWhatOtherProgramsMadeOfTheExtension)
{
    ASSERT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".plk")) << ".plk is registered already";
    ASSERT_EQ(static_cast<DWORD>(-10), RunToEnd(" /Register /Background"));

    // Another program took the extension over: only our ProgID goes.
    ASSERT_EQ(ERROR_SUCCESS, SHSetValueA(HKEY_CLASSES_ROOT, ".plk", nullptr, REG_SZ, "Other.Board", 12));
    EXPECT_EQ(static_cast<DWORD>(-10), RunToEnd(" /Unregister"));
    EXPECT_EQ("Other.Board", ReadDefaultValue(".plk"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Plankora.Document"));
    SHDeleteKeyA(HKEY_CLASSES_ROOT, ".plk");

    // Another program added its own entry under ours: the key stays with that entry, without our value.
    ASSERT_EQ(static_cast<DWORD>(-10), RunToEnd(" /Register /Background"));
    ASSERT_EQ(ERROR_SUCCESS,
              SHSetValueA(HKEY_CLASSES_ROOT, ".plk\\OpenWithProgids", "Other.Board", REG_SZ, "", 1));
    EXPECT_EQ(static_cast<DWORD>(-10), RunToEnd(" /Unregister"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ".plk\\OpenWithProgids"));
    EXPECT_EQ("(missing)", ReadDefaultValue(".plk"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Plankora.Document"));
    SHDeleteKeyA(HKEY_CLASSES_ROOT, ".plk");
}

TEST(PlankoraTest, BackgroundAloneDoesNothing)
{
    Process proc;
    ASSERT_TRUE(Start(proc, " /Background")) << GetLastError();
    EXPECT_EQ(0u, proc.WaitForExit(30000));
}

// What the semaphore's access list grants everyone (0 when it names everyone nowhere).
DWORD EveryoneAccess(const char* name)
{
    HANDLE h = OpenSemaphoreA(READ_CONTROL, FALSE, name);
    if (h == nullptr)
        return 0;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD granted = 0;
    if (GetSecurityInfo(h, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                        &descriptor) == ERROR_SUCCESS &&
        dacl != nullptr) {
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        PSID everyone = nullptr;
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
        for (DWORD i = 0; everyone != nullptr && i < dacl->AceCount; ++i) {
            void* ace = nullptr;
            if (GetAce(dacl, i, &ace) && static_cast<ACE_HEADER*>(ace)->AceType == ACCESS_ALLOWED_ACE_TYPE) {
                auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
                if (EqualSid(&allowed->SidStart, everyone))
                    granted |= allowed->Mask;
            }
        }
        FreeSid(everyone);
    }
    LocalFree(descriptor);
    CloseHandle(h);
    return granted;
}

TEST(PlankoraTest, RunningProgramHoldsASemaphoreEveryoneMayWaitOnUntilItsWindowCloses)
{
    ASSERT_FALSE(SemaphoreExists()) << "another Plankora.exe is running";

    Process first;
    ASSERT_TRUE(Start(first, "")) << GetLastError();
    ASSERT_TRUE(WaitUntil([] { return FindWindowA("PlankoraMainWindow", nullptr) != nullptr; }, 30000));
    EXPECT_TRUE(SemaphoreExists());
    // Installers and uninstallers of any user may wait on it, and do nothing else with it.
    EXPECT_EQ(static_cast<DWORD>(SYNCHRONIZE), EveryoneAccess(kSemaphoreName));
    HWND window = FindWindowA("PlankoraMainWindow", nullptr);
    char title[128] = {};
    GetWindowTextA(window, title, sizeof(title));
    EXPECT_STREQ("Sarventa 5.23i", title);

    // A second start finds the semaphore, leaves the first one alone and ends.
    Process second;
    ASSERT_TRUE(Start(second, ""));
    EXPECT_EQ(0u, second.WaitForExit(30000));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), first.WaitForExit(0));

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, first.WaitForExit(30000));
    EXPECT_FALSE(SemaphoreExists());
}

TEST(PlankoraTest, VersionResourceNamesTheProductAndItsVersion)
{
    const std::string exe = PlankoraPath();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &handle);
    ASSERT_NE(0u, size) << GetLastError();
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(23, 5)), fixed->dwFileVersionMS);
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(1, 9)), fixed->dwFileVersionLS);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &len));
    ASSERT_GE(len, 4u);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1252, translation[1]);

    auto text = [&](const char* name) {
        char* value = nullptr;
        UINT n = 0;
        const std::string query = std::string("\\StringFileInfo\\040904E4\\") + name;
        if (!VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &n) || value == nullptr)
            return std::string("(missing)");
        return std::string(value);
    };
    EXPECT_EQ("Sarventa", text("ProductName"));
    EXPECT_EQ("5.23i", text("ProductVersion"));
    EXPECT_EQ("5.23.9.1", text("FileVersion"));
    EXPECT_EQ("Quillon & Partners", text("CompanyName"));
    EXPECT_NE("(missing)", text("FileDescription"));
    EXPECT_NE("(missing)", text("LegalCopyright"));
}

}  // namespace
