#include "InstallApp.h"

#include "ArchiveFormat.h"
#include "ErrorReport.h"
#include "Handles.h"
#include "InstallDlg.h"
#include "Languages.h"
#include "Placeholders.h"
#include "Security.h"
#include "Texts.h"
#include "VersionInfo.h"
#include "WindowsVersion.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>

namespace {

bool FailStep(const char* step, std::string& error)
{
    char text[64];
    std::snprintf(text, sizeof text, "%08lx (%s)", static_cast<unsigned long>(GetLastError()), step);
    error = text;
    return false;
}

// GetTempFileNameA needs room for "quXXXX.tmp" within MAX_PATH.
constexpr DWORD MAX_TEMP_FOLDER_LENGTH = 246;

// Texts of start-up, by their French id.
constexpr int IDS_INSTALLER = 1000;
constexpr int IDS_NEED_ADMINISTRATOR = 1126;
constexpr int IDS_CLOSE_PRODUCT = 1127;
constexpr int IDS_INSTALLER_IN_ENGLISH = 1129;
constexpr int IDS_WINDOWS_NOT_SUPPORTED = 1130;

// Paths pass through buffers of the system's path length (261 for the default installation folder).
constexpr DWORD PATH_BUFFER = MAX_PATH;

bool ReadRegistrationString(const char* value, char (&buffer)[PATH_BUFFER])
{
    DWORD type = 0;
    DWORD size = sizeof buffer;
    if (SHGetValueA(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH, value, &type, buffer, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        buffer[0] = '\0';
        return false;
    }
    buffer[PATH_BUFFER - 1] = '\0';
    return true;
}

// "Uninstall.ulog" beside the file of path (which may be quoted), when it exists.
std::string LogBeside(const char* path)
{
    char log[PATH_BUFFER];
    lstrcpynA(log, path, PATH_BUFFER);
    PathUnquoteSpacesA(log);
    if (!PathRemoveFileSpecA(log) || !PathAppendA(log, UNINSTALL_LOG_NAME) || !PathFileExistsA(log))
        return std::string();
    return log;
}

// The installed product: the uninstall registration exists. Its main program is the kind-1 file of the
// previous uninstall log (beside the uninstaller that UninstallString names), else the program that
// DisplayIcon names; a program that no longer exists counts as unknown.
bool LocateInstalledProduct(const std::string& product, std::string& program)
{
    program.clear();
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);

    char value[PATH_BUFFER];
    if (ReadRegistrationString("UninstallString", value)) {
        const std::string log = LogBeside(value);
        CUninstallLog previous;
        if (!log.empty() && previous.Load(log.c_str(), product))
            program = previous.FindMainProgram();
    }
    if (program.empty() && ReadRegistrationString("DisplayIcon", value))
        program = ProgramPathFromDisplayIcon(value);
    if (!program.empty() && (program.size() >= PATH_BUFFER || !PathFileExistsA(program.c_str())))
        program.clear();
    return true;
}

}  // namespace

CInstallApp::CInstallApp() : m_installerMutex(INSTALLER_MUTEX_NAME, false, true) { SetWizardContext(this); }

CInstallApp::~CInstallApp() { ForgetWizardContext(this); }

bool CInstallApp::InitInstance()
{
    m_nExitCode = StartUp();
    if (m_nExitCode == STARTUP_DONE)
        RunInstallWizard();
    return false;
}

void CInstallApp::RunInstallWizard()
{
    CInstallDlg dlg;
    dlg.DoModal();
    m_hMainWnd = nullptr;
}

int CInstallApp::StartUp()
{
    if (!TakeInstallerMutex())
        return STARTUP_ANOTHER_INSTALLER;
    SettleLanguage();
    UpdateAppName();
    if (!CheckAdministrator())
        return STARTUP_NOT_ADMINISTRATOR;
    if (!WaitUntilProductClosed())
        return STARTUP_PRODUCT_RUNNING;
    if (!CheckWindowsVersion())
        return STARTUP_UNSUPPORTED_WINDOWS;
    if (!DetectInstallation())
        return STARTUP_UNREADABLE_VERSION;
    LoadPreviousLog();
    SetDefaultFolders();
    m_bAdvanced = false;
    m_bStartMenuShortcut = true;
    m_bDesktopShortcut = true;
    return STARTUP_DONE;
}

