// The security layer against the real advapi32: administrator check by both methods, privileges, the DACL
// that grants Users access (built in memory: Wine keeps no file DACLs), and failures forced through the
// cached function pointers.
#include "NamedObjects.h"
#include "Security.h"
#include "SecurityApi.h"
#include "TestSupport.h"
#include "UninstallLog.h"
#include "UninstallLogTestSupport.h"

#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Restores the cached security functions and version record after a test changed them.
class SecurityFixture : public ::testing::Test {
protected:
    SecurityFixture() : m_savedFunctions(detail::SecurityFunctionTable()), m_savedVersion(detail::OsVersionCache()) {}
    ~SecurityFixture() override
    {
        detail::SecurityFunctionTable() = m_savedFunctions;
        detail::OsVersionCache() = m_savedVersion;
    }
    static SecurityFunctions& Functions() { return detail::SecurityFunctionTable(); }
    // The entry resolves to nothing: as on a system whose advapi32 lacks the function.
    template <class F>
    static void Hide(ResolvedFunction<F>& fn)
    {
        fn.pfn = nullptr;
        fn.name = "QuNoSuchFunction";
    }
    static void HideAll()
    {
#define QU_HIDE_SECURITY_FUNCTION(fn) Hide(Functions().fn);
        QU_SECURITY_FUNCTIONS(QU_HIDE_SECURITY_FUNCTION)
#undef QU_HIDE_SECURITY_FUNCTION
    }

private:
    SecurityFunctions m_savedFunctions;
    OSVERSIONINFOEXA m_savedVersion;
};

int g_calls = 0;

BOOL WINAPI FailingCheckTokenMembership(HANDLE, PSID, PBOOL)
{
    ++g_calls;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL WINAPI DeniedInitializeSecurityDescriptor(PSECURITY_DESCRIPTOR, DWORD)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

BOOL WINAPI RejectingIsValidSecurityDescriptor(PSECURITY_DESCRIPTOR)
{
    return FALSE;
}

BOOL WINAPI SilentlyFailingGetSecurityDescriptorControl(PSECURITY_DESCRIPTOR, PSECURITY_DESCRIPTOR_CONTROL, LPDWORD)
{
    SetLastError(ERROR_SUCCESS);
    return FALSE;
}

// One line per ACE: type;flags;mask;SID.
std::vector<std::string> DescribeAces(PACL acl)
{
    std::vector<std::string> lines;
    for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(acl, i, &ace))
            return {"GetAce failed"};
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        char* sid = nullptr;
        ConvertSidToStringSidA(&allowed->SidStart, &sid);
        char line[100];
        std::snprintf(line, sizeof line, "%s;0x%02x;0x%06lx;%s",
                      allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE  ? "A"
                      : allowed->Header.AceType == ACCESS_DENIED_ACE_TYPE ? "D"
                                                                          : "?",
                      allowed->Header.AceFlags, static_cast<unsigned long>(allowed->Mask), sid ? sid : "-");
        LocalFree(sid);
        lines.push_back(line);
    }
    return lines;
}

// A self-relative descriptor from its SDDL text, as GetFileSecurityA would return it.
class SddlDescriptor {
public:
    explicit SddlDescriptor(const char* sddl)
    {
        ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &m_descriptor, nullptr);
    }
    ~SddlDescriptor() { LocalFree(m_descriptor); }
    PSECURITY_DESCRIPTOR Get() const { return m_descriptor; }

private:
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
};

SECURITY_DESCRIPTOR_CONTROL ControlOf(PSECURITY_DESCRIPTOR descriptor)
{
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    return control;
}

constexpr DWORD USERS_DATA_ACCESS = 0x13019F;  // read, write and delete; no execute
const char USERS[] = "S-1-5-32-545";

std::string Ace(const char* type, int flags, DWORD mask, const char* sid)
{
    char line[100];
    std::snprintf(line, sizeof line, "%s;0x%02x;0x%06lx;%s", type, flags, static_cast<unsigned long>(mask), sid);
    return line;
}

}  // namespace

// ---- Resolution and wrappers ------------------------------------------------------------------------------

