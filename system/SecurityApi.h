// The security layer: advapi32's security functions resolved by name once, wrappers that raise a
// CSecurityError carrying an HRESULT on failure, and owners of SIDs, ACLs and descriptors. Only this layer
// throws; its public operations (Security.h, CreateOpenMutex) catch at their boundary.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <memory>

class CSecurityError {
public:
    explicit CSecurityError(HRESULT hr) : m_hr(hr) {}
    HRESULT Error() const { return m_hr; }

private:
    HRESULT m_hr;
};

// Raises 0x80070000 with the low 16 bits of GetLastError (a failure value even when no code was set).
[[noreturn]] void RaiseLastError();

// One cached entry point: filled by name on first use, process-wide, never released.
template <class F>
struct ResolvedFunction {
    F pfn;
    const char* name;
};

#define QU_SECURITY_FUNCTIONS(X)                                                                                  \
    X(OpenProcessToken) X(OpenThreadToken) X(LookupPrivilegeValueA) X(AdjustTokenPrivileges) X(GetAce) X(AddAce) \
    X(AddAccessAllowedAce) X(AddAccessAllowedAceEx) X(InitializeSecurityDescriptor) X(InitializeAcl)            \
    X(GetAclInformation) X(GetSecurityDescriptorDacl) X(SetSecurityDescriptorDacl) X(SetSecurityDescriptorGroup) \
    X(SetSecurityDescriptorOwner) X(GetSecurityDescriptorControl) X(SetSecurityDescriptorControl)               \
    X(CheckTokenMembership) X(GetKernelObjectSecurity) X(SetKernelObjectSecurity) X(ImpersonateSelf)          \
    X(RevertToSelf)                                                                                              \
    X(IsValidSid) X(GetLengthSid) X(EqualSid) X(FreeSid) X(AllocateAndInitializeSid)                             \
    X(IsValidSecurityDescriptor) X(AccessCheck)

struct SecurityFunctions {
    HMODULE hModule;
#define QU_DECLARE_SECURITY_FUNCTION(fn) ResolvedFunction<decltype(&::fn)> fn;
    QU_SECURITY_FUNCTIONS(QU_DECLARE_SECURITY_FUNCTION)
#undef QU_DECLARE_SECURITY_FUNCTION
};

namespace detail {
// The process's cache. Tests replace entries (a failing stand-in, or a null pointer with a name that
// advapi32 lacks) and restore the saved table afterwards.
SecurityFunctions& SecurityFunctionTable();
}  // namespace detail

// The advapi32 handle: cached, else already loaded, else loaded from the system folder; E_UNEXPECTED.
HMODULE LoadSecurityModule();

// Fills the cache by name when empty; a missing function raises E_NOTIMPL.
template <class F>
F ResolveSecurityFunction(ResolvedFunction<F>& fn)
{
    if (!fn.pfn) {
        const FARPROC proc = ::GetProcAddress(LoadSecurityModule(), fn.name);
        if (!proc)
            throw CSecurityError(E_NOTIMPL);
        fn.pfn = reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
    }
    return fn.pfn;
}

// Wrappers with the platform's names and arguments: TRUE or a raised HRESULT, except where noted.
namespace SecurityApi {
BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
// Without a thread token (ERROR_NO_TOKEN) opens the process token instead.
BOOL OpenThreadToken(HANDLE thread, DWORD access, BOOL openAsSelf, PHANDLE token);
BOOL LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid);
// Also fails when the call succeeds with a last error set (ERROR_NOT_ALL_ASSIGNED).
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD bufferLength,
                           PTOKEN_PRIVILEGES previousState, PDWORD returnLength);
BOOL GetAce(PACL acl, DWORD index, LPVOID* ace);
BOOL AddAce(PACL acl, DWORD revision, DWORD startIndex, LPVOID aceList, DWORD aceListLength);
BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid);
// With ACE flags 0, or where the Ex function is missing, adds the ACE through AddAccessAllowedAce.
BOOL AddAccessAllowedAceEx(PACL acl, DWORD revision, DWORD aceFlags, DWORD mask, PSID sid);
BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision);
BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision);
BOOL GetAclInformation(PACL acl, LPVOID info, DWORD length, ACL_INFORMATION_CLASS infoClass);
BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, LPBOOL present, PACL* dacl, LPBOOL defaulted);
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL dacl, BOOL defaulted);
BOOL SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR descriptor, PSID group, BOOL defaulted);
BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID owner, BOOL defaulted);
BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor, PSECURITY_DESCRIPTOR_CONTROL control,
                                  LPDWORD revision);
