#include "RegistryBackup.h"

#include "Handles.h"
#include "Security.h"
#include "UninstallLog.h"

namespace detail {
REGISTRY_SAVE_CALLS& RegistrySaveCalls()
{
    static REGISTRY_SAVE_CALLS calls = {::RegSaveKeyA, ::RegRestoreKeyA};
    return calls;
}
}  // namespace detail

namespace {

// Enables a privilege for the lifetime of the object and disables it after.
class PrivilegeScope {
public:
    explicit PrivilegeScope(const char* name) : m_name(name) { EnablePrivilege(m_name, true); }
    ~PrivilegeScope()
    {
        const DWORD error = ::GetLastError();
        EnablePrivilege(m_name, false);
        ::SetLastError(error);
    }
    PrivilegeScope(const PrivilegeScope&) = delete;
    PrivilegeScope& operator=(const PrivilegeScope&) = delete;

private:
    const char* m_name;
};

void DeleteBackupFile(const std::string& path)
{
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(path.c_str());
}

}  // namespace

bool SaveRegistryKey(HKEY key, std::string& backup)
{
    backup.clear();
    if (!key)
        return false;
    // The save refuses to write over an existing file: only a free name is reserved.
    const std::string path = CUninstallLog::BackupFile(nullptr, false);
    if (path.empty())
        return false;
    LONG result;
    {
        PrivilegeScope privilege(SE_BACKUP_NAME);
        result = detail::RegistrySaveCalls().pfnSaveKey(key, path.c_str(), nullptr);
    }
    if (result != ERROR_SUCCESS) {
        DeleteBackupFile(path);
        ::SetLastError(static_cast<DWORD>(result));
        return false;
    }
    backup = path;
    return true;
}

void RestoreRegistryKey(HKEY root, const char* parent, const char* name, const std::string& backup, bool existed)
{
    PrivilegeScope privilege(SE_RESTORE_NAME);
    RegKeyHandle parentKey;
    if (::RegOpenKeyExA(root, parent, 0, KEY_ALL_ACCESS, parentKey.Receive()) != ERROR_SUCCESS) {
        // The backup is not needed any more, whatever became of the key.
        if (!backup.empty())
            DeleteBackupFile(backup);
        return;
    }
    if (!backup.empty()) {
        RegKeyHandle key;
        if (::RegOpenKeyExA(parentKey.Get(), name, 0, KEY_ALL_ACCESS, key.Receive()) == ERROR_SUCCESS)
            detail::RegistrySaveCalls().pfnRestoreKey(key.Get(), backup.c_str(), 0);
        DeleteBackupFile(backup);
    } else if (!existed) {
        DelRegTree(parentKey.Get(), name);
    }
}

LONG DelRegTree(HKEY parent, const char* name)
{
    {
        RegKeyHandle key;
        LONG result = ::RegOpenKeyA(parent, name, key.Receive());
        if (result != ERROR_SUCCESS)
            return result;
        for (;;) {
            // Deleting shifts the rest down, so the first subkey is always the next one.
            char subkey[256] = {};
            result = ::RegEnumKeyA(key.Get(), 0, subkey, sizeof subkey);
            if (result == ERROR_NO_MORE_ITEMS || result == ERROR_BADKEY)
                break;
            if (result != ERROR_SUCCESS)
                return result;
            result = DelRegTree(key.Get(), subkey);
            if (result != ERROR_SUCCESS)
                return result;
        }
    }
    return ::RegDeleteKeyA(parent, name);
}
