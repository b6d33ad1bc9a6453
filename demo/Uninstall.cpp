// Uninstall.exe, the demo product's uninstaller. It reads "Uninstall.ulog" beside itself and undoes what the
// log lists, last record first: the registration of the main program, the uninstall key, links, files and
// the folders that became empty. Shared data files (entry kind 3) belong to the users and are kept.
//
//   Uninstall.exe [/S]      /S: silent, no questions and no messages; the result is the exit code only
//
// Exit codes:
//   0  everything was removed (kept shared data files count as done)
//   1  some items could not be removed (the final message lists them)
//   2  cancelled by the user (at the confirmation or while the product was running)
//   3  no usable log: missing, unreadable or without records; nothing was removed
//   4  silent run while the product is running; nothing was removed
//   5  the temporary copy was started with arguments it cannot use
//
// A running program cannot delete its own file. After the confirmation the uninstaller therefore copies
// itself to the temporary folder and starts the copy with
//   "<copy>" /Continue <original process> <result pipe> "<original Uninstall.exe>" [/S]
// where the two numbers are inherited handles. The copy removes everything but the original program and the
// folders that hold it, sends the result through the pipe and waits for the original, which exits with that
// result. It then deletes the original program and its folders, shows the final message and schedules its
// own deletion for the next restart. When no copy can be made or started, the original does the work itself
// and schedules its own file and folders for deletion at the next restart instead.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "CommandLineArgs.h"
#include "Handles.h"
#include "NamedObjects.h"
#include "PathRules.h"
#include "PlatformUtils.h"
#include "RegistryBackup.h"
#include "Security.h"
#include "UninstallLog.h"
#include "UninstallReport.h"

namespace {

enum UninstallExitCode {
    UNINSTALL_DONE = 0,
    UNINSTALL_INCOMPLETE = 1,
    UNINSTALL_CANCELLED = 2,
    UNINSTALL_NO_LOG = 3,
    UNINSTALL_PRODUCT_RUNNING = 4,
    UNINSTALL_BAD_ARGUMENTS = 5,
};

const char kSemaphoreName[] = "Global\\Plankora5.{a3526b56-ca7c-4e16-8a26-da7758a378fd}";
// Held by the product's installer for its whole run, and by this program for its own.
const char kInstallerMutexName[] = "Plankora5.{5ead623c-dfcd-474d-8e3c-e6978cac039e}";
// How long the copy waits for the mutex that the original has just let go.
const DWORD kMutexHandoverTimeout = 5000;
// Plankora.exe /Unregister exits with this code on success, like its registration run.
const DWORD kUnregisterSucceeded = static_cast<DWORD>(-10);
const DWORD kUnregisterTimeout = 60000;
const DWORD kOriginalExitTimeout = 60000;

struct Arguments {
    bool bSilent = false;
    bool bContinue = false;
    HANDLE hOriginal = nullptr;  // inherited by the copy: the original process
    HANDLE hResult = nullptr;    // inherited by the copy: write end of the pipe the original reads
    std::string strOriginal;     // the original Uninstall.exe
};

HANDLE ParseHandle(const std::string& text)
{
    if (text.empty())
        return nullptr;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (*end != '\0')
        return nullptr;
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
}

// Unknown arguments are ignored; false only for a /Continue without usable values.
bool ParseArguments(const char* args, Arguments& parsed)
{
    const std::vector<std::string> tokens = SplitArguments(args);
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (lstrcmpiA(tokens[i].c_str(), "/S") == 0) {
            parsed.bSilent = true;
        } else if (lstrcmpiA(tokens[i].c_str(), "/Continue") == 0) {
            if (i + 3 >= tokens.size())
                return false;
            parsed.bContinue = true;
            parsed.hOriginal = ParseHandle(tokens[i + 1]);
            parsed.hResult = ParseHandle(tokens[i + 2]);
            parsed.strOriginal = tokens[i + 3];
            i += 3;
            if (parsed.hOriginal == nullptr || parsed.hResult == nullptr || parsed.strOriginal.empty())
                return false;
        }
    }
    return true;
}

