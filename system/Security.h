// What the installer asks of the Windows security system. Each operation reports success on systems
// outside the NT family without calling anything; none throws.
#pragma once

#include <windows.h>

// True when the current user belongs to Administrators. On failure, *phr receives the HRESULT.
bool IsAdministrator(HRESULT* phr = nullptr);

// Enables or disables a privilege of the process token; false when it cannot be set, among others when
// the token does not hold it.
bool EnablePrivilege(const char* name, bool enable);

// Gives the Users group one explicit access-allowed ACE with the mask and ACE flags on a file or folder,
// replacing any earlier Users ACE; true when the new DACL was written. False for a reparse point (a junction
// or symbolic link) and for a file with more than one name (a hard link), last error ERROR_CANT_ACCESS_FILE:
// access goes to the item itself, never to where a link leads.
bool GrantUsersAccess(const char* path, DWORD accessMask, BYTE aceFlags);

// The security of a folder that only the system and administrators may use: full access for both,
// inherited by everything inside, nothing inherited from the parent. Null when it cannot be built; free
// it with LocalFree.
PSECURITY_DESCRIPTOR BuildPrivateFolderSecurity();

// Creates a new folder with that security (outside the NT family: a plain folder). False when the path
// exists already: a folder that someone else made first is never taken for one's own.
bool CreatePrivateFolder(const char* path);
