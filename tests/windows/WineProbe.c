/* Started by scripts/wine-run --start: proves that a program of this build tree really runs in the tree's
   prefix (Wine ends a program it cannot load with exit code 0 and no output) and says how it sees the
   system. Writes one line to the file named on its command line.
   wine-probe.exe --hold: connects to the desktop and waits until the wine server ends it. Wine starts its
   desktop process from the first program that needs the desktop, with that program's output, and ends it
   once no program uses the desktop: held from the start (with no output), the desktop never takes over a
   test's output, which CTest would otherwise read until the desktop ended, minutes after the test. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

typedef BOOL(WINAPI *IsWow64ProcessFn)(HANDLE, PBOOL);

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    if (strcmp(argv[1], "--hold") == 0) {
        GetDesktopWindow();
        Sleep(INFINITE);
        return 0;
    }
    BOOL wow64 = FALSE;
    IsWow64ProcessFn isWow64 =
        (IsWow64ProcessFn)(void (*)(void))GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process");
    if (isWow64 != NULL && !isWow64(GetCurrentProcess(), &wow64))
        wow64 = FALSE;
    char programFiles[MAX_PATH] = "";
    if (!GetEnvironmentVariableA("ProgramFiles", programFiles, MAX_PATH))
        programFiles[0] = '\0';
    FILE *f = fopen(argv[1], "w");
    if (f == NULL)
        return 1;
    fprintf(f, "wine-probe: %d-bit program, %s, ProgramFiles=%s\n", (int)(sizeof(void *) * 8),
            wow64 ? "64-bit Windows (WOW64)" : (sizeof(void *) == 8 ? "64-bit Windows" : "32-bit Windows"),
            programFiles);
    return fclose(f) == 0 ? 0 : 1;
}