std::string GetOwnPath()
{
    char path[MAX_PATH + 1] = {};
    const DWORD len = GetModuleFileNameA(nullptr, path, MAX_PATH + 1);
    if (len == 0 || len > MAX_PATH)
        return std::string();
    return std::string(path, len);
}

std::string FolderOf(const std::string& path)
{
    char buffer[MAX_PATH] = {};
    if (path.size() >= MAX_PATH)
        return std::string();
    lstrcpynA(buffer, path.c_str(), MAX_PATH);
    if (!PathRemoveFileSpecA(buffer))
        return std::string();
    return buffer;
}

std::string GetTempFolder()
{
    char path[MAX_PATH + 1] = {};
    const DWORD len = GetTempPathA(MAX_PATH + 1, path);
    if (len == 0 || len > MAX_PATH)
        return std::string();
    return std::string(path, len);
}

bool SamePath(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

// The long form of an existing path (a program started through its short name reports that name).
std::string LongPath(const std::string& path)
{
    char buffer[MAX_PATH] = {};
    const DWORD len = GetLongPathNameA(path.c_str(), buffer, MAX_PATH);
    if (len == 0 || len >= MAX_PATH)
        return path;
    return std::string(buffer, len);
}

// True when path is folder or lies inside it.
bool IsWithin(const std::string& path, const std::string& folder)
{
    if (folder.empty() || path.size() < folder.size())
        return false;
    if (lstrcmpiA(path.substr(0, folder.size()).c_str(), folder.c_str()) != 0)
        return false;
    return path.size() == folder.size() || path[folder.size()] == '\\' || folder.back() == '\\';
}

bool IsMissing(const std::string& path)
{
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The product's semaphore exists while it runs; one that does not even admit waiting (another user's)
// exists all the same.
bool IsProductRunning()
{
    KernelHandle semaphore(OpenSemaphoreA(SYNCHRONIZE, FALSE, kSemaphoreName));
    return semaphore.IsValid() || GetLastError() == ERROR_ACCESS_DENIED;
}

class CUninstaller {
public:
    CUninstaller(bool bSilent, std::string strProgram)
        : m_bSilent(bSilent), m_strProgram(LongPath(strProgram)), m_strLogPath(FolderOf(m_strProgram))
    {
        if (!m_strLogPath.empty())
            m_strLogPath += std::string("\\") + ULOG_FILE_NAME;
    }

    // False when the log is missing, cannot be read, or holds no record, or when a record names its item by
    // anything but a full path without "." or ".." (the installer writes no other): such a log is not the
    // installer's, and a relative path would name a file wherever this program happens to run.
    bool LoadLog()
    {
        const bool bRead = !m_strLogPath.empty() && m_log.Load(m_strLogPath.c_str(), std::string());
        if (!bRead || m_log.GetOldFirst() == nullptr)
            return false;
        for (const LOG_RECORD* record = m_log.GetOldFirst(); record != nullptr; record = record->pNext) {
            const bool bNamed = record->nKind != LR_UNINSTALL_KEY && record->nKind != LR_SELF_REGISTRATION;
            if (bNamed && !record->strPath.empty() &&
                (record->strPath.size() >= MAX_PATH || !IsPlainFullPath(record->strPath)))
                return false;
        }
        return true;
    }

    std::string GetProduct() const
    {
        return m_log.m_strPreviousProduct.empty() ? std::string("this product") : m_log.m_strPreviousProduct;
    }
    std::string GetCaption() const
    {
        return m_log.m_strPreviousProduct.empty() ? std::string("Uninstall")
                                                  : "Uninstall " + m_log.m_strPreviousProduct;
    }
    const std::string& GetLogPath() const { return m_strLogPath; }

    int Message(const std::string& text, UINT style) const
    {
        return MessageBoxA(nullptr, text.c_str(), GetCaption().c_str(), style | MB_SETFOREGROUND);
    }

    // Undoes every record, then deletes the log. The original program and the folders that hold nothing
    // else stay for FinishOriginal.
    void RemoveInstallation();
    // After the original program has ended (bEnded) deletes it and its folders; otherwise schedules them
    // for deletion at the next restart.
    void FinishOriginal(bool bEnded);

    int GetResult() const { return m_failed.empty() ? UNINSTALL_DONE : UNINSTALL_INCOMPLETE; }
    void ShowReport() const;

private:
    void Unregister(const std::string& program);
    void RemoveUninstallKey();
    void RemoveItem(const std::string& path);
    void RemoveFolder(const std::string& path);
    void KeepSharedFile(const std::string& path);
    bool HoldsKeptFile(const std::string& folder) const;
    bool HoldsOnlyProgram(const std::string& folder) const;
    bool IsProgram(const LOG_RECORD& record) const;
    bool IsKeyOfAnotherInstallation() const;

    bool m_bSilent;
    std::string m_strProgram;  // the original Uninstall.exe
    std::string m_strLogPath;
    CUninstallLog m_log;
    std::vector<std::string> m_failed;        // items that could not be removed, in the order met
    std::vector<std::string> m_keptFiles;     // shared data files left in place
    std::vector<std::string> m_keptFolders;   // their folders, each once
    std::vector<std::string> m_busyFolders;   // folders not empty when their record came, deepest first
    std::vector<std::string> m_laterFolders;  // folders that hold only the original program
};

void CUninstaller::RemoveInstallation()
{
    const std::string mainProgram = m_log.FindMainProgram();
    // Records are acted on whether done or not: an item that exists is removed, a missing one is no failure.
    for (const LOG_RECORD* record = m_log.GetOldLast(); record != nullptr; record = record->pPrev) {
        switch (record->nKind) {
        case LR_SELF_REGISTRATION:
            Unregister(mainProgram);
            break;
        case LR_UNINSTALL_KEY:
            RemoveUninstallKey();
            break;
        case LR_FOLDER:
            if (!record->strPath.empty())
                RemoveFolder(record->strPath);
            break;
        case LR_FILE:
            if (record->strPath.empty() || IsProgram(*record))
                break;
            if (record->nCode == 3)
                KeepSharedFile(record->strPath);
            else
                RemoveItem(record->strPath);
            break;
        default:  // the three links
            if (!record->strPath.empty())
                RemoveItem(record->strPath);
            break;
        }
    }

    RemoveItem(m_strLogPath);
    // The log and the inner folders are gone now: the folders can be tried again.
    for (const std::string& folder : m_busyFolders) {
        if (IsMissing(folder) || RemoveDirectoryA(folder.c_str())) {
            SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHA, folder.c_str(), nullptr);
            continue;
        }
        if (HoldsOnlyProgram(folder))
            m_laterFolders.push_back(folder);
        else if (!HoldsKeptFile(folder))
            m_failed.push_back(folder);
    }
}

