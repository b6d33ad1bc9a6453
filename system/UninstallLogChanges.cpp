// The uninstall log's changes: recording them as they are made, undoing them after a failed run, and
// writing the log file after a successful one.
#include "UninstallLog.h"

#include "Handles.h"
#include "PlatformUtils.h"
#include "RegistryBackup.h"
#include "Security.h"

#include <shlwapi.h>

#include <cstring>

namespace {

constexpr DWORD LOG_FILE_ATTRIBUTES =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool IsExistingFile(const std::string& path)
{
    if (path.empty())
        return false;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void DeleteItem(const std::string& path)
{
    if (path.empty())
        return;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

// Puts a backup back at target in one step, over whatever this run left there; the move keeps the
// backup's attributes. When it cannot, the backup stays where it is and so does the item at target: the
// old item is never thrown away before it is back.
bool RestoreBackup(const std::string& backup, const std::string& target)
{
    // A read-only item of this run would refuse the replacement.
    const DWORD attributes = GetFileAttributesA(target.c_str());
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    // The temporary folder may lie on another volume.
    if (MoveFileExA(backup.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH))
        return true;
    // The Windows 9x family has no MoveFileEx: there the item of this run has to go first.
    if (GetLastError() == ERROR_CALL_NOT_IMPLEMENTED &&
        (DeleteFileA(target.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) && MoveFileA(backup.c_str(), target.c_str()))
        return true;
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(target.c_str(), attributes);
    return false;
}

// COM for the shell's item comparison, when this thread has not initialised it already.
class ComScope {
public:
    ComScope() : m_hr(CoInitialize(nullptr)) {}
    ~ComScope()
    {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT m_hr;
};

// The spelling that two paths of one shell item share: full, with long names, upper case, without a trailing
// backslash. It only narrows the candidates for the shell's comparison, which decides.
std::string ShellItemKey(const std::string& path)
{
    char full[MAX_PATH] = {};
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return path;
    char longName[MAX_PATH] = {};
    const DWORD longLength = GetLongPathNameA(full, longName, MAX_PATH);
    std::string key = longLength > 0 && longLength < MAX_PATH ? longName : full;
    while (key.size() > 3 && key.back() == '\\')
        key.pop_back();
    CharUpperBuffA(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

bool WriteText(HANDLE file, const std::string& text)
{
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

// The folder that holds path ("." for a bare name).
std::string FolderOf(const char* path)
{
    char folder[MAX_PATH] = {};
    if (std::strlen(path) >= MAX_PATH)
        return std::string();
    std::strcpy(folder, path);
    if (!PathRemoveFileSpecA(folder) || folder[0] == '\0')
        return ".";
    return folder;
}

}  // namespace

bool CUninstallLog::IsKeptFile(const char* path) const
{
    if (!path)
        return false;
    for (const LOG_RECORD* record = m_pOldFirst; record; record = record->pNext) {
        if (record->nKind == LR_FILE && record->bDone == 1 && record->strPath == path)
            return true;
    }
    return false;
}

bool CUninstallLog::AddFile(const char* path, int nEntryKind, bool bCopyBackup)
{
    // Without a path the record is still made: the caller's SetStatus must not reach the one before.
    if (!path)
        path = "";
    if (std::strlen(path) < MAX_PATH) {
        char folder[MAX_PATH];
        std::strcpy(folder, path);
        if (PathRemoveFileSpecA(folder) && folder[0])
            CreateFolderPath(folder);
    }
    auto* record = new LOG_RECORD;
    record->nKind = LR_FILE;
    record->strPath = path;
    record->nCode = nEntryKind;
    record->bCopyBackup = bCopyBackup;
    AppendRecord(m_pFirst, m_pLast, record);
    if (IsExistingFile(record->strPath)) {
        record->bExisted = true;
        record->strBackup = BackupFile(path, bCopyBackup);
        if (record->strBackup.empty()) {
            if (GetLastError() == NO_ERROR)
                SetLastError(ERROR_CANT_ACCESS_FILE);
            return false;
        }
        ReadFileAccessList(bCopyBackup ? path : record->strBackup.c_str(), record->strBackupSecurity);
    }
    return true;
}

void CUninstallLog::AddShortcut(int nSelector, const char* folder)
{
    CreateFolderPath(folder);
    auto* record = new LOG_RECORD;
    record->nKind = nSelector == 0   ? LR_MENU_PROGRAM_SHORTCUT
                    : nSelector == 1 ? LR_MENU_UNINSTALL_SHORTCUT
                                     : LR_DESKTOP_SHORTCUT;
    AppendRecord(m_pFirst, m_pLast, record);
    for (const LOG_RECORD* old = m_pOldFirst; old; old = old->pNext) {
        if (old->nKind != record->nKind)
            continue;
        // The previous link goes back under its own name on undo, whatever the new one is called.
        if (IsExistingFile(old->strPath)) {
            record->strBackup = BackupFile(old->strPath.c_str(), false);
            if (!record->strBackup.empty())
                record->strBackupOrigin = old->strPath;
        }
        break;
    }
}

void CUninstallLog::AddUninstallKey(HKEY hKey)
{
    auto* record = new LOG_RECORD;
    record->nKind = LR_UNINSTALL_KEY;
    AppendRecord(m_pFirst, m_pLast, record);
    if (hKey) {
        record->bExisted = true;
        SaveRegistryKey(hKey, record->strBackup);
    }
}

void CUninstallLog::AddSelfRegistration()
{
    auto* record = new LOG_RECORD;
    record->nKind = LR_SELF_REGISTRATION;
    AppendRecord(m_pFirst, m_pLast, record);
}

void CUninstallLog::SetStatus(bool bDone, const char* path)
{
    if (!m_pLast)
        return;
    m_pLast->bDone = bDone ? 1 : 0;
    if (path)
        m_pLast->strPath = path;
}

std::string CUninstallLog::Rollback()
{
    std::string kept;
    while (m_pLast) {
        LOG_RECORD* record = m_pLast;
        switch (record->nKind) {
        case LR_FOLDER:
            RemoveDirectoryA(record->strPath.c_str());
            break;
        case LR_UNINSTALL_KEY:
            RestoreRegistryKey(HKEY_LOCAL_MACHINE, UNINSTALL_PARENT_KEY, UNINSTALL_KEY_NAME, record->strBackup,
                               record->bExisted);
            break;
        case LR_SELF_REGISTRATION:
            break;
        default: {
            // A file only copied to its backup and never replaced (not done) is still the old one in place.
            if (record->nKind == LR_FILE && record->bCopyBackup && !record->bDone && !record->strBackup.empty() &&
                IsExistingFile(record->strPath)) {
                DeleteItem(record->strBackup);
                break;
            }
            const std::string& target = record->strBackupOrigin.empty() ? record->strPath : record->strBackupOrigin;
            if (!record->strBackup.empty() && !target.empty()) {
                if (!RestoreBackup(record->strBackup, target)) {
                    kept = FolderOf(record->strBackup.c_str());
                    break;
                }
                // The file's own access list goes back with it: the backup has the backup folder's.
                WriteFileAccessList(target.c_str(), record->strBackupSecurity);
                // A link whose name changed between versions: the new one goes too.
                if (target != record->strPath)
                    DeleteItem(record->strPath);
                break;
            }
            // A file that existed and has no backup stays when it was not replaced, or when it was only
            // copied (taken over in place): either way it is still the user's own.
            if (!(record->nKind == LR_FILE && record->bExisted && (!record->bDone || record->bCopyBackup)))
                DeleteItem(record->strPath);
            break;
        }
        }
        UnlinkRecord(m_pFirst, m_pLast, record);
        delete record;
    }
    RemoveBackupFolder();
    return kept;
}

bool CUninstallLog::Save(const char* logPath, const std::string& installPath, const std::string& shortcutPath)
{
    if (m_pOldFirst) {
        ComScope com;
        MergeLogRecords(m_pOldFirst, m_pOldLast, m_pFirst, m_pLast,
                        [](const std::string& a, const std::string& b) {
                            return IsSameShellItem(a.c_str(), b.c_str());
                        },
                        ShellItemKey);
    }

    // Backups go in every case, whatever becomes of the file.
    auto discardBackups = MakeScopeGuard([this] {
        for (LOG_RECORD* record = m_pFirst; record; record = record->pNext) {
            if (!record->strBackup.empty()) {
                DeleteItem(record->strBackup);
                record->strBackup.clear();
                record->strBackupOrigin.clear();
            }
        }
        RemoveBackupFolder();
    });
    if (!logPath || !*logPath)
        return false;

    // The whole file is written under a temporary name beside the log and then put in its place, so a
    // failure leaves the previous log as it was.
    const std::string folder = FolderOf(logPath);
    char tempName[MAX_PATH] = {};
    if (folder.empty() || !GetTempFileNameA(folder.c_str(), "qu", 0, tempName))
        return false;
    TempFileGuard temp(tempName);
    {
        FileHandle file(CreateFileA(tempName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
        if (!file)
            return false;
        for (const std::string& line : FormatHeaderLines(m_strProduct, m_strPreviousProduct, installPath,
                                                         shortcutPath)) {
            if (!WriteText(file.Get(), line))
                return false;
        }
        int sequence = 0;
        for (LOG_RECORD* record = m_pFirst; record; record = record->pNext) {
            if (const char* fixed = GetFixedRecordText(record->nKind))
                record->strPath = fixed;
            if (!WriteText(file.Get(), FormatRecordLine(sequence++, record->nKind, record->nCode,
                                                        record->bDone != 0, record->strPath)))
                return false;
        }
        if (!file.Close())
            return false;
    }

    // A read-only log of an earlier run is replaced too.
    const DWORD previousAttributes = GetFileAttributesA(logPath);
    SetFileAttributesA(logPath, FILE_ATTRIBUTE_NORMAL);
    bool replaced = MoveFileExA(tempName, logPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    // The Windows 9x family has no MoveFileEx: there the old log has to go first.
    if (!replaced && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED)
        replaced = (DeleteFileA(logPath) || GetLastError() == ERROR_FILE_NOT_FOUND) && MoveFileA(tempName, logPath);
    if (!replaced) {
        if (previousAttributes != INVALID_FILE_ATTRIBUTES)
            SetFileAttributesA(logPath, previousAttributes);
        return false;
    }
    temp.Dismiss();
    SetFileAttributesA(logPath, LOG_FILE_ATTRIBUTES);
    return true;
}