using SecurityLayer = SecurityFixture;

TEST_F(SecurityLayer, MissingFunctionRaisesNotImplemented)
{
    Hide(Functions().CheckTokenMembership);
    try {
        ResolveSecurityFunction(Functions().CheckTokenMembership);
        FAIL() << "resolved a function that does not exist";
    } catch (const CSecurityError& e) {
        EXPECT_EQ(e.Error(), E_NOTIMPL);
    }
    // Never-raising wrappers keep their promise.
    Hide(Functions().FreeSid);
    Hide(Functions().RevertToSelf);
    Hide(Functions().IsValidSid);
    SecurityApi::FreeSid(reinterpret_cast<PSID>(&g_calls));
    EXPECT_FALSE(SecurityApi::RevertToSelf());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_FALSE(SecurityApi::IsValidSid(nullptr));
}

TEST_F(SecurityLayer, FailuresCarryTheLastErrorOrTheirOwnValue)
{
    try {
        SecurityApi::InitializeAcl(nullptr, 0, 99);
        FAIL();
    } catch (const CSecurityError& e) {
        EXPECT_EQ(static_cast<DWORD>(e.Error()) & 0xFFFF0000u, 0x80070000u);
    }
    BYTE garbage[16] = {9, 9, 9, 9};
    try {
        SecurityApi::GetLengthSid(garbage);
        FAIL();
    } catch (const CSecurityError& e) {
        EXPECT_EQ(e.Error(), E_INVALIDARG);
    }
    CWellKnownSid users(WKS_USERS);
    try {
        SecurityApi::EqualSid(users.Get(), garbage);
        FAIL();
    } catch (const CSecurityError& e) {
        EXPECT_EQ(e.Error(), E_INVALIDARG);
    }
    // A call that fails without setting a code still raises a failure value.
    Functions().GetSecurityDescriptorControl.pfn = SilentlyFailingGetSecurityDescriptorControl;
    try {
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        SecurityApi::GetSecurityDescriptorControl(nullptr, &control, &revision);
        FAIL();
    } catch (const CSecurityError& e) {
        EXPECT_EQ(static_cast<DWORD>(e.Error()), 0x80070000u);
        EXPECT_TRUE(FAILED(e.Error()));
    }
}

TEST_F(SecurityLayer, WellKnownSidsAndSingleAceAcl)
{
    const struct {
        WellKnownSidKind kind;
        const char* sid;
    } cases[] = {{WKS_EVERYONE, "S-1-1-0"}, {WKS_ADMINISTRATORS, "S-1-5-32-544"}, {WKS_USERS, USERS}};
    for (const auto& c : cases) {
        CWellKnownSid sid(c.kind);
        char* text = nullptr;
        ASSERT_TRUE(ConvertSidToStringSidA(sid.Get(), &text));
        EXPECT_STREQ(text, c.sid);
        LocalFree(text);
    }
    CSingleAceAcl acl(WKS_USERS, 0x1234);
    EXPECT_TRUE(IsValidAcl(acl.Get()));
    EXPECT_EQ(DescribeAces(acl.Get()), std::vector<std::string>{Ace("A", 0, 0x1234, USERS)});
    CSecurityDescriptor descriptor;
    descriptor.SetDacl(acl.Get());
    EXPECT_TRUE(IsValidSecurityDescriptor(descriptor.Get()));
}

// ---- IsAdministrator ------------------------------------------------------------------------------------

using IsAdministratorTest = SecurityFixture;

TEST_F(IsAdministratorTest, WineUserIsAnAdministrator)
{
    HRESULT hr = E_FAIL;
    EXPECT_TRUE(IsAdministrator(&hr));
    EXPECT_EQ(hr, S_OK);
}

TEST_F(IsAdministratorTest, AccessCheckWhenMembershipCheckFailsOrIsMissing)
{
    g_calls = 0;
    Functions().CheckTokenMembership.pfn = FailingCheckTokenMembership;
    HRESULT hr = E_FAIL;
    EXPECT_TRUE(IsAdministrator(&hr));
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(g_calls, 1);
    // The impersonation ended: the thread has no token of its own again.
    HANDLE token = nullptr;
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));

    Hide(Functions().CheckTokenMembership);
    hr = E_FAIL;
    EXPECT_TRUE(IsAdministrator(&hr));
    EXPECT_EQ(hr, S_OK);
}