void CUninstaller::FinishOriginal(bool bEnded)
{
    if (!bEnded) {
        // Still running here: the system removes the program and its folders at the next restart.
        SetFileAttributesA(m_strProgram.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!MoveFileExA(m_strProgram.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
            m_failed.push_back(m_strProgram);
        for (const std::string& folder : m_laterFolders)
            MoveFileExA(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        return;
    }
    // The system may release the file of a process shortly after the process has ended (under load, seconds
    // later). A file still in use after that is reported, not left to the next restart: a deletion scheduled
    // for the restart would also take the uninstaller of an installation made before it.
    bool bDeleted = false;
    for (int attempt = 0; attempt < 50 && !bDeleted; ++attempt) {
        SetFileAttributesA(m_strProgram.c_str(), FILE_ATTRIBUTE_NORMAL);
        bDeleted = DeleteFileA(m_strProgram.c_str()) || IsMissing(m_strProgram);
        if (!bDeleted)
            Sleep(100);
    }
    if (!bDeleted) {
        m_failed.push_back(m_strProgram);
    } else {
        SHChangeNotify(SHCNE_DELETE, SHCNF_PATHA, m_strProgram.c_str(), nullptr);
    }
    for (const std::string& folder : m_laterFolders) {
        if (IsMissing(folder) || RemoveDirectoryA(folder.c_str()))
            SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHA, folder.c_str(), nullptr);
        else if (bDeleted)  // else the program is listed already
            m_failed.push_back(folder);
    }
}

void CUninstaller::Unregister(const std::string& program)
{
    const std::string item = "HKEY_CLASSES_ROOT entries of " + GetProduct();
    if (program.empty() || IsMissing(program)) {
        m_failed.push_back(item);
        return;
    }
    std::string command = "\"" + program + "\" /Unregister";
    const std::string folder = FolderOf(program);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNOACTIVATE;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
        m_failed.push_back(item);
        return;
    }
    KernelHandle process(pi.hProcess);
    KernelHandle thread(pi.hThread);
    DWORD code = 0;
    if (WaitForSingleObject(process.Get(), kUnregisterTimeout) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.Get(), &code) || code != kUnregisterSucceeded)
        m_failed.push_back(item);
}

