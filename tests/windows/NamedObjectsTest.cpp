// Named mutexes and semaphores against real kernel objects, a second process on the same mutex, and the
// version record that decides the global prefix.
#include "NamedObjects.h"
#include "SecurityApi.h"
#include "TestSupport.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

// A name no other test or process uses.
std::string UniqueName(const char* what)
{
    return std::string("QuTest.") + what + "." + std::to_string(GetCurrentProcessId());
}

// Replaces the cached version record for one test.
class VersionOverride {
public:
    VersionOverride(DWORD platformId, DWORD major, DWORD minor) : m_saved(detail::OsVersionCache())
    {
        OSVERSIONINFOEXA& info = detail::OsVersionCache();
        info = OSVERSIONINFOEXA{};
        info.dwOSVersionInfoSize = sizeof info;
        info.dwPlatformId = platformId;
        info.dwMajorVersion = major;
        info.dwMinorVersion = minor;
    }
    ~VersionOverride() { detail::OsVersionCache() = m_saved; }

private:
    OSVERSIONINFOEXA m_saved;
};

BOOL WINAPI FailingInitializeAcl(PACL, DWORD, DWORD)
{
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

// Makes building the mutex's descriptor fail, for the lifetime of the object.
class AclFailure {
public:
    AclFailure() : m_saved(detail::SecurityFunctionTable())
    {
        detail::SecurityFunctionTable().InitializeAcl.pfn = FailingInitializeAcl;
    }
    ~AclFailure() { detail::SecurityFunctionTable() = m_saved; }

private:
    SecurityFunctions m_saved;
};

// Runs mutex-probe and returns its exit code.
class Probe {
public:
    Probe(const std::string& mode, const std::string& name, const std::string& events = "")
    {
        std::string command = "\"" + WinPath(QU_MUTEX_PROBE) + "\" " + mode + " \"" + name + "\" " + events;
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        m_started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi);
    }
    ~Probe()
    {
        if (m_started) {
            WaitForSingleObject(m_pi.hProcess, 30000);
            CloseHandle(m_pi.hProcess);
            CloseHandle(m_pi.hThread);
        }
    }
    DWORD ExitCode()
    {
        if (!m_started || WaitForSingleObject(m_pi.hProcess, 30000) != WAIT_OBJECT_0)
            return 0xFFFFFFFF;
        DWORD code = 0xFFFFFFFF;
        GetExitCodeProcess(m_pi.hProcess, &code);
        return code;
    }

private:
    BOOL m_started = FALSE;
    PROCESS_INFORMATION m_pi = {};
};

DWORD RunProbe(const std::string& mode, const std::string& name)
{
    return Probe(mode, name).ExitCode();
}

// A probe that holds the mutex until Let() is called.
class HoldingProbe {
public:
    explicit HoldingProbe(const std::string& name)
        : m_base(UniqueName("hold")),
          m_ready(CreateEventA(nullptr, TRUE, FALSE, (m_base + "_ready").c_str())),
          m_release(CreateEventA(nullptr, TRUE, FALSE, (m_base + "_release").c_str())),
          m_probe("hold", name, m_base)
    {
    }
    ~HoldingProbe()
    {
        Let();
        m_probe.ExitCode();
        CloseHandle(m_ready);
        CloseHandle(m_release);
    }
    bool Ready() { return WaitForSingleObject(m_ready, 20000) == WAIT_OBJECT_0; }
    void Let() { SetEvent(m_release); }
    DWORD ExitCode() { return m_probe.ExitCode(); }

private:
    std::string m_base;
    HANDLE m_ready;
    HANDLE m_release;
    Probe m_probe;
};

enum : DWORD { PROBE_TAKEN = 0, PROBE_BUSY = 1, PROBE_NO_MUTEX = 3 };

}  // namespace

