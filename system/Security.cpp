#include "Security.h"

#include "Handles.h"
#include "NamedObjects.h"
#include "PlatformUtils.h"
#include "SecurityApi.h"

#include <sddl.h>

#include <algorithm>

// ---- Resolution -----------------------------------------------------------------------------------------

namespace detail {
SecurityFunctions& SecurityFunctionTable()
{
    static SecurityFunctions table = {
        nullptr,
#define QU_NAME_SECURITY_FUNCTION(fn) {nullptr, #fn},
        QU_SECURITY_FUNCTIONS(QU_NAME_SECURITY_FUNCTION)
#undef QU_NAME_SECURITY_FUNCTION
    };
    return table;
}
}  // namespace detail

namespace {

SecurityFunctions& Table()
{
    return detail::SecurityFunctionTable();
}

}  // namespace

[[noreturn]] void RaiseLastError()
{
    throw CSecurityError(static_cast<HRESULT>(0x80070000u | (::GetLastError() & 0xFFFFu)));
}

HMODULE LoadSecurityModule()
{
    HMODULE& module = Table().hModule;
    if (!module)
        module = ::GetModuleHandleA("advapi32.dll");
    if (!module)
        module = LoadSystemLibrary("advapi32.dll");
    if (!module)
        throw CSecurityError(E_UNEXPECTED);
    return module;
}

// ---- Wrappers -------------------------------------------------------------------------------------------

namespace {

template <class F, class... Args>
BOOL CallChecked(ResolvedFunction<F>& fn, Args... args)
{
    const F pfn = ResolveSecurityFunction(fn);
    if (!pfn(args...))
        RaiseLastError();
    return TRUE;
}

}  // namespace

namespace SecurityApi {

BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token)
{
    return CallChecked(Table().OpenProcessToken, process, access, token);
}

BOOL OpenThreadToken(HANDLE thread, DWORD access, BOOL openAsSelf, PHANDLE token)
{
    const auto pfn = ResolveSecurityFunction(Table().OpenThreadToken);
    if (pfn(thread, access, openAsSelf, token))
        return TRUE;
    if (::GetLastError() != ERROR_NO_TOKEN)
        RaiseLastError();
    return SecurityApi::OpenProcessToken(::GetCurrentProcess(), access, token);
}

BOOL LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid)
{
    return CallChecked(Table().LookupPrivilegeValueA, systemName, name, luid);
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD bufferLength,
                           PTOKEN_PRIVILEGES previousState, PDWORD returnLength)
{
    const auto pfn = ResolveSecurityFunction(Table().AdjustTokenPrivileges);
    ::SetLastError(ERROR_SUCCESS);
    if (!pfn(token, disableAll, newState, bufferLength, previousState, returnLength) ||
        ::GetLastError() != ERROR_SUCCESS)
        RaiseLastError();
    return TRUE;
}

BOOL GetAce(PACL acl, DWORD index, LPVOID* ace)
{
    return CallChecked(Table().GetAce, acl, index, ace);
}

BOOL AddAce(PACL acl, DWORD revision, DWORD startIndex, LPVOID aceList, DWORD aceListLength)
{
    return CallChecked(Table().AddAce, acl, revision, startIndex, aceList, aceListLength);
}

BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid)
{
    return CallChecked(Table().AddAccessAllowedAce, acl, revision, mask, sid);
}

BOOL AddAccessAllowedAceEx(PACL acl, DWORD revision, DWORD aceFlags, DWORD mask, PSID sid)
{
    if (aceFlags != 0) {
        try {
            return CallChecked(Table().AddAccessAllowedAceEx, acl, revision, aceFlags, mask, sid);
        } catch (const CSecurityError& e) {
            // Only a missing function falls back; the flags are then lost, as on systems before Windows 2000.
            if (e.Error() != E_NOTIMPL)
                throw;
        }
    }
    return SecurityApi::AddAccessAllowedAce(acl, ACL_REVISION, mask, sid);
}

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision)
{
    return CallChecked(Table().InitializeSecurityDescriptor, descriptor, revision);
}

BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision)
{
    return CallChecked(Table().InitializeAcl, acl, length, revision);
}

BOOL GetAclInformation(PACL acl, LPVOID info, DWORD length, ACL_INFORMATION_CLASS infoClass)
{
    return CallChecked(Table().GetAclInformation, acl, info, length, infoClass);
}

BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, LPBOOL present, PACL* dacl, LPBOOL defaulted)
{
    return CallChecked(Table().GetSecurityDescriptorDacl, descriptor, present, dacl, defaulted);
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL dacl, BOOL defaulted)
{
    return CallChecked(Table().SetSecurityDescriptorDacl, descriptor, present, dacl, defaulted);
}

BOOL SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR descriptor, PSID group, BOOL defaulted)
{
    return CallChecked(Table().SetSecurityDescriptorGroup, descriptor, group, defaulted);
}

BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID owner, BOOL defaulted)
{
    return CallChecked(Table().SetSecurityDescriptorOwner, descriptor, owner, defaulted);
}

BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor, PSECURITY_DESCRIPTOR_CONTROL control,
                                  LPDWORD revision)
{
    return CallChecked(Table().GetSecurityDescriptorControl, descriptor, control, revision);
}

BOOL SetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor, SECURITY_DESCRIPTOR_CONTROL bitsOfInterest,
                                  SECURITY_DESCRIPTOR_CONTROL bitsToSet)
{
    return CallChecked(Table().SetSecurityDescriptorControl, descriptor, bitsOfInterest, bitsToSet);
}

BOOL CheckTokenMembership(HANDLE token, PSID sid, PBOOL isMember)
{
    return CallChecked(Table().CheckTokenMembership, token, sid, isMember);
}

BOOL GetKernelObjectSecurity(HANDLE object, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor,
                             DWORD length, LPDWORD needed)
{
    const auto pfn = ResolveSecurityFunction(Table().GetKernelObjectSecurity);
    if (!pfn(object, info, descriptor, length, needed) &&
        !(descriptor == nullptr && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER))
        RaiseLastError();
    return TRUE;
}

BOOL SetKernelObjectSecurity(HANDLE object, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor)
{
    return CallChecked(Table().SetKernelObjectSecurity, object, info, descriptor);
}

BOOL ImpersonateSelf(SECURITY_IMPERSONATION_LEVEL level)
{
    return CallChecked(Table().ImpersonateSelf, level);
}

BOOL RevertToSelf()
{
    try {
        return ResolveSecurityFunction(Table().RevertToSelf)();
    } catch (const CSecurityError&) {
        ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
}

BOOL IsValidSid(PSID sid)
{
    if (!sid)
        return FALSE;
    return ResolveSecurityFunction(Table().IsValidSid)(sid);
}

DWORD GetLengthSid(PSID sid)
{
    if (!SecurityApi::IsValidSid(sid))
        throw CSecurityError(E_INVALIDARG);
    return ResolveSecurityFunction(Table().GetLengthSid)(sid);
}

BOOL EqualSid(PSID sid1, PSID sid2)
{
    if (!SecurityApi::IsValidSid(sid1) || !SecurityApi::IsValidSid(sid2))
        throw CSecurityError(E_INVALIDARG);
    return ResolveSecurityFunction(Table().EqualSid)(sid1, sid2);
}

void FreeSid(PSID sid)
{
    if (!sid)
        return;
    try {
        ResolveSecurityFunction(Table().FreeSid)(sid);
    } catch (const CSecurityError&) {
    }
}

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD sub0, DWORD sub1, DWORD sub2,
                              DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid)
{
    return CallChecked(Table().AllocateAndInitializeSid, authority, count, sub0, sub1, sub2, sub3, sub4, sub5,
                       sub6, sub7, sid);
}

BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor)
{
    return ResolveSecurityFunction(Table().IsValidSecurityDescriptor)(descriptor);
}