// A later installation in another folder may have taken the key over: its UninstallString then names
// another uninstaller that exists, and that installation keeps its registration.
bool CUninstaller::IsKeyOfAnotherInstallation() const
{
    const std::string key = std::string(UNINSTALL_PARENT_KEY) + "\\" + UNINSTALL_KEY_NAME;
    char value[MAX_PATH] = {};
    DWORD type = 0;
    DWORD size = sizeof(value) - 1;
    if (SHGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "UninstallString", &type, value, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    PathUnquoteSpacesA(value);
    const std::string other = value;
    if (other.empty() || IsMissing(other))
        return false;
    return !SamePath(LongPath(other), m_strProgram) && !IsSameShellItem(other.c_str(), m_strProgram.c_str());
}

void CUninstaller::RemoveUninstallKey()
{
    if (IsKeyOfAnotherInstallation())
        return;
    RegKeyHandle parent;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_PARENT_KEY, 0, KEY_ALL_ACCESS, parent.Receive());
    if (rc == ERROR_SUCCESS)
        rc = DelRegTree(parent.Get(), UNINSTALL_KEY_NAME);
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        m_failed.push_back(std::string("HKEY_LOCAL_MACHINE\\") + UNINSTALL_PARENT_KEY + "\\" + UNINSTALL_KEY_NAME);
}

// A file or link: the installer made the programs read-only, so the attributes are cleared first, and put
// back when the file stays.
void CUninstaller::RemoveItem(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (!IsMissing(path))
            m_failed.push_back(path);
        return;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        m_failed.push_back(path);
        return;
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileA(path.c_str())) {
        SHChangeNotify(SHCNE_DELETE, SHCNF_PATHA, path.c_str(), nullptr);
        return;
    }
    SetFileAttributesA(path.c_str(), attributes);
    m_failed.push_back(path);
}

void CUninstaller::RemoveFolder(const std::string& path)
{
    if (IsMissing(path))
        return;
    if (RemoveDirectoryA(path.c_str()))
        SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHA, path.c_str(), nullptr);
    else
        m_busyFolders.push_back(path);
}

void CUninstaller::KeepSharedFile(const std::string& path)
{
    if (IsMissing(path))
        return;
    m_keptFiles.push_back(path);
    const std::string folder = FolderOf(path);
    for (const std::string& kept : m_keptFolders) {
        if (SamePath(kept, folder))
            return;
    }
    m_keptFolders.push_back(folder);
}

// The original program is left for FinishOriginal. Only an uninstaller record can name it in another form.
bool CUninstaller::IsProgram(const LOG_RECORD& record) const
{
    return SamePath(record.strPath, m_strProgram) ||
           (record.nCode == 2 && IsSameShellItem(record.strPath.c_str(), m_strProgram.c_str()));
}

bool CUninstaller::HoldsKeptFile(const std::string& folder) const
{
    for (const std::string& file : m_keptFiles) {
        if (IsWithin(file, folder))
            return true;
    }
    return false;
}

// True when folder holds nothing but the original program, maybe in subfolders on its way.
bool CUninstaller::HoldsOnlyProgram(const std::string& folder) const
{
    if (!IsWithin(m_strProgram, folder))
        return false;
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (!find)
        return false;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string child = folder + "\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!HoldsOnlyProgram(child))
                return false;
        } else if (!SamePath(child, m_strProgram)) {
            return false;
        }
    } while (FindNextFileA(find.Get(), &data));
    return true;
}

