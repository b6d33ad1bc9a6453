// startup-probe.exe: runs the installer's start-up exactly as setup.exe does, then prints the installation
// context, one "name=value" line each, and exits with the start-up result.
//
//   startup-probe [--qulanguage N] [--hold EVENT]
//     --qulanguage N   the uninstall registration carries QuLanguage = N during the run (removed after)
//     --hold EVENT     after printing, waits (at most 60 s) until the named event is set
#include "InstallApp.h"
#include "Texts.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

// QuLanguage written for the run; the registration key is removed again when this made it.
class StoredLanguage {
public:
    explicit StoredLanguage(DWORD value)
    {
        DWORD disposition = 0;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key,
                            &disposition) != ERROR_SUCCESS) {
            m_key = nullptr;
            return;
        }
        m_created = disposition == REG_CREATED_NEW_KEY;
        RegSetValueExA(m_key, "QuLanguage", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    ~StoredLanguage()
    {
        if (!m_key)
            return;
        RegDeleteValueA(m_key, "QuLanguage");
        RegCloseKey(m_key);
        if (m_created)
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH);
    }
    StoredLanguage(const StoredLanguage&) = delete;
    StoredLanguage& operator=(const StoredLanguage&) = delete;

private:
    HKEY m_key = nullptr;
    bool m_created = false;
};

void Print(const char* name, const std::string& value) { std::printf("%s=%s\n", name, value.c_str()); }
void Print(const char* name, long value) { std::printf("%s=%ld\n", name, value); }

}  // namespace

int main(int argc, char** argv)
{
    const char* holdEvent = nullptr;
    std::unique_ptr<StoredLanguage> stored;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--qulanguage") == 0)
            stored = std::make_unique<StoredLanguage>(static_cast<DWORD>(std::strtoul(argv[i + 1], nullptr, 0)));
        else if (std::strcmp(argv[i], "--hold") == 0)
            holdEvent = argv[i + 1];
    }

    int result;
    {
        CInstallApp app;
        result = app.StartUp();
        Print("result", result);
        if (result == STARTUP_DONE) {
            const OSVERSIONINFOEXA& os = GetOsVersionInfo();
            Print("windows", std::to_string(os.dwMajorVersion) + "." + std::to_string(os.dwMinorVersion));
            Print("default language", GetDefaultLanguage());
            Print("app name", app.m_pszAppName ? app.m_pszAppName : "(null)");
            Print("m_nInstallStatus", app.m_nInstallStatus);
            Print("m_strInstalledVersion", app.m_strInstalledVersion);
            Print("installer mutex owned", app.m_installerMutex.m_bOwned ? 1 : 0);
            Print("m_nLanguage", app.m_nLanguage);
            Print("m_strInstallFolder", app.m_strInstallFolder);
            Print("m_strStartMenuFolder", app.m_strStartMenuFolder);
            Print("m_bStartMenuShortcut", app.m_bStartMenuShortcut ? 1 : 0);
            Print("m_bDesktopShortcut", app.m_bDesktopShortcut ? 1 : 0);
            Print("m_bAdvanced", app.m_bAdvanced ? 1 : 0);
            Print("m_strPayloadFile", app.m_strPayloadFile);
            Print("log product", app.m_uninstallLog.m_strProduct);
            Print("log previous product", app.m_uninstallLog.m_strPreviousProduct);
            Print("text 1127", app.FormatText(1127, app.GetProductName(true)));
        }
        std::fflush(stdout);
        if (holdEvent) {
            HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, holdEvent);
            if (event) {
                WaitForSingleObject(event, 60000);
                CloseHandle(event);
            }
        }
    }
    return result;
}