BOOL AccessCheck(PSECURITY_DESCRIPTOR descriptor, HANDLE token, DWORD desiredAccess, PGENERIC_MAPPING mapping,
                 PPRIVILEGE_SET privileges, LPDWORD privilegesLength, LPDWORD granted, LPBOOL status)
{
    return CallChecked(Table().AccessCheck, descriptor, token, desiredAccess, mapping, privileges, privilegesLength,
                       granted, status);
}

}  // namespace SecurityApi

// ---- Owners ---------------------------------------------------------------------------------------------

CZeroBuffer::CZeroBuffer(size_t size) : m_p(std::calloc(std::max<size_t>(size, 1), 1))
{
    if (!m_p)
        throw CSecurityError(E_OUTOFMEMORY);
}

CWellKnownSid::CWellKnownSid(WellKnownSidKind kind)
{
    SID_IDENTIFIER_AUTHORITY world = {SECURITY_WORLD_SID_AUTHORITY};
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    switch (kind) {
    case WKS_EVERYONE:
        SecurityApi::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &m_pSid);
        break;
    case WKS_ADMINISTRATORS:
    case WKS_USERS:
        SecurityApi::AllocateAndInitializeSid(
            &nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
            kind == WKS_ADMINISTRATORS ? DOMAIN_ALIAS_RID_ADMINS : DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, &m_pSid);
        break;
    default:
        throw CSecurityError(E_INVALIDARG);
    }
}

size_t CSingleAceAcl::SizeFor(PSID sid)
{
    return sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + SecurityApi::GetLengthSid(sid);
}

CSingleAceAcl::CSingleAceAcl(WellKnownSidKind kind, DWORD accessMask)
    : CSingleAceAcl(CWellKnownSid(kind).Get(), accessMask)
{
}

CSingleAceAcl::CSingleAceAcl(PSID sid, DWORD accessMask) : m_buffer(SizeFor(sid))
{
    SecurityApi::InitializeAcl(Get(), static_cast<DWORD>(SizeFor(sid)), ACL_REVISION);
    SecurityApi::AddAccessAllowedAce(Get(), ACL_REVISION, accessMask, sid);
}

// The absolute layout is 20 bytes in 32-bit programs and 40 in 64-bit ones (it holds pointers).
CSecurityDescriptor::CSecurityDescriptor() : m_buffer(SECURITY_DESCRIPTOR_MIN_LENGTH)
{
    SecurityApi::InitializeSecurityDescriptor(Get(), SECURITY_DESCRIPTOR_REVISION);
}

void CSecurityDescriptor::SetDacl(PACL dacl)
{
    SecurityApi::SetSecurityDescriptorDacl(Get(), TRUE, dacl, FALSE);
}

CFileSecurity::CFileSecurity(HANDLE file)
{
    DWORD needed = 0;
    SecurityApi::GetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    m_buffer.reset(new CZeroBuffer(needed));
    SecurityApi::GetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, m_buffer->Get(), needed, &needed);
}

namespace {

// The SID of an ACE whose SID follows the mask directly (the allowed, denied, audit, alarm and callback
// kinds); null for the object kinds, whose SID sits behind optional GUIDs and is never the Users group's here.
PSID AceSid(ACE_HEADER* ace)
{
    switch (ace->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
    case SYSTEM_AUDIT_ACE_TYPE:
    case SYSTEM_ALARM_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
    case SYSTEM_AUDIT_CALLBACK_ACE_TYPE:
    case SYSTEM_ALARM_CALLBACK_ACE_TYPE:
        if (ace->AceSize < sizeof(ACCESS_ALLOWED_ACE))
            return nullptr;
        return &reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
    default:
        return nullptr;
    }
}

bool IsUsersAce(ACE_HEADER* ace, PSID users)
{
    const PSID sid = AceSid(ace);
    return sid && SecurityApi::IsValidSid(sid) && SecurityApi::EqualSid(sid, users);
}

}  // namespace

