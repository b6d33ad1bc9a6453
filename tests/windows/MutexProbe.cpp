// mutex-probe MODE NAME [EVENTS]: a second process on a named mutex.
//   try      Wait(0) on the mutex: exit 0 when it was taken (then released), 1 when another owner holds it.
//   abandon  takes the mutex (up to 20 s) and ends without releasing it: exit 0.
//   hold     takes the mutex, signals EVENTS_ready, keeps it until EVENTS_release (at most one minute).
// Exit 3 when the mutex cannot be opened, 2 on bad arguments.
#include <windows.h>

#include <string>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const std::string mode = argv[1];
    HANDLE mutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, argv[2]);
    if (!mutex)
        return 3;
    if (mode == "try") {
        const DWORD result = WaitForSingleObject(mutex, 0);
        if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED)
            return 1;
        ReleaseMutex(mutex);
        return 0;
    }
    if (mode == "abandon")
        return WaitForSingleObject(mutex, 20000) == WAIT_OBJECT_0 ? 0 : 1;
    if (mode == "hold" && argc == 4) {
        const std::string base = argv[3];
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, (base + "_ready").c_str());
        HANDLE release = CreateEventA(nullptr, TRUE, FALSE, (base + "_release").c_str());
        if (!ready || !release || WaitForSingleObject(mutex, 20000) != WAIT_OBJECT_0)
            return 1;
        SetEvent(ready);
        WaitForSingleObject(release, 60000);
        ReleaseMutex(mutex);
        return 0;
    }
    return 2;
}