void CUninstaller::ShowReport() const
{
    if (!m_bSilent)
        Message(FormatUninstallReport(GetProduct(), m_failed, m_keptFolders),
                MB_OK | (m_failed.empty() ? MB_ICONINFORMATION : MB_ICONWARNING));
}

// Copies this program into a new folder of its own in the temporary folder, one that only the system and
// administrators may change (the copy runs elevated: nothing of the user's may replace it first). Empty
// when no copy could be made; a folder that exists already is never used.
std::string CopyToTemp(const std::string& program, const std::string& tempFolder)
{
    if (tempFolder.empty())
        return std::string();
    char stem[32];
    wsprintfA(stem, "Uninstall-%lX-", GetCurrentProcessId());
    for (int n = 0; n < 100; ++n) {
        const std::string folder = tempFolder + stem + std::to_string(n);
        const std::string copy = folder + "\\Uninstall.exe";
        if (copy.size() >= MAX_PATH)
            return std::string();
        if (!CreatePrivateFolder(folder.c_str())) {
            if (GetLastError() == ERROR_ALREADY_EXISTS)
                continue;
            return std::string();
        }
        if (CopyFileA(program.c_str(), copy.c_str(), TRUE)) {
            // The installed program is read-only; the copy must stay deletable.
            SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
            return copy;
        }
        RemoveDirectoryA(folder.c_str());
        return std::string();
    }
    return std::string();
}

// Starts the copy and waits for the result it sends. False when the copy could not be started; result then
// stays untouched.
bool ContinueInCopy(const std::string& program, const std::string& tempFolder, bool bSilent, int& result)
{
    TempFileGuard copy(CopyToTemp(program, tempFolder));
    if (!copy.IsSet())
        return false;
    // Whatever becomes of the copy's file, its folder goes unless the copy runs.
    const std::string copyFolder = FolderOf(copy.Path());
    auto removeFolder = MakeScopeGuard([&] {
        copy.Delete();
        RemoveDirectoryA(copyFolder.c_str());
    });

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    KernelHandle readEnd;
    KernelHandle writeEnd;
    {
        HANDLE r = nullptr;
        HANDLE w = nullptr;
        if (!CreatePipe(&r, &w, &inherit, 0))
            return false;
        readEnd.Reset(r);
        writeEnd.Reset(w);
    }
    SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);
    KernelHandle self;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), self.Receive(), SYNCHRONIZE,
                         TRUE, 0))
        return false;

    std::string command = "\"" + copy.Path() + "\" /Continue " +
                          std::to_string(reinterpret_cast<uintptr_t>(self.Get())) + " " +
                          std::to_string(reinterpret_cast<uintptr_t>(writeEnd.Get())) + " \"" + program + "\"";
    if (bSilent)
        command += " /S";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(copy.Path().c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, tempFolder.c_str(),
                        &si, &pi))
        return false;
    copy.Dismiss();  // the copy schedules its own deletion and its folder's
    removeFolder.release();
    KernelHandle process(pi.hProcess);
    KernelHandle thread(pi.hThread);
    // Only the copy may hold the write end: its end (or its crash) then breaks the pipe.
    writeEnd.Close();
    self.Close();

    DWORD sent = 0;
    DWORD got = 0;
    if (ReadFile(readEnd.Get(), &sent, sizeof sent, &got, nullptr) && got == sizeof sent)
        result = static_cast<int>(sent);
    else
        result = UNINSTALL_INCOMPLETE;
    return true;
}