CUsersAccessDescriptor::CUsersAccessDescriptor(PSECURITY_DESCRIPTOR oldDescriptor, DWORD accessMask,
                                               BYTE aceFlags)
{
    CWellKnownSid users(WKS_USERS);

    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL oldDacl = nullptr;
    SecurityApi::GetSecurityDescriptorDacl(oldDescriptor, &present, &oldDacl, &defaulted);
    ACL_SIZE_INFORMATION sizeInfo = {0, sizeof(ACL), 0};
    if (present && oldDacl)
        SecurityApi::GetAclInformation(oldDacl, &sizeInfo, sizeof sizeInfo, AclSizeInformation);
    else
        oldDacl = nullptr;

    const DWORD size = SecurityApi::GetLengthSid(users.Get()) + sizeInfo.AclBytesInUse + 8;
    m_acl.reset(new CZeroBuffer(size));
    SecurityApi::InitializeAcl(Dacl(), size, ACL_REVISION);

    // Explicit ACEs come first, then the new one, then the inherited ones: the order Windows evaluates.
    DWORD index = 0;
    auto copyUntil = [&](bool stopAtInherited) {
        for (; index < sizeInfo.AceCount; ++index) {
            void* ace = nullptr;
            SecurityApi::GetAce(oldDacl, index, &ace);
            auto* header = static_cast<ACE_HEADER*>(ace);
            if (stopAtInherited && (header->AceFlags & INHERITED_ACE))
                return;
            if (!IsUsersAce(header, users.Get()))
                SecurityApi::AddAce(Dacl(), ACL_REVISION, MAXDWORD, ace, header->AceSize);
        }
    };
    copyUntil(true);
    SecurityApi::AddAccessAllowedAceEx(Dacl(), ACL_REVISION, aceFlags, accessMask, users.Get());
    copyUntil(false);

    m_descriptor.SetDacl(Dacl());

    try {
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        SecurityApi::GetSecurityDescriptorControl(oldDescriptor, &control, &revision);
        const SECURITY_DESCRIPTOR_CONTROL inheritance = SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED;
        if (control & SE_DACL_AUTO_INHERITED)
            SecurityApi::SetSecurityDescriptorControl(m_descriptor.Get(), inheritance, inheritance);
        else if (control & SE_DACL_PROTECTED)
            SecurityApi::SetSecurityDescriptorControl(m_descriptor.Get(), SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    } catch (const CSecurityError& e) {
        if (e.Error() != E_NOTIMPL)
            throw;
    }
}

// ---- Composite operations -------------------------------------------------------------------------------

namespace {

bool IsNtPlatform()
{
    return GetOsVersionInfo().dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// The access check against a descriptor that grants Administrators alone, under the thread's own token.
bool IsAdministratorByAccessCheck()
{
    bool impersonating = false;
    HANDLE token = nullptr;
    auto cleanup = [&] {
        if (impersonating)
            SecurityApi::RevertToSelf();
        if (token)
            ::CloseHandle(token);
    };
    try {
        SecurityApi::ImpersonateSelf(SecurityImpersonation);
        impersonating = true;
        SecurityApi::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, FALSE, &token);

        CWellKnownSid admins(WKS_ADMINISTRATORS);
        CSingleAceAcl acl(admins.Get(), 3);
        CSecurityDescriptor descriptor;
        descriptor.SetDacl(acl.Get());
        SecurityApi::SetSecurityDescriptorOwner(descriptor.Get(), admins.Get(), FALSE);
        SecurityApi::SetSecurityDescriptorGroup(descriptor.Get(), admins.Get(), FALSE);
        if (!SecurityApi::IsValidSecurityDescriptor(descriptor.Get()))
            throw CSecurityError(E_UNEXPECTED);

        GENERIC_MAPPING mapping = {1, 2, 0, 3};
        PRIVILEGE_SET privileges = {};
        DWORD privilegesLength = sizeof privileges;
        DWORD granted = 0;
        BOOL status = FALSE;
        SecurityApi::AccessCheck(descriptor.Get(), token, 1, &mapping, &privileges, &privilegesLength, &granted,
                                 &status);
        cleanup();
        return status != FALSE;
    } catch (...) {
        cleanup();
        throw;
    }
}

}  // namespace

bool IsAdministrator(HRESULT* phr)
{
    if (phr)
        *phr = S_OK;
    if (!IsNtPlatform())
        return true;
    try {
        CWellKnownSid admins(WKS_ADMINISTRATORS);
        BOOL member = FALSE;
        SecurityApi::CheckTokenMembership(nullptr, admins.Get(), &member);
        return member != FALSE;
    } catch (const CSecurityError&) {
    }
    try {
        return IsAdministratorByAccessCheck();
    } catch (const CSecurityError& e) {
        if (phr)
            *phr = e.Error();
        return false;
    }
}

bool EnablePrivilege(const char* name, bool enable)
{
    if (!IsNtPlatform())
        return true;
    HANDLE token = nullptr;
    try {
        SecurityApi::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);
        LUID luid = {};
        SecurityApi::LookupPrivilegeValueA(nullptr, name, &luid);

        TOKEN_PRIVILEGES state = {};
        state.PrivilegeCount = 1;
        state.Privileges[0].Luid = luid;
        TOKEN_PRIVILEGES previous = {};
        DWORD length = 0;
        SecurityApi::AdjustTokenPrivileges(token, FALSE, &state, sizeof previous, &previous, &length);

        previous.PrivilegeCount = 1;
        previous.Privileges[0].Luid = luid;
        if (enable)
            previous.Privileges[0].Attributes |= SE_PRIVILEGE_ENABLED;
        else
            previous.Privileges[0].Attributes &= ~static_cast<DWORD>(SE_PRIVILEGE_ENABLED);
        SecurityApi::AdjustTokenPrivileges(token, FALSE, &previous, 0, nullptr, nullptr);
        ::CloseHandle(token);
        return true;
    } catch (const CSecurityError&) {
        if (token)
            ::CloseHandle(token);
        return false;
    }
}

