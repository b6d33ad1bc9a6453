/* verify-trust FILE: prints what WinVerifyTrust (Authenticode, no user interface, no revocation check) says of
   FILE, as the HRESULT in hex; 0 is a trusted signature. */
#include <windows.h>
#include <softpub.h>
#include <stdio.h>
#include <wintrust.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: verify-trust FILE\n");
        return 2;
    }
    WCHAR path[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, argv[1], -1, path, MAX_PATH))
        return 2;
    WINTRUST_FILE_INFO file;
    ZeroMemory(&file, sizeof file);
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path;
    WINTRUST_DATA data;
    ZeroMemory(&data, sizeof data);
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG result = WinVerifyTrust(NULL, &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(NULL, &action, &data);
    printf("%08lX\n", (unsigned long)result);
    return 0;
}