TEST(OsVersionInfo, QueriedOnceAsTheExtendedRecord)
{
    const OSVERSIONINFOEXA& info = GetOsVersionInfo();
    EXPECT_EQ(info.dwOSVersionInfoSize, sizeof(OSVERSIONINFOEXA));
    EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_GE(info.dwMajorVersion, 6u);
    EXPECT_EQ(&GetOsVersionInfo(), &info);
    EXPECT_EQ(GetGlobalPrefix(), "Global\\");
}

TEST(OsVersionInfo, GlobalPrefixOnlyFromNt5)
{
    const struct {
        DWORD platformId, major, minor;
        const char* prefix;
    } cases[] = {{VER_PLATFORM_WIN32_NT, 4, 0, ""},
                 {VER_PLATFORM_WIN32_WINDOWS, 4, 10, ""},
                 {VER_PLATFORM_WIN32_NT, 5, 1, "Global\\"},
                 {VER_PLATFORM_WIN32_NT, 10, 0, "Global\\"}};
    for (const auto& c : cases) {
        VersionOverride version(c.platformId, c.major, c.minor);
        EXPECT_EQ(GetGlobalPrefix(), c.prefix) << c.platformId << " " << c.major;
    }
}

TEST(CreateOpenMutex, GlobalNameOpenToEveryone)
{
    const std::string name = UniqueName("open");
    HANDLE first = CreateOpenMutex(FALSE, name.c_str());
    ASSERT_TRUE(first);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE second = CreateOpenMutex(FALSE, name.c_str());
    ASSERT_TRUE(second);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(second);

    HANDLE opened = OpenMutexA(SYNCHRONIZE, FALSE, ("Global\\" + name).c_str());
    EXPECT_TRUE(opened);
    if (opened)
        CloseHandle(opened);

    // The DACL holds one ACE: Everyone may do everything with the mutex.
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(first, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(dacl);
    ASSERT_EQ(dacl->AceCount, 1);
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, 0, &ace));
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(allowed->Mask, static_cast<DWORD>(MUTEX_ALL_ACCESS));
    char* sid = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidA(&allowed->SidStart, &sid));
    EXPECT_STREQ(sid, "S-1-1-0");
    LocalFree(sid);
    LocalFree(descriptor);
    CloseHandle(first);
}

TEST(CreateOpenMutex, PlainNameOutsideTheNtFamily)
{
    const std::string name = UniqueName("plain");
    VersionOverride win98(VER_PLATFORM_WIN32_WINDOWS, 4, 10);
    HANDLE mutex = CreateOpenMutex(TRUE, name.c_str());
    ASSERT_TRUE(mutex);
    HANDLE opened = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
    EXPECT_TRUE(opened);
    if (opened)
        CloseHandle(opened);
    EXPECT_TRUE(ReleaseMutex(mutex));  // the initial-owner flag applied
    CloseHandle(mutex);
}

TEST(CreateOpenMutex, NoDescriptorGivesNullAndCanNotComplete)
{
    AclFailure failure;
    EXPECT_FALSE(CreateOpenMutex(FALSE, UniqueName("nodacl").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CAN_NOT_COMPLETE));
}

TEST(NamedMutex, NullHandleIsNeverOwned)
{
    AclFailure failure;
    CNamedMutex mutex(UniqueName("null").c_str(), true, true);
    EXPECT_FALSE(mutex.m_hMutex);
    EXPECT_FALSE(mutex.m_bOwned);
    EXPECT_FALSE(mutex.Wait(0));
    EXPECT_FALSE(mutex.Release());
}

TEST(NamedMutex, SeenFromASecondProcess)
{
    const std::string name = UniqueName("second");
    CNamedMutex mutex(name.c_str(), false, true);
    ASSERT_TRUE(mutex.m_hMutex);
    EXPECT_FALSE(mutex.m_bOwned);
    // The second process finds it in the global namespace only.
    EXPECT_EQ(RunProbe("try", "Global\\" + name), PROBE_TAKEN);
    EXPECT_EQ(RunProbe("try", name), PROBE_NO_MUTEX);

    EXPECT_TRUE(mutex.Wait(0));
    EXPECT_TRUE(mutex.m_bOwned);
    EXPECT_EQ(RunProbe("try", "Global\\" + name), PROBE_BUSY);
    EXPECT_TRUE(mutex.Release());
    EXPECT_FALSE(mutex.m_bOwned);
    EXPECT_EQ(RunProbe("try", "Global\\" + name), PROBE_TAKEN);
    EXPECT_FALSE(mutex.Release());  // not owned any more
}