bool GrantUsersAccess(const char* path, DWORD accessMask, BYTE aceFlags)
{
    if (!IsNtPlatform())
        return true;
    // The item itself, never what a link leads to: a reparse point is refused, and so is a file with more
    // than one name (a hard link to someone else's file). The item is held open without following a reparse
    // point (and so that it cannot be deleted or renamed), and its access list is read and written through
    // that handle, never by path.
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        SetLastError(attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_CANT_ACCESS_FILE);
        return false;
    }
    FileHandle held(CreateFileA(path, READ_CONTROL | WRITE_DAC, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!held || !GetFileInformationByHandle(held.Get(), &information))
        return false;
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && information.nNumberOfLinks > 1)) {
        SetLastError(ERROR_CANT_ACCESS_FILE);
        return false;
    }
    try {
        CFileSecurity current(held.Get());
        CUsersAccessDescriptor updated(current.Get(), accessMask, aceFlags);
        SecurityApi::SetKernelObjectSecurity(held.Get(), DACL_SECURITY_INFORMATION, updated.Get());
        return true;
    } catch (const CSecurityError&) {
        return false;
    }
}

PSECURITY_DESCRIPTOR BuildPrivateFolderSecurity()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
                                                              SDDL_REVISION_1, &descriptor, nullptr))
        return nullptr;
    return descriptor;
}

bool CreatePrivateFolder(const char* path)
{
    if (!IsNtPlatform())
        return CreateDirectoryA(path, nullptr) != FALSE;
    PSECURITY_DESCRIPTOR descriptor = BuildPrivateFolderSecurity();
    if (!descriptor)
        return false;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    const BOOL created = CreateDirectoryA(path, &attributes);
    const DWORD error = GetLastError();
    LocalFree(descriptor);
    SetLastError(error);
    return created != FALSE;
}