bool CInstallApp::TakeInstallerMutex()
{
    if (m_installerMutex.Wait(0))
        return true;
    ReportSystemError(ERROR_BUSY, "%s", 0);
    return false;
}

void CInstallApp::SettleLanguage()
{
    DWORD type = 0;
    DWORD stored = 0;
    DWORD size = sizeof stored;
    const bool read = SHGetValueA(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH, "QuLanguage", &type, &stored, &size) ==
                          ERROR_SUCCESS &&
                      type == REG_DWORD && size == sizeof stored;
    m_nLanguage = SettleStartupLanguage(GetDefaultLanguage(), read, stored);
}

bool CInstallApp::CheckAdministrator()
{
    if (IsAdministrator())
        return true;
    ShowMessageBox(LoadText(IDS_NEED_ADMINISTRATOR).c_str(), "", MB_ICONEXCLAMATION);
    return false;
}

bool CInstallApp::WaitUntilProductClosed()
{
    const std::string message = FormatText(IDS_CLOSE_PRODUCT, GetProductName(true));
    for (;;) {
        CNamedSemaphore semaphore;
        if (!semaphore.Open(PRODUCT_SEMAPHORE_NAME, true))
            return true;
        semaphore.Close();
        if (ShowMessageBox(message.c_str(), "", MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY)
            return false;
    }
}

bool CInstallApp::CheckWindowsVersion()
{
    const OSVERSIONINFOEXA& version = GetOsVersionInfo();
    if (IsSupportedWindowsVersion(version.dwMajorVersion, version.dwMinorVersion))
        return true;
    ShowMessageBox(LoadText(IDS_WINDOWS_NOT_SUPPORTED).c_str(), "", MB_ICONHAND);
    return false;
}

bool CInstallApp::DetectInstallation()
{
    m_nInstallStatus = INSTALL_STATUS_NONE;
    m_strInstalledVersion.clear();
    if (!LocateInstalledProduct(GetProductName(false), m_strInstalledProgram))
        return true;
    if (m_strInstalledProgram.empty()) {
        m_nInstallStatus = INSTALL_STATUS_SAME;
        return true;
    }
    VERSION_INFO info;
    info.nRequest = VI_ALL;
    if (!ReadVersionInfo(info, m_strInstalledProgram.c_str(), false)) {
        // Only the file version decides; a program that lacks one of the texts is still compared.
        VERSION_INFO fileVersion;
        fileVersion.nRequest = VI_FILE_VERSION;
        if (!ReadVersionInfo(fileVersion, m_strInstalledProgram.c_str(), false)) {
            const std::string message =
                "The version information of the installed program cannot be read:\r\n" + m_strInstalledProgram;
            ShowMessageBox(message.c_str(), "", MB_ICONHAND);
            return false;
        }
    }
    m_nInstallStatus = CompareInstalledVersion(info.nFileVersion);
    if (m_nInstallStatus == INSTALL_STATUS_OLDER || m_nInstallStatus == INSTALL_STATUS_NEWER)
        m_strInstalledVersion = info.strProductName + " " + info.strProductVersion;
    return true;
}

void CInstallApp::LoadPreviousLog()
{
    const std::string product = GetProductName(false);
    std::string log;
    if (m_nInstallStatus == INSTALL_STATUS_SAME || m_nInstallStatus == INSTALL_STATUS_OLDER) {
        char uninstaller[PATH_BUFFER];
        if (ReadRegistrationString("UninstallString", uninstaller))
            log = LogBeside(uninstaller);
        else if (!m_strInstalledProgram.empty())
            log = LogBeside(m_strInstalledProgram.c_str());
    }
    if (!log.empty() && m_uninstallLog.Load(log.c_str(), product)) {
        m_strInstallFolder = m_uninstallLog.m_strInstallPath;
        m_strStartMenuFolder = m_uninstallLog.m_strShortcutPath;
        return;
    }
    // No previous log: an empty one that still carries the product for its header.
    m_uninstallLog.Load(nullptr, product);
}

void CInstallApp::SetDefaultFolders()
{
    const std::string shortName = GetShortProductName();
    if (m_strInstallFolder.empty()) {
        char folder[PATH_BUFFER + 1] = {};
        DWORD type = 0;
        DWORD size = sizeof folder;
        if (!SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE) &&
            (SHGetValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
                         &type, folder, &size) != ERROR_SUCCESS ||
             type != REG_SZ || folder[0] == '\0')) {
            folder[0] = '\0';
            GetWindowsFolder(folder, PATH_BUFFER);
            PathStripToRootA(folder);
            PathAppendA(folder, "Program Files");
        }
        folder[PATH_BUFFER] = '\0';
        PathAppendA(folder, PUBLISHER_FOLDER_NAME);
        PathAppendA(folder, shortName.c_str());
        m_strInstallFolder = folder;
    }
    if (m_strStartMenuFolder.empty()) {
        char folder[PATH_BUFFER] = {};
        if (SHGetSpecialFolderPathA(nullptr, folder, CSIDL_COMMON_PROGRAMS, FALSE) ||
            SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PROGRAMS, FALSE)) {
            PathAppendA(folder, PUBLISHER_FOLDER_NAME);
            PathAppendA(folder, shortName.c_str());
            m_strStartMenuFolder = folder;
        }
    }
}

