// Named kernel objects shared between processes, the machine-wide naming rule, and the cached Windows
// version record that decides every version-dependent path.
#pragma once

#include <windows.h>

#include <string>

// The version record, queried once (extended structure, else the basic one) and kept for the process.
const OSVERSIONINFOEXA& GetOsVersionInfo();

// "Global\" on NT 5 and later, else "".
std::string GetGlobalPrefix();

// A mutex that every account may open, under the global prefix on NT; null on failure. The last error is
// the creation's (ERROR_ALREADY_EXISTS when it existed; ERROR_CAN_NOT_COMPLETE when no descriptor could be
// built).
HANDLE CreateOpenMutex(BOOL initialOwner, const char* name);

class CNamedMutex {
public:
    // openToAll: the global namespace with access for every account; otherwise the name as given.
    CNamedMutex(const char* name, bool initialOwner, bool openToAll);
    ~CNamedMutex();
    CNamedMutex(const CNamedMutex&) = delete;
    CNamedMutex& operator=(const CNamedMutex&) = delete;

    // True when the mutex is owned after the wait (an abandoned mutex counts as owned).
    bool Wait(DWORD timeout);
    // ReleaseMutex's result; the object no longer believes it owns the mutex.
    BOOL Release();

    HANDLE m_hMutex;  // null when creation failed
    bool m_bOwned;
};

class CNamedSemaphore {
public:
    CNamedSemaphore() : m_hSemaphore(nullptr) {}
    ~CNamedSemaphore() { Close(); }
    CNamedSemaphore(const CNamedSemaphore&) = delete;
    CNamedSemaphore& operator=(const CNamedSemaphore&) = delete;

    // True when a semaphore of that name exists. It is opened for waiting only; one that refuses even that
    // (another user's, whose security does not admit administrators) exists all the same: then true with
    // no handle.
    bool Open(const char* name, bool useGlobalPrefix);
    void Close();

    HANDLE m_hSemaphore;
};

namespace detail {
// The cached version record; tests fill it (a non-zero size marks it filled) and restore it afterwards.
OSVERSIONINFOEXA& OsVersionCache();
}  // namespace detail