TEST_F(IsAdministratorTest, BothMethodsFailingGiveFalseAndTheError)
{
    Functions().CheckTokenMembership.pfn = FailingCheckTokenMembership;
    const auto original = Functions().InitializeSecurityDescriptor;
    Functions().InitializeSecurityDescriptor.pfn = DeniedInitializeSecurityDescriptor;
    HRESULT hr = S_OK;
    EXPECT_FALSE(IsAdministrator(&hr));
    EXPECT_EQ(static_cast<DWORD>(hr), 0x80070005u);

    Functions().InitializeSecurityDescriptor = original;
    Functions().IsValidSecurityDescriptor.pfn = RejectingIsValidSecurityDescriptor;
    EXPECT_FALSE(IsAdministrator(&hr));
    EXPECT_EQ(hr, E_UNEXPECTED);

    HANDLE token = nullptr;
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
}

TEST_F(IsAdministratorTest, OutsideTheNtFamilyEverythingSucceedsWithoutAdvapi)
{
    HideAll();
    // With nothing to call, the NT path fails...
    EXPECT_FALSE(IsAdministrator());
    EXPECT_FALSE(EnablePrivilege("SeBackupPrivilege", true));
    EXPECT_FALSE(GrantUsersAccess("C:\\windows", USERS_DATA_ACCESS, 0));
    // ...while on the 9x family nothing is called at all.
    OSVERSIONINFOEXA& version = detail::OsVersionCache();
    version.dwOSVersionInfoSize = sizeof version;
    version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    version.dwMajorVersion = 4;
    HRESULT hr = E_FAIL;
    EXPECT_TRUE(IsAdministrator(&hr));
    EXPECT_EQ(hr, S_OK);
    EXPECT_TRUE(EnablePrivilege("SeBackupPrivilege", true));
    EXPECT_TRUE(GrantUsersAccess("C:\\no\\such\\file", USERS_DATA_ACCESS, 0));
}

// ---- EnablePrivilege ------------------------------------------------------------------------------------

TEST(EnablePrivilege, SetsAndClearsAHeldPrivilege)
{
    ASSERT_TRUE(EnablePrivilege("SeBackupPrivilege", true));
    EXPECT_TRUE(IsPrivilegeEnabled("SeBackupPrivilege"));
    ASSERT_TRUE(EnablePrivilege("SeBackupPrivilege", true));  // already enabled
    EXPECT_TRUE(IsPrivilegeEnabled("SeBackupPrivilege"));
    ASSERT_TRUE(EnablePrivilege("SeBackupPrivilege", false));
    EXPECT_FALSE(IsPrivilegeEnabled("SeBackupPrivilege"));
}

TEST(EnablePrivilege, FalseForAPrivilegeNotHeldOrUnknown)
{
    EXPECT_FALSE(EnablePrivilege("SeCreateTokenPrivilege", true));
    EXPECT_FALSE(IsPrivilegeEnabled("SeCreateTokenPrivilege"));
    EXPECT_FALSE(EnablePrivilege("SeNoSuchPrivilege", true));
}

// ---- GrantUsersAccess -----------------------------------------------------------------------------------

using UsersAccess = SecurityFixture;

