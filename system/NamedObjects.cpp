#include "NamedObjects.h"

#include "SecurityApi.h"
#include "WindowsVersion.h"

namespace detail {
OSVERSIONINFOEXA& OsVersionCache()
{
    static OSVERSIONINFOEXA info = {};
    return info;
}
}  // namespace detail

const OSVERSIONINFOEXA& GetOsVersionInfo()
{
    OSVERSIONINFOEXA& info = detail::OsVersionCache();
    if (info.dwOSVersionInfoSize == 0) {
        OSVERSIONINFOEXA query = {};
        query.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
        if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&query))) {
            // Systems before NT 4 SP6 know only the basic structure.
            query = OSVERSIONINFOEXA{};
            query.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
            ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&query));
        }
        info = query;
    }
    return info;
}

std::string GetGlobalPrefix()
{
    const OSVERSIONINFOEXA& info = GetOsVersionInfo();
    return GlobalPrefixFor(info.dwPlatformId, info.dwMajorVersion);
}

HANDLE CreateOpenMutex(BOOL initialOwner, const char* name)
{
    if (GetOsVersionInfo().dwPlatformId != VER_PLATFORM_WIN32_NT)
        return ::CreateMutexA(nullptr, initialOwner, name);

    const std::string fullName = GetGlobalPrefix() + name;
    HANDLE mutex = nullptr;
    DWORD error = ERROR_SUCCESS;
    try {
        CSingleAceAcl acl(WKS_EVERYONE, MUTEX_ALL_ACCESS);
        CSecurityDescriptor descriptor;
        descriptor.SetDacl(acl.Get());
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.Get(), FALSE};
        mutex = ::CreateMutexA(&attributes, initialOwner, fullName.c_str());
        error = ::GetLastError();
    } catch (const CSecurityError&) {
        mutex = nullptr;
        error = ERROR_CAN_NOT_COMPLETE;
    }
    ::SetLastError(error);
    return mutex;
}

CNamedMutex::CNamedMutex(const char* name, bool initialOwner, bool openToAll)
{
    m_hMutex = openToAll ? CreateOpenMutex(initialOwner, name) : ::CreateMutexA(nullptr, initialOwner, name);
    if (!m_hMutex) {
        m_bOwned = false;
    } else if (initialOwner && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        // An existing mutex ignores the initial-owner flag: take it by waiting.
        const DWORD result = ::WaitForSingleObject(m_hMutex, INFINITE);
        m_bOwned = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    } else {
        m_bOwned = initialOwner;
    }
}

CNamedMutex::~CNamedMutex()
{
    if (m_hMutex) {
        if (m_bOwned)
            ::ReleaseMutex(m_hMutex);
        ::CloseHandle(m_hMutex);
    }
}

bool CNamedMutex::Wait(DWORD timeout)
{
    const DWORD result = ::WaitForSingleObject(m_hMutex, timeout);
    m_bOwned = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return m_bOwned;
}

BOOL CNamedMutex::Release()
{
    const BOOL released = ::ReleaseMutex(m_hMutex);
    m_bOwned = false;
    return released;
}

bool CNamedSemaphore::Open(const char* name, bool useGlobalPrefix)
{
    Close();
    const std::string fullName = useGlobalPrefix ? GetGlobalPrefix() + name : std::string(name);
    m_hSemaphore = ::OpenSemaphoreA(SYNCHRONIZE, FALSE, fullName.c_str());
    return m_hSemaphore != nullptr || ::GetLastError() == ERROR_ACCESS_DENIED;
}

void CNamedSemaphore::Close()
{
    if (m_hSemaphore) {
        ::CloseHandle(m_hSemaphore);
        m_hSemaphore = nullptr;
    }
}
