// Linked into each shipped program ahead of the C++ runtime (like TerminateHandler.cpp): the few POSIX
// thread functions that the exception support of the runtime calls (a mutex around its tables and its
// emergency memory, a one-time initialisation, the per-thread exception state). The runtime's POSIX thread
// library brings about 30 KB of thread support into programs that start no threads of their own; these
// build the same contracts on the Windows primitives. The per-thread state's destructor is not run when a
// thread ends (the programs' only thread ends with the process).
#include <windows.h>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr LONG ONCE_RUNNING = 1;
constexpr LONG ONCE_DONE = 2;

// A mutex is 0 or one of the static initialisers -1 to -3 (plain, error-checking, recursive) until its
// critical section is created on first use, then the section's address. A critical section may be entered
// again by its owner, which serves all three kinds.
bool IsCreated(void* mutex)
{
    const auto value = reinterpret_cast<std::intptr_t>(mutex);
    return value > 0 || value < -3;
}

CRITICAL_SECTION* MutexSection(std::intptr_t* mutex)
{
    void* current = *reinterpret_cast<void* volatile*>(mutex);
    if (IsCreated(current))
        return static_cast<CRITICAL_SECTION*>(current);
    auto* section = static_cast<CRITICAL_SECTION*>(std::malloc(sizeof(CRITICAL_SECTION)));
    if (!section)
        std::abort();
    InitializeCriticalSection(section);
    void* previous = InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(mutex), section, current);
    if (previous == current)
        return section;
    DeleteCriticalSection(section);  // another thread created it first
    std::free(section);
    return static_cast<CRITICAL_SECTION*>(previous);
}

}  // namespace

extern "C" {

int pthread_once(long* once, void (*function)())
{
    volatile LONG* state = reinterpret_cast<volatile LONG*>(once);
    for (;;) {
        const LONG seen = InterlockedCompareExchange(state, ONCE_RUNNING, 0);
        if (seen == 0) {
            function();
            InterlockedExchange(state, ONCE_DONE);
            return 0;
        }
        if (seen == ONCE_DONE)
            return 0;
        Sleep(0);  // another thread runs the function
    }
}

int pthread_mutex_init(std::intptr_t* mutex, const void*)
{
    *mutex = -1;
    return 0;
}

int pthread_mutex_destroy(std::intptr_t* mutex)
{
    void* current = reinterpret_cast<void*>(*mutex);
    if (IsCreated(current)) {
        DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(current));
        std::free(current);
    }
    *mutex = -1;
    return 0;
}

int pthread_mutex_lock(std::intptr_t* mutex)
{
    EnterCriticalSection(MutexSection(mutex));
    return 0;
}

int pthread_mutex_unlock(std::intptr_t* mutex)
{
    LeaveCriticalSection(MutexSection(mutex));
    return 0;
}

int pthread_key_create(unsigned* key, void (*)(void*))
{
    const DWORD index = TlsAlloc();
    if (index == TLS_OUT_OF_INDEXES)
        return ERROR_NOT_ENOUGH_MEMORY;  // nonzero: the runtime treats the key as unavailable
    *key = index;
    return 0;
}

void* pthread_getspecific(unsigned key) { return TlsGetValue(key); }

int pthread_setspecific(unsigned key, const void* value)
{
    return TlsSetValue(key, const_cast<void*>(value)) ? 0 : ERROR_NOT_ENOUGH_MEMORY;
}

}  // extern "C"
