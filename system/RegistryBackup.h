// Saving a registry key with its whole subtree to a temporary file, putting it back, and deleting a key
// with every subkey: the two halves of undoing a change to the product's uninstall registration.
#pragma once

#include <windows.h>

#include <string>

// The product's uninstall registration: this key under HKEY_LOCAL_MACHINE.
constexpr const char* UNINSTALL_PARENT_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* UNINSTALL_KEY_NAME = "Plankora 5";

// The two calls that need privileges, replaceable so that tests can watch them.
struct REGISTRY_SAVE_CALLS {
    LONG(WINAPI* pfnSaveKey)(HKEY key, LPCSTR file, LPSECURITY_ATTRIBUTES security);
    LONG(WINAPI* pfnRestoreKey)(HKEY key, LPCSTR file, DWORD flags);
};
namespace detail {
REGISTRY_SAVE_CALLS& RegistrySaveCalls();
}

// Saves key (opened with KEY_ALL_ACCESS) and its subtree into a new "qu" file of the temporary folder,
// with SeBackupPrivilege enabled around the call. backup receives the file's path, or stays empty when
// no name could be reserved or the save failed (a partly written file is deleted then).
bool SaveRegistryKey(HKEY key, std::string& backup);

// Undoes a change to root\parent\name, with SeRestorePrivilege enabled for the duration:
// - backup not empty: the saved subtree replaces the key's values and subkeys; the file is deleted in any case;
// - backup empty and the key did not exist before: the key is deleted with every subkey;
// - backup empty but the key existed (its save failed): the key is left as it is.
// Failures are not reported: undo goes on with the next change.
void RestoreRegistryKey(HKEY root, const char* parent, const char* name, const std::string& backup, bool existed);

// Deletes parent\name with all its subkeys, deepest first. A subkey that cannot be deleted stops it and
// leaves the key in place. Returns the system error code, ERROR_SUCCESS when the key is gone.
LONG DelRegTree(HKEY parent, const char* name);
