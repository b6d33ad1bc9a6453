#include "InstallSequence.h"

#include "Handles.h"
#include "InstallContext.h"
#include "InstallRules.h"
#include "NamedObjects.h"
#include "ProductConstants.h"
#include "UninstallLog.h"
#include "WinApp.h"
#include "Security.h"
#include "Shortcut.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>

namespace {

// Texts of the sequence, by their French id.
constexpr int IDS_NEXT = 1006;
constexpr int IDS_OK = 1011;
constexpr int IDS_FAILED = 1012;
constexpr int IDS_UNINSTALL_SHORTCUT = 1013;
constexpr int IDS_SAMPLES_FOLDER = 1018;
constexpr int IDS_CLICK_TO_CONTINUE = 1106;
constexpr int IDS_PREPARING = 1114;
constexpr int IDS_COPYING_FILE = 1115;
constexpr int IDS_DATA_CONTROL = 1116;
constexpr int IDS_SHORTCUTS = 1117;
constexpr int IDS_REGISTRY = 1118;
constexpr int IDS_INSTALLATION_DATA = 1119;
constexpr int IDS_INSTALL_FAILED = 1121;

// Modify access for the Users group on shared data files.
constexpr DWORD SHARED_DATA_ACCESS = 0x13019F;

// The installed program's registration run succeeds with this exit code alone.
constexpr DWORD REGISTRATION_SUCCEEDED = 0xFFFFFFF6;  // -10

constexpr const char* REGISTRATION_SWITCHES = " /Register /Background";

bool SetStringValue(HKEY key, const char* name, const std::string& data)
{
    // The terminating zero is part of the data.
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
}

bool SetDwordValue(HKEY key, const char* name, DWORD data)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data) ==
           ERROR_SUCCESS;
}

// The path in double quotes when it holds a blank.
std::string QuotedPath(const std::string& path)
{
    char buffer[MAX_PATH];
    lstrcpynA(buffer, path.c_str(), MAX_PATH);
    PathQuoteSpacesA(buffer);
    return buffer;
}

}  // namespace

bool CInstallSequence::CopyPayload(std::string& error) { return m_app.CopyPayloadToTemp(error); }

bool CInstallSequence::RunInstallSequence()
{
    m_strProgramPath.clear();
    m_strUninstallerPath.clear();
    m_nFailureKind = EXTRACT_ERROR_NONE;
    m_bShortcutsOk = m_bRegistrationOk = m_bLogSaved = false;
    m_progress.AppendLine("", true);
    CWaitCursor wait;

    m_progress.SetStatusText(m_app.LoadText(IDS_PREPARING));
    std::string error;
    if (!CopyPayload(error)) {
        const std::string status = m_app.FormatText(IDS_INSTALL_FAILED, error);
        m_progress.SetStatusText(status);
        m_progress.AppendLine(status + "\r\n", false);
        m_nFailureKind = EXTRACT_ERROR_SYSTEM;
        return false;
    }
    m_progress.SetProgressPos(0);
    m_progress.ShowProgress();

    PayloadExtractor extractor;
    extractor.SetInstallFolder(m_app.GetInstallFolder());
    extractor.SetSamplesFolder(m_app.FormatText(IDS_SAMPLES_FOLDER, m_app.GetProductName(true)));
    extractor.SetCallback(&CInstallSequence::InstallCallback, this);
    if (!extractor.Extract(m_app.GetPayloadFile().c_str())) {
        m_nFailureKind = extractor.GetErrorKind();
        const std::string code = FormatExtractionErrorCode(m_nFailureKind, extractor.GetSystemError());
        m_progress.SetStatusText(m_app.FormatText(IDS_INSTALL_FAILED, code));
        m_app.DeletePayloadFile();
        // A backup that could not be put back stays in its folder, which the status names.
        const std::string kept = m_app.GetUninstallLog().Rollback();
        if (!kept.empty())
            m_progress.SetStatusText(m_app.FormatText(IDS_INSTALL_FAILED, code + ", " + kept));
        return false;
    }

    ProtectPrograms();
    if (m_app.WantsStartMenuShortcut() || m_app.WantsDesktopShortcut())
        m_bShortcutsOk = CreateShortcuts();
    m_bRegistrationOk = WriteRegistration();
    m_bLogSaved = SaveInstallationData();
    m_app.DeletePayloadFile();
    m_progress.SetStatusText(m_app.FormatText(IDS_CLICK_TO_CONTINUE, m_app.LoadText(IDS_NEXT)));
    return true;
}

