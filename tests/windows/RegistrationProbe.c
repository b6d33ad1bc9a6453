/* registration-probe.exe: stands in for the installed program in the registration run. Exits with -10 only
   when its command line is " /Register /Background", its working folder is its own folder, and it can take
   the installer mutex (which the installer must have released); otherwise with 1 to 4. */
#include <windows.h>

#include <string.h>

int main(int argc, char** argv)
{
    char self[MAX_PATH], folder[MAX_PATH];
    HANDLE mutex;
    DWORD wait;
    char* slash;
    if (argc != 3 || strcmp(argv[1], "/Register") != 0 || strcmp(argv[2], "/Background") != 0)
        return 1;
    if (!GetModuleFileNameA(NULL, self, MAX_PATH) || !GetCurrentDirectoryA(MAX_PATH, folder))
        return 2;
    slash = strrchr(self, '\\');
    if (!slash)
        return 2;
    *slash = '\0';
    if (lstrcmpiA(self, folder) != 0)
        return 3;
    mutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE,
                       "Global\\Plankora5.{5ead623c-dfcd-474d-8e3c-e6978cac039e}");
    if (!mutex)
        return 4;
    wait = WaitForSingleObject(mutex, 0);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return 4;
    }
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    return -10;
}