TEST_F(UsersAccess, OneUsersAceBetweenExplicitAndInheritedOnes)
{
    SddlDescriptor old("D:AI(A;;0x1f01ff;;;BA)(A;;0x1200a9;;;BU)(D;;0x000116;;;WD)"
                       "(A;ID;0x1f01ff;;;SY)(A;ID;0x1200a9;;;BU)(A;OICIID;0x1f01ff;;;BA)");
    ASSERT_TRUE(old.Get());
    CUsersAccessDescriptor updated(old.Get(), USERS_DATA_ACCESS, 0);
    EXPECT_EQ(DescribeAces(updated.Dacl()), (std::vector<std::string>{
                                                Ace("A", 0x00, 0x1f01ff, "S-1-5-32-544"),
                                                Ace("D", 0x00, 0x000116, "S-1-1-0"),
                                                Ace("A", 0x00, USERS_DATA_ACCESS, USERS),
                                                Ace("A", 0x10, 0x1f01ff, "S-1-5-18"),
                                                Ace("A", 0x13, 0x1f01ff, "S-1-5-32-544"),
                                            }));
    EXPECT_TRUE(IsValidAcl(updated.Dacl()));
    EXPECT_TRUE(IsValidSecurityDescriptor(updated.Get()));
    EXPECT_EQ(ControlOf(updated.Get()) & (SE_DACL_PRESENT | SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ |
                                          SE_DACL_PROTECTED | SE_SELF_RELATIVE),
              SE_DACL_PRESENT | SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ);
}

TEST_F(UsersAccess, ProtectedDaclStaysProtected)
{
    SddlDescriptor old("D:P(A;;0x1200a9;;;BU)(A;;0x1f01ff;;;BA)");
    ASSERT_TRUE(old.Get());
    CUsersAccessDescriptor updated(old.Get(), USERS_DATA_ACCESS, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(DescribeAces(updated.Dacl()), (std::vector<std::string>{
                                                Ace("A", 0x00, 0x1f01ff, "S-1-5-32-544"),
                                                Ace("A", 0x03, USERS_DATA_ACCESS, USERS),
                                            }));
    EXPECT_EQ(ControlOf(updated.Get()) & (SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ | SE_DACL_PROTECTED),
              SE_DACL_PROTECTED);
}

TEST_F(UsersAccess, NoDaclOrNullDaclGivesTheSingleNewAce)
{
    for (const char* sddl : {"O:BA", "D:NO_ACCESS_CONTROL"}) {
        SddlDescriptor old(sddl);
        ASSERT_TRUE(old.Get()) << sddl;
        CUsersAccessDescriptor updated(old.Get(), USERS_DATA_ACCESS, 0);
        EXPECT_EQ(DescribeAces(updated.Dacl()), std::vector<std::string>{Ace("A", 0, USERS_DATA_ACCESS, USERS)})
            << sddl;
        EXPECT_EQ(ControlOf(updated.Get()) & (SE_DACL_PRESENT | SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED),
                  SE_DACL_PRESENT)
            << sddl;
    }
}

TEST_F(UsersAccess, WithoutTheNewerFunctions)
{
    // No AddAccessAllowedAceEx: the ACE is added without its flags. No control functions: no control bits.
    Hide(Functions().AddAccessAllowedAceEx);
    Hide(Functions().SetSecurityDescriptorControl);
    SddlDescriptor old("D:AI(A;ID;0x1200a9;;;BU)");
    ASSERT_TRUE(old.Get());
    CUsersAccessDescriptor updated(old.Get(), USERS_DATA_ACCESS, CONTAINER_INHERIT_ACE);
    EXPECT_EQ(DescribeAces(updated.Dacl()), std::vector<std::string>{Ace("A", 0, USERS_DATA_ACCESS, USERS)});
    EXPECT_EQ(ControlOf(updated.Get()) & (SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ), 0);

    // Any other failure of the control step fails the whole operation.
    Functions().GetSecurityDescriptorControl.pfn = SilentlyFailingGetSecurityDescriptorControl;
    try {
        CUsersAccessDescriptor failed(old.Get(), USERS_DATA_ACCESS, 0);
        FAIL();
    } catch (const CSecurityError& e) {
        EXPECT_EQ(static_cast<DWORD>(e.Error()), 0x80070000u);
    }
}

namespace {
std::vector<std::string> g_written;
std::string g_writtenItem;

// Volume and file index: which item a handle or path names.
std::string ItemIdentity(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(handle, &info))
        return "none";
    return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":" +
           std::to_string(info.nFileIndexLow);
}

std::string ItemIdentity(const std::string& path)
{
    const HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const std::string identity = ItemIdentity(handle);
    CloseHandle(handle);
    return identity;
}

BOOL WINAPI RecordingSetKernelObjectSecurity(HANDLE object, SECURITY_INFORMATION info,
                                             PSECURITY_DESCRIPTOR descriptor)
{
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    g_written = info == DACL_SECURITY_INFORMATION && present ? DescribeAces(dacl) : std::vector<std::string>{};
    g_writtenItem = ItemIdentity(object);
    return TRUE;
}
}  // namespace