int CInstallSequence::InstallCallback(ExtractEvent* pEvent)
{
    if (!pEvent || !pEvent->pUser)
        return EXTRACT_CONTINUE;
    return static_cast<CInstallSequence*>(pEvent->pUser)->OnEvent(*pEvent);
}

int CInstallSequence::OnEvent(ExtractEvent& event)
{
    // Progress is the only event with the top bit clear.
    if ((event.nCode & 0x80000000u) == 0) {
        m_progress.SetProgressPos(ComputeProgressPosition(event.nDone, event.nTotal));
        return EXTRACT_CONTINUE;
    }
    switch (event.nCode) {
    case EXTRACT_BEGIN: {
        const std::string text = m_app.LoadText(IDS_PREPARING);
        m_progress.SetStatusText(text);
        m_progress.AppendLine(text, false);
        return EXTRACT_CONTINUE;
    }
    case EXTRACT_ARCHIVE_OK:
        AppendResult(true);
        return EXTRACT_CONTINUE;
    case EXTRACT_FILE_BEGIN:
        return OnFileBegin(event);
    case EXTRACT_FILE_END:
        if (event.nKind == ENTRY_SHARED_DATA && event.pszPath)
            GrantUsersAccess(event.pszPath, SHARED_DATA_ACCESS, 0);
        m_app.GetUninstallLog().SetStatus(true, nullptr);
        AppendResult(true);
        return EXTRACT_CONTINUE;
    case EXTRACT_VERIFY: {
        const std::string text = m_app.LoadText(IDS_DATA_CONTROL);
        m_progress.SetStatusText(text);
        m_progress.AppendLine(text, false);
        return EXTRACT_CONTINUE;
    }
    case EXTRACT_END:
        AppendResult(true);
        // The extractor has cleared the current path by now: refresh the installation folder instead.
        SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA, m_app.GetInstallFolder().c_str(), nullptr);
        return EXTRACT_CONTINUE;
    case EXTRACT_FAILED:
        m_app.GetUninstallLog().SetStatus(false, nullptr);
        AppendResult(false);
        return EXTRACT_STOP;
    default:
        return EXTRACT_CONTINUE;
    }
}

int CInstallSequence::OnFileBegin(ExtractEvent& event)
{
    if (!event.pszPath)
        return EXTRACT_CONTINUE;
    const char* path = event.pszPath;
    CUninstallLog& log = m_app.GetUninstallLog();
    const bool keptFile = event.nKind == ENTRY_SHARED_DATA && log.IsKeptFile(path);
    // A shared file whose attributes cannot be read counts as there: it is never replaced on a guess.
    const DWORD attributes = event.nKind == ENTRY_SHARED_DATA ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    const DWORD lookupError = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : NO_ERROR;
    const bool exists = event.nKind == ENTRY_SHARED_DATA &&
                        (attributes != INVALID_FILE_ATTRIBUTES ||
                         (lookupError != ERROR_FILE_NOT_FOUND && lookupError != ERROR_PATH_NOT_FOUND));
    switch (DecideEntry(event.nKind, m_app.GetInstallStatus(), keptFile, exists)) {
    case EntryDecision::KeepSilently:
        GrantUsersAccess(path, SHARED_DATA_ACCESS, 0);
        return EXTRACT_SKIP;
    case EntryDecision::TakeOver:
        log.AddFile(path, event.nKind, true);
        log.SetStatus(true, nullptr);
        GrantUsersAccess(path, SHARED_DATA_ACCESS, 0);
        return EXTRACT_SKIP;
    case EntryDecision::SkipSample:
        return EXTRACT_SKIP;
    case EntryDecision::Write:
        break;
    }
    if (event.nKind == ENTRY_MAIN_PROGRAM)
        m_strProgramPath = path;
    else if (event.nKind == ENTRY_UNINSTALLER)
        m_strUninstallerPath = path;
    // The backup of a file that is replaced is a copy: the old file stays in place until the extractor puts
    // the complete new one over it, so an installation that ends abruptly leaves every file old or new. A
    // file that cannot be backed up is not replaced: the entry fails and the rollback leaves it as it is.
    const std::string text = m_app.FormatText(IDS_COPYING_FILE, QuotedPath(path));
    m_progress.SetStatusPath(text);
    m_progress.AppendLine(text, false);
    if (!log.AddFile(path, event.nKind, true)) {
        event.dwError = GetLastError();
        return EXTRACT_FAIL;
    }
    return EXTRACT_CONTINUE;
}