// The copy in the temporary folder: the whole removal, then the original program once it has ended.
int RunCopy(const Arguments& args)
{
    KernelHandle original(args.hOriginal);
    KernelHandle resultPipe(args.hResult);
    // Handles that were not inherited from an original run: nothing is touched.
    if (WaitForSingleObject(original.Get(), 0) == WAIT_FAILED || GetFileType(resultPipe.Get()) != FILE_TYPE_PIPE) {
        original.Release();
        resultPipe.Release();
        return UNINSTALL_BAD_ARGUMENTS;
    }
    CUninstaller uninstaller(args.bSilent, args.strOriginal);
    // The original let go of the installer mutex just before starting this copy; an installer that took
    // it in between wins, and nothing is touched.
    CNamedMutex installerMutex(kInstallerMutexName, false, true);
    const bool bOwnsMutex = installerMutex.Wait(kMutexHandoverTimeout);
    auto send = [&](int result) {
        const DWORD value = static_cast<DWORD>(result);
        DWORD written = 0;
        WriteFile(resultPipe.Get(), &value, sizeof value, &written, nullptr);
        resultPipe.Close();
    };

    int result = UNINSTALL_NO_LOG;
    if (!bOwnsMutex) {
        result = UNINSTALL_PRODUCT_RUNNING;
        send(result);
    } else if (uninstaller.LoadLog()) {
        uninstaller.RemoveInstallation();
        send(uninstaller.GetResult());
        const bool bEnded = WaitForSingleObject(original.Get(), kOriginalExitTimeout) == WAIT_OBJECT_0;
        uninstaller.FinishOriginal(bEnded);
        result = uninstaller.GetResult();
        uninstaller.ShowReport();
    } else {
        send(result);
    }
    // Nothing can delete this copy while it runs; a failure here only leaves a file in the temporary folder.
    // Its folder goes after it.
    const std::string self = GetOwnPath();
    if (!self.empty() && MoveFileExA(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        MoveFileExA(FolderOf(self).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return result;
}

int RunOriginal(const Arguments& args)
{
    const std::string program = GetOwnPath();
    CUninstaller uninstaller(args.bSilent, program);
    if (!uninstaller.LoadLog()) {
        if (!args.bSilent)
            uninstaller.Message("The uninstall information \"" + uninstaller.GetLogPath() +
                                    "\" is missing or cannot be read. Nothing was removed.",
                                MB_OK | MB_ICONERROR);
        return UNINSTALL_NO_LOG;
    }
    // An installer at work would find its files pulled away: this run waits for it and then keeps others out.
    CNamedMutex installerMutex(kInstallerMutexName, false, true);
    const std::string setupRunning = "Setup of " + uninstaller.GetProduct() +
                                     " is running. Wait until it has finished, then press Retry.";
    while (!installerMutex.Wait(0)) {
        if (args.bSilent)
            return UNINSTALL_PRODUCT_RUNNING;
        if (uninstaller.Message(setupRunning, MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY)
            return UNINSTALL_CANCELLED;
    }
    if (!args.bSilent &&
        uninstaller.Message("Do you want to remove " + uninstaller.GetProduct() + " and all of its components?",
                            MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return UNINSTALL_CANCELLED;
    while (IsProductRunning()) {
        if (args.bSilent)
            return UNINSTALL_PRODUCT_RUNNING;
        if (uninstaller.Message(uninstaller.GetProduct() +
                                    " is running. Its files cannot be removed while it is in use.\n\n"
                                    "Close it, then press Retry.",
                                MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY)
            return UNINSTALL_CANCELLED;
    }

    // A working folder inside the installation would keep that folder from being removed.
    const std::string tempFolder = GetTempFolder();
    if (!tempFolder.empty())
        SetCurrentDirectoryA(tempFolder.c_str());
    int result = UNINSTALL_INCOMPLETE;
    // The copy takes the mutex over: it can only own it once this run has let go.
    installerMutex.Release();
    const auto setupStarted = [&] {
        if (!args.bSilent)
            uninstaller.Message("Setup of " + uninstaller.GetProduct() + " has started. Nothing was removed.",
                                MB_OK | MB_ICONEXCLAMATION);
        return UNINSTALL_PRODUCT_RUNNING;
    };
    if (ContinueInCopy(program, tempFolder, args.bSilent, result))
        return result == UNINSTALL_PRODUCT_RUNNING ? setupStarted() : result;
    if (!installerMutex.Wait(0))
        return setupStarted();
    uninstaller.RemoveInstallation();
    uninstaller.FinishOriginal(false);
    uninstaller.ShowReport();
    return uninstaller.GetResult();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR args, int)
{
    try {
        Arguments parsed;
        if (!ParseArguments(args, parsed))
            return UNINSTALL_BAD_ARGUMENTS;
        return parsed.bContinue ? RunCopy(parsed) : RunOriginal(parsed);
    } catch (...) {
        return UNINSTALL_INCOMPLETE;
    }
}