TEST_F(UsersAccess, RealFilesAndFolders)
{
    const std::string folder = FreshFolder("security");
    const std::string file = folder + "\\shared.dat";
    ASSERT_TRUE(WriteFileBytes(file, "data"));
    EXPECT_TRUE(GrantUsersAccess(file.c_str(), USERS_DATA_ACCESS, 0));
    EXPECT_TRUE(GrantUsersAccess(folder.c_str(), USERS_DATA_ACCESS, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE));
    EXPECT_FALSE(GrantUsersAccess((folder + "\\missing.dat").c_str(), USERS_DATA_ACCESS, 0));
    EXPECT_EQ(ReadFileBytes(file), "data");

    // What is written: the file's DACL as read, with the one Users ACE.
    Functions().SetKernelObjectSecurity.pfn = RecordingSetKernelObjectSecurity;
    g_written.clear();
    EXPECT_TRUE(GrantUsersAccess(file.c_str(), USERS_DATA_ACCESS, 0));
    // Written through the handle that was checked.
    EXPECT_EQ(g_writtenItem, ItemIdentity(file));
    int users = 0;
    for (const std::string& ace : g_written)
        users += ace.find(USERS) != std::string::npos;
    EXPECT_EQ(users, 1);
    EXPECT_NE(std::find(g_written.begin(), g_written.end(), Ace("A", 0, USERS_DATA_ACCESS, USERS)), g_written.end());
}

TEST_F(UsersAccess, AFileWithASecondNameIsRefused)
{
    // A hard link that a standard user put where the shared file goes would lead the grant to their target.
    const std::string folder = FreshFolder("security-link");
    const std::string target = folder + "\\not-theirs.dat";
    const std::string link = folder + "\\shared.dat";
    ASSERT_TRUE(WriteFileBytes(target, "data"));
    ASSERT_TRUE(CreateHardLinkA(link.c_str(), target.c_str(), nullptr));
    Functions().SetKernelObjectSecurity.pfn = RecordingSetKernelObjectSecurity;
    g_writtenItem.clear();
    for (const std::string& path : {link, target}) {
        SetLastError(0);
        EXPECT_FALSE(GrantUsersAccess(path.c_str(), USERS_DATA_ACCESS, 0)) << path;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANT_ACCESS_FILE)) << path;
    }
    EXPECT_EQ(g_writtenItem, "");
    ASSERT_TRUE(DeleteFileA(link.c_str()));
    EXPECT_TRUE(GrantUsersAccess(target.c_str(), USERS_DATA_ACCESS, 0));
    EXPECT_EQ(g_writtenItem, ItemIdentity(target));
}

// A copy backup is a new file in the private backup folder and takes that folder's access list (the system
// and administrators only). Put back by a rename after a failed run, it would keep that list: the users, and
// the product running as one of them, could no longer read their restored file. Its own list is written back.
TEST_F(UsersAccess, ARestoredCopyBackupGetsTheOriginalsAccessListBack)
{
    const std::string folder = FreshFolder("security-restore");
    const std::string file = folder + "\\shared.dat";
    ASSERT_TRUE(WriteFileBytes(file, "the users' settings"));
    PrivateTempFolder temp("security-restore");
    Functions().SetKernelObjectSecurity.pfn = RecordingSetKernelObjectSecurity;
    CUninstallLog log;
    ASSERT_TRUE(log.AddFile(file.c_str(), 3, true));
    ASSERT_TRUE(DeleteFileA(file.c_str()));  // replaced in one step: the old file is gone
    log.SetStatus(WriteFileBytes(file, "new"), nullptr);
    g_writtenItem.clear();
    log.Rollback();
    EXPECT_EQ(ReadFileBytes(file), "the users' settings");
    EXPECT_EQ(g_writtenItem, ItemIdentity(file));
    RemoveTree(folder);
}