void CInstallSequence::ProtectPrograms()
{
    for (const std::string* path : {&m_strProgramPath, &m_strUninstallerPath}) {
        const DWORD attributes = GetFileAttributesA(path->c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES)
            SetFileAttributesA(path->c_str(), attributes | FILE_ATTRIBUTE_READONLY);
    }
}

bool CInstallSequence::CreateOneShortcut(int selector, const std::string& folder, const std::string& target,
                                         const std::string& name)
{
    CUninstallLog& log = m_app.GetUninstallLog();
    log.AddShortcut(selector, folder.c_str());
    std::string link;
    if (CreateShortcut(target.c_str(), folder.c_str(), name.c_str(), &link)) {
        log.SetStatus(true, link.c_str());
        return true;
    }
    log.SetStatus(false, nullptr);
    return false;
}

bool CInstallSequence::CreateShortcuts()
{
    const std::string text = m_app.LoadText(IDS_SHORTCUTS);
    m_progress.SetStatusText(text);
    m_progress.AppendLine(text, false);
    bool ok = true;
    const std::string programName = m_app.GetProductName(false);
    if (m_app.WantsStartMenuShortcut()) {
        const std::string& folder = m_app.GetStartMenuFolder();
        ok = CreateOneShortcut(0, folder, m_strProgramPath, programName) && ok;
        const std::string uninstallName = m_app.FormatText(IDS_UNINSTALL_SHORTCUT, m_app.GetProductName(true));
        ok = CreateOneShortcut(1, folder, m_strUninstallerPath, uninstallName) && ok;
    }
    if (m_app.WantsDesktopShortcut()) {
        char desktop[MAX_PATH] = {};
        const HWND owner = m_progress.GetOwnerWindow();
        if (!SHGetSpecialFolderPathA(owner, desktop, CSIDL_COMMON_DESKTOPDIRECTORY, FALSE) &&
            !SHGetSpecialFolderPathA(owner, desktop, CSIDL_DESKTOPDIRECTORY, FALSE))
            desktop[0] = '\0';
        ok = CreateOneShortcut(2, desktop, m_strProgramPath, programName) && ok;
    }
    AppendResult(ok);
    return ok;
}

