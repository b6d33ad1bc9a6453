// hold-file PATH NAME: opens PATH without delete sharing, signals the event NAME_ready and keeps the file
// open until the event NAME_release is signalled (at most one minute).
#include <windows.h>

#include <string>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    const std::string base = argv[2];
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, (base + "_ready").c_str());
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, (base + "_release").c_str());
    if (!ready || !release)
        return 4;
    SetEvent(ready);
    WaitForSingleObject(release, 60000);
    CloseHandle(file);
    CloseHandle(release);
    CloseHandle(ready);
    return 0;
}
