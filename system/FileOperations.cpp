// File and folder operations of the uninstall log: creating a folder path while recording each new folder,
// and moving or copying an existing item to a temporary backup before it is replaced.
#include "UninstallLog.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>

namespace {

// Room left in the temporary folder's path for the unique file name "quXXXX.tmp".
constexpr DWORD MAX_BACKUP_FOLDER_LENGTH = 246;

}  // namespace

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
    char folder[MAX_PATH];
    const DWORD folderLength = GetTempPathA(MAX_PATH, folder);
    if (folderLength == 0 || folderLength > MAX_BACKUP_FOLDER_LENGTH)
        return std::string();
    char name[MAX_PATH];
    if (!GetTempFileNameA(folder, "qu", 0, name))
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

    if (haveAttributes)
        SetFileAttributesA(path, attributes);
    // A failed copy may leave a partial file behind under the reserved name.
    SetFileAttributesA(name, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(name);
    return std::string();
}