bool CInstallSequence::WriteRegistration()
{
    const std::string text = m_app.LoadText(IDS_REGISTRY);
    m_progress.SetStatusText(text);
    m_progress.AppendLine(text, false);

    bool ok = true;
    RegKeyHandle uninstall;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_ROOT, 0, KEY_ALL_ACCESS, uninstall.Receive()) != ERROR_SUCCESS) {
        ok = false;
    } else {
        RegKeyHandle product;
        DWORD disposition = 0;
        if (RegCreateKeyExA(uninstall.Get(), REGISTRATION_KEY_NAME, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, product.Receive(), &disposition) != ERROR_SUCCESS) {
            ok = false;
        } else {
            // An existing key is saved before it changes; a created one is deleted on undo.
            m_app.GetUninstallLog().AddUninstallKey(disposition == REG_OPENED_EXISTING_KEY ? product.Get() : nullptr);
            const HKEY key = product.Get();
            // Only the name and the uninstall command are essential; the rest is information.
            ok = SetStringValue(key, "DisplayName", m_app.GetProductName(false)) && ok;
            ok = SetStringValue(key, "UninstallString", m_strUninstallerPath) && ok;
            SetStringValue(key, "DisplayIcon", m_strProgramPath + ",0");
            SetStringValue(key, "DisplayVersion", "5.23.9.1");
            SetStringValue(key, "Publisher", PUBLISHER_FOLDER_NAME);
            SetStringValue(key, "URLInfoAbout", PUBLISHER_WEB_ADDRESS);
            SetStringValue(key, "HelpLink", PUBLISHER_WEB_ADDRESS);
            SetStringValue(key, "URLUpdateInfo", PUBLISHER_WEB_ADDRESS);
            SetStringValue(key, "HelpTelephone", PUBLISHER_TELEPHONE);
            SetDwordValue(key, "NoModify", 1);
            SetDwordValue(key, "NoRepair", 1);
            SetDwordValue(key, "QuLanguage", static_cast<DWORD>(m_app.GetLanguage()));
            product.Close();
            m_app.GetUninstallLog().SetStatus(ok, nullptr);
        }
    }
    uninstall.Close();

    // The registration run shares the line of the registry step.
    ok = RunRegistration() && ok;
    AppendResult(ok);
    return ok;
}

bool CInstallSequence::RunRegistration()
{
    m_app.GetUninstallLog().AddSelfRegistration();

    char program[MAX_PATH] = {};
    if (GetOsVersionInfo().dwPlatformId == VER_PLATFORM_WIN32_NT) {
        lstrcpynA(program, m_strProgramPath.c_str(), MAX_PATH);
        PathQuoteSpacesA(program);
    } else if (GetShortPathNameA(m_strProgramPath.c_str(), program, MAX_PATH) >= MAX_PATH) {
        program[0] = '\0';
    }
    std::string command = program;
    command += REGISTRATION_SWITCHES;
    char folder[MAX_PATH];
    lstrcpynA(folder, m_strProgramPath.c_str(), MAX_PATH);
    PathRemoveFileSpecA(folder);

    m_app.GetInstallerMutex().Release();
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNOACTIVATE;
    PROCESS_INFORMATION info = {};
    // Without a program there is nothing to run: the command line would start whatever "/Register" names.
    const bool started = program[0] != '\0' &&
                         CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, HIGH_PRIORITY_CLASS, nullptr,
                                        folder[0] ? folder : nullptr, &startup, &info);
    if (!started) {
        m_app.GetInstallerMutex().Wait(0);
        m_app.GetUninstallLog().SetStatus(false, nullptr);
        return false;
    }
    KernelHandle process(info.hProcess);
    KernelHandle thread(info.hThread);
    WaitForSingleObject(process.Get(), INFINITE);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.Get(), &exitCode))
        exitCode = 0;
    m_app.GetInstallerMutex().Wait(0);
    const bool ok = exitCode == REGISTRATION_SUCCEEDED;
    m_app.GetUninstallLog().SetStatus(ok, nullptr);
    if (ok)
        SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
    return ok;
}

bool CInstallSequence::SaveInstallationData()
{
    const std::string text = m_app.LoadText(IDS_INSTALLATION_DATA);
    m_progress.SetStatusText(text);
    m_progress.AppendLine(text, false);
    char path[MAX_PATH];
    lstrcpynA(path, m_strUninstallerPath.c_str(), MAX_PATH);
    const bool havePath = !m_strUninstallerPath.empty() && m_strUninstallerPath.size() < MAX_PATH &&
                          PathRemoveFileSpecA(path) && PathAppendA(path, UNINSTALL_LOG_NAME);
    // Without a log path Save still runs, on an empty path that it cannot create: it discards the backups
    // of this run, which would otherwise stay in the temporary folder.
    const bool saved =
        m_app.GetUninstallLog().Save(havePath ? path : "", m_app.GetInstallFolder(), m_app.GetStartMenuFolder());
    const bool ok = havePath && saved;
    AppendResult(ok);
    return ok;
}

void CInstallSequence::AppendResult(bool ok)
{
    m_progress.AppendLine(m_app.LoadText(ok ? IDS_OK : IDS_FAILED) + "\r\n", false);
}