BOOL SetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor, SECURITY_DESCRIPTOR_CONTROL bitsOfInterest,
                                  SECURITY_DESCRIPTOR_CONTROL bitsToSet);
BOOL CheckTokenMembership(HANDLE token, PSID sid, PBOOL isMember);
// ERROR_INSUFFICIENT_BUFFER is success for the size query (no buffer).
BOOL GetKernelObjectSecurity(HANDLE object, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor,
                             DWORD length, LPDWORD needed);
BOOL SetKernelObjectSecurity(HANDLE object, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor);
BOOL ImpersonateSelf(SECURITY_IMPERSONATION_LEVEL level);
// Never raises: FALSE with ERROR_CALL_NOT_IMPLEMENTED when missing.
BOOL RevertToSelf();
// Never raises; a null SID is not valid.
BOOL IsValidSid(PSID sid);
// E_INVALIDARG for a SID that is not valid.
DWORD GetLengthSid(PSID sid);
BOOL EqualSid(PSID sid1, PSID sid2);
// Never raises; does nothing when missing.
void FreeSid(PSID sid);
BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD sub0, DWORD sub1, DWORD sub2,
                              DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid);
// The function's result; raises only when it cannot be resolved.
BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor);
BOOL AccessCheck(PSECURITY_DESCRIPTOR descriptor, HANDLE token, DWORD desiredAccess, PGENERIC_MAPPING mapping,
                 PPRIVILEGE_SET privileges, LPDWORD privilegesLength, LPDWORD granted, LPBOOL status);
}  // namespace SecurityApi

// A zero-filled heap block; E_OUTOFMEMORY when it cannot be had.
class CZeroBuffer {
public:
    explicit CZeroBuffer(size_t size);
    void* Get() const { return m_p.get(); }

private:
    struct Free {
        void operator()(void* p) const { std::free(p); }
    };
    std::unique_ptr<void, Free> m_p;
};

enum WellKnownSidKind { WKS_EVERYONE = 0, WKS_ADMINISTRATORS = 1, WKS_USERS = 2 };

class CWellKnownSid {
public:
    explicit CWellKnownSid(WellKnownSidKind kind);
    ~CWellKnownSid() { SecurityApi::FreeSid(m_pSid); }
    CWellKnownSid(const CWellKnownSid&) = delete;
    CWellKnownSid& operator=(const CWellKnownSid&) = delete;
    PSID Get() const { return m_pSid; }

private:
    PSID m_pSid = nullptr;
};

// An ACL holding one access-allowed ACE (no ACE flags).
class CSingleAceAcl {
public:
    CSingleAceAcl(WellKnownSidKind kind, DWORD accessMask);
    CSingleAceAcl(PSID sid, DWORD accessMask);
    PACL Get() const { return static_cast<PACL>(m_buffer.Get()); }

private:
    static size_t SizeFor(PSID sid);
    CZeroBuffer m_buffer;
};

// An absolute descriptor: its DACL, owner and group point into objects the caller keeps alive.
class CSecurityDescriptor {
public:
    CSecurityDescriptor();
    PSECURITY_DESCRIPTOR Get() const { return m_buffer.Get(); }
    void SetDacl(PACL dacl);

private:
    CZeroBuffer m_buffer;
};

// A copy of an open file's or folder's descriptor with its DACL (the handle needs READ_CONTROL).
class CFileSecurity {
public:
    explicit CFileSecurity(HANDLE file);
    PSECURITY_DESCRIPTOR Get() const { return m_buffer ? m_buffer->Get() : nullptr; }

private:
    std::unique_ptr<CZeroBuffer> m_buffer;
};

// The DACL written by GrantUsersAccess, built from an item's current descriptor: the explicit ACEs, the
// new Users ACE, then the inherited ACEs, every earlier Users ACE left out; and a new descriptor carrying
// it with the old descriptor's inheritance control bits.
class CUsersAccessDescriptor {
public:
    CUsersAccessDescriptor(PSECURITY_DESCRIPTOR oldDescriptor, DWORD accessMask, BYTE aceFlags);
    PSECURITY_DESCRIPTOR Get() const { return m_descriptor.Get(); }
    PACL Dacl() const { return static_cast<PACL>(m_acl->Get()); }

private:
    std::unique_ptr<CZeroBuffer> m_acl;
    CSecurityDescriptor m_descriptor;
};