std::string CInstallApp::GetTitle(bool bProduct) const
{
    return ComposeTitle(LoadText(IDS_INSTALLER), m_nLanguage, bProduct);
}

int CInstallApp::GetInstallStatus(std::string* pVersion) const
{
    if (pVersion && (m_nInstallStatus == INSTALL_STATUS_NEWER || m_nInstallStatus == INSTALL_STATUS_OLDER))
        *pVersion = m_strInstalledVersion;
    return m_nInstallStatus;
}

int CInstallApp::GetTextId(int baseId) const
{
    return ResolveTextId(m_nLanguage, baseId, [](int id) { return LoadStringById(id) == "#"; });
}

std::string CInstallApp::LoadText(int baseId) const { return LoadStringById(GetTextId(baseId)); }

std::string CInstallApp::FormatText(int baseId, const std::string& arg1, const std::string& arg2) const
{
    return FormatMessageText(LoadText(baseId), arg1, arg2);
}

void CInstallApp::SetLanguage(int language)
{
    m_nLanguage = language;
    UpdateAppName();
    if (m_pWizard)
        m_pWizard->RefreshTexts();
    if (!HasInstallerTexts(language)) {
        const std::string message = FormatText(IDS_INSTALLER_IN_ENGLISH, GetProductName(true));
        ShowMessageBox(message.c_str(), "", MB_ICONINFORMATION | MB_OK);
    }
}

bool CInstallApp::CopyPayloadToTemp(std::string& error)
{
    HMODULE module = AfxGetResourceHandle();
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(PAYLOAD_RESOURCE_NAME),
                                   MAKEINTRESOURCEA(PAYLOAD_RESOURCE_TYPE));
    if (!resource)
        return FailStep("FindResource", error);
    const DWORD size = SizeofResource(module, resource);
    if (size == 0)
        return FailStep("SizeofResource", error);
    HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded)
        return FailStep("LoadResource", error);
    const void* bytes = LockResource(loaded);
    if (!bytes)
        return FailStep("LockResource", error);

    // In this run's private folder inside the temporary folder: nobody else can put a link where the copy
    // is written.
    const std::string folder = CUninstallLog::GetBackupFolder();
    if (folder.empty() || folder.size() > MAX_TEMP_FOLDER_LENGTH)
        return FailStep("GetTempPath", error);
    char name[MAX_PATH];
    if (!GetTempFileNameA(folder.c_str(), "qu", 0, name))
        return FailStep("GetTempFileName", error);
    // From here on a failure leaves no temporary file behind.
    TempFileGuard guard(name);
    // Others may read it while it is held, never change it: the archive that is verified is the one that is
    // extracted.
    FileHandle file(CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY, nullptr));
    if (!file)
        return FailStep("CreateFile", error);
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes, size, &written, nullptr))
        return FailStep("WriteFile", error);
    if (written != size) {
        SetLastError(ERROR_DISK_FULL);
        return FailStep("WriteFile", error);
    }
    if (!FlushFileBuffers(file.Get()))
        return FailStep("FlushFileBuffers", error);
    m_payloadHold = std::move(file);
    m_strPayloadFile = guard.Dismiss();
    return true;
}

void CInstallApp::DeletePayloadFile()
{
    m_payloadHold.Close();
    if (!m_strPayloadFile.empty())
        DeleteFileA(m_strPayloadFile.c_str());
    m_strPayloadFile.clear();
    CUninstallLog::RemoveBackupFolder();
}