TEST(NamedMutex, WaitFailsWhileAnotherProcessOwnsIt)
{
    const std::string name = UniqueName("busy");
    CNamedMutex mutex(name.c_str(), false, true);
    ASSERT_TRUE(mutex.m_hMutex);
    HoldingProbe holder("Global\\" + name);
    ASSERT_TRUE(holder.Ready());
    EXPECT_FALSE(mutex.Wait(0));
    EXPECT_FALSE(mutex.m_bOwned);
    holder.Let();
    EXPECT_EQ(holder.ExitCode(), 0u);
    EXPECT_TRUE(mutex.Wait(0));
    EXPECT_TRUE(mutex.m_bOwned);
}

TEST(NamedMutex, AbandonedCountsAsOwned)
{
    const std::string name = UniqueName("abandoned");
    CNamedMutex mutex(name.c_str(), false, true);
    ASSERT_TRUE(mutex.m_hMutex);
    ASSERT_EQ(RunProbe("abandon", "Global\\" + name), 0u);
    EXPECT_TRUE(mutex.Wait(0));
    EXPECT_TRUE(mutex.m_bOwned);
    EXPECT_EQ(RunProbe("try", "Global\\" + name), PROBE_BUSY);
}

TEST(NamedMutex, InitialOwnerOfAnExistingMutexWaitsForIt)
{
    const std::string name = UniqueName("initial");
    HANDLE keep = CreateOpenMutex(FALSE, name.c_str());
    ASSERT_TRUE(keep);
    HoldingProbe holder("Global\\" + name);
    ASSERT_TRUE(holder.Ready());
    std::thread letGo([&] {
        Sleep(200);
        holder.Let();
    });
    CNamedMutex mutex(name.c_str(), true, true);  // blocks until the probe lets go
    letGo.join();
    EXPECT_TRUE(mutex.m_bOwned);
    EXPECT_EQ(RunProbe("try", "Global\\" + name), PROBE_BUSY);
    CloseHandle(keep);
}

TEST(NamedMutex, DestructorReleasesTheMutex)
{
    const std::string name = UniqueName("destroyed");
    HANDLE keep = CreateOpenMutex(FALSE, name.c_str());
    ASSERT_TRUE(keep);
    {
        CNamedMutex mutex(name.c_str(), true, true);
        EXPECT_TRUE(mutex.m_bOwned);
        EXPECT_EQ(RunProbe("try", "Global\\" + name), PROBE_BUSY);
    }
    EXPECT_EQ(RunProbe("try", "Global\\" + name), PROBE_TAKEN);
    CloseHandle(keep);
}

TEST(NamedSemaphore, OpensOnlyWhileItExists)
{
    const std::string name = UniqueName("semaphore");
    CNamedSemaphore semaphore;
    EXPECT_FALSE(semaphore.m_hSemaphore);
    EXPECT_FALSE(semaphore.Open(name.c_str(), true));

    HANDLE created = CreateSemaphoreA(nullptr, 1, 1, ("Global\\" + name).c_str());
    ASSERT_TRUE(created);
    EXPECT_TRUE(semaphore.Open(name.c_str(), true));
    EXPECT_TRUE(semaphore.m_hSemaphore);
    EXPECT_TRUE(semaphore.Open(("Global\\" + name).c_str(), false));
    semaphore.Close();
    EXPECT_FALSE(semaphore.m_hSemaphore);
    semaphore.Close();

    CloseHandle(created);
    EXPECT_FALSE(semaphore.Open(name.c_str(), true));
    EXPECT_FALSE(semaphore.m_hSemaphore);
}
