// File and folder operations of the uninstall log: creating a folder path while recording each new folder,
// and moving or copying an existing item to a temporary backup before it is replaced.
#include "UninstallLog.h"

#include "Security.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>

namespace {

// Room left in a folder's path for the unique file name "quXXXX.tmp".
constexpr size_t MAX_BACKUP_FOLDER_LENGTH = 246;

std::string& BackupFolderPath()
{
    static std::string path;
    return path;
}

// The temporary folder the backup folder was made in.
std::string& BackupFolderParent()
{
    static std::string path;
    return path;
}

}  // namespace

std::string CUninstallLog::GetBackupFolder()
{
    std::string& folder = BackupFolderPath();
    char temp[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    if (!folder.empty() && BackupFolderParent() == temp && PathIsDirectoryA(folder.c_str()))
        return folder;
    folder.clear();
    // Room for the folder's own "quXXXX.tmp\" below the temporary folder.
    if (length + 11 > MAX_BACKUP_FOLDER_LENGTH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return folder;
    }
    BackupFolderParent() = temp;
    // A unique "qu" name, made a folder of our own. A name that someone else took meanwhile (even with a
    // link to elsewhere) makes the creation fail, and the next name is tried.
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[MAX_PATH];
        if (!GetTempFileNameA(temp, "qu", 0, name))
            return folder;
        DeleteFileA(name);
        if (CreatePrivateFolder(name)) {
            folder = std::string(name) + "\\";
            return folder;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return folder;
    }
    return folder;
}

void CUninstallLog::RemoveBackupFolder()
{
    std::string& folder = BackupFolderPath();
    if (!folder.empty() && RemoveDirectoryA(folder.c_str()))
        folder.clear();
}

void CUninstallLog::CreateFolderPath(const char* path)
{
    if (!path)
        return;
    // A longer path is refused rather than cut: cutting it would create folders under a wrong name.
    const size_t length = std::strlen(path);
    if (length == 0 || length >= MAX_PATH)
        return;
    char buffer[MAX_PATH];
    std::memcpy(buffer, path, length + 1);

    // The root (drive) is never created; the walk starts at the first folder below it.
    const char* component = PathFindNextComponentA(buffer);
    while (component && *component) {
        const char* next = PathFindNextComponentA(component);
        const bool cut = next && next > component && next[-1] == '\\';
        if (cut)
            buffer[next - 1 - buffer] = '\0';
        if (!PathIsDirectoryA(buffer)) {
            if (!CreateDirectoryA(buffer, nullptr))
                return;  // no deeper folder can be created
            SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHA, buffer, nullptr);
            auto* record = new LOG_RECORD;
            record->nKind = LR_FOLDER;
            record->strPath = buffer;
            record->bDone = 1;
            record->nCode = -1;
            AppendRecord(m_pFirst, m_pLast, record);
        }
        if (cut)
            buffer[next - 1 - buffer] = '\\';
        component = next;
    }
}

std::string CUninstallLog::BackupFile(const char* path, bool bCopy)
{
    const std::string folder = GetBackupFolder();
    if (folder.empty() || folder.size() > MAX_BACKUP_FOLDER_LENGTH) {
        if (!folder.empty() || GetLastError() == NO_ERROR)
            SetLastError(folder.empty() ? ERROR_PATH_NOT_FOUND : ERROR_FILENAME_EXCED_RANGE);
        return std::string();
    }
    char name[MAX_PATH];
    if (!GetTempFileNameA(folder.c_str(), "qu", 0, name))
        return std::string();
    // Only the unique name is wanted: the move needs a target that does not exist.
    DeleteFileA(name);
    if (!path)
        return name;

    // Read-only or hidden items cannot be moved or overwritten-copied until their attributes are cleared.
    const DWORD attributes = GetFileAttributesA(path);
    const bool haveAttributes = attributes != INVALID_FILE_ATTRIBUTES;
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);

    if (bCopy) {
        if (CopyFileA(path, name, FALSE)) {
            if (haveAttributes) {
                SetFileAttributesA(path, attributes);
                SetFileAttributesA(name, attributes);
            }
            return name;
        }
    } else if (MoveFileA(path, name)) {
        if (haveAttributes)
            SetFileAttributesA(name, attributes);
        return name;
    }

    const DWORD error = GetLastError();
    if (haveAttributes)
        SetFileAttributesA(path, attributes);
    // A failed copy may leave a partial file behind under the reserved name.
    SetFileAttributesA(name, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(name);
    SetLastError(error);
    return std::string();
}
