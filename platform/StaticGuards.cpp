// Linked into each shipped program ahead of the C++ runtime (like TerminateHandler.cpp): the guards of
// function-local statics. The runtime's versions wait through the POSIX thread library, which brings about
// 30 KB of thread support into programs that start no threads of their own. These keep the same contract
// with the compiler (byte 0 of the guard set once the object is built) and let one thread build the object
// while others wait; the second word of the guard marks the build in progress.
#include <windows.h>

#include <cstdint>

namespace {

volatile LONG* BuildingFlag(std::int64_t* guard) { return reinterpret_cast<volatile LONG*>(guard) + 1; }

bool IsBuilt(std::int64_t* guard)
{
    return *reinterpret_cast<volatile unsigned char*>(guard) != 0;
}

}  // namespace

extern "C" {

int __cxa_guard_acquire(std::int64_t* guard)
{
    for (;;) {
        if (IsBuilt(guard))
            return 0;
        if (InterlockedCompareExchange(BuildingFlag(guard), 1, 0) == 0) {
            if (!IsBuilt(guard))
                return 1;
            InterlockedExchange(BuildingFlag(guard), 0);
            return 0;
        }
        Sleep(0);  // another thread builds the object
    }
}

void __cxa_guard_release(std::int64_t* guard)
{
    MemoryBarrier();
    *reinterpret_cast<volatile unsigned char*>(guard) = 1;
    InterlockedExchange(BuildingFlag(guard), 0);
}

void __cxa_guard_abort(std::int64_t* guard) { InterlockedExchange(BuildingFlag(guard), 0); }

}  // extern "C"
