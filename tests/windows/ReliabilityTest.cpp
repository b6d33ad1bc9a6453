// Nothing of the user's is lost and nothing is cut short: a failed run where backups cannot be made, a
// destination that does not fit a path.
#include "InstallTestSupport.h"
#include "NamedObjects.h"

#include <sddl.h>

#include <gtest/gtest.h>

namespace {

// The temporary folder points somewhere that does not exist for as long as it lives: every backup fails.
class NoTemporaryFolder {
public:
    NoTemporaryFolder(const std::string& missing)
    {
        for (const char* name : {"TMP", "TEMP"}) {
            char value[MAX_PATH] = {};
            m_saved.push_back(GetEnvironmentVariableA(name, value, MAX_PATH) ? value : "");
            SetEnvironmentVariableA(name, missing.c_str());
        }
    }
    ~NoTemporaryFolder()
    {
        SetEnvironmentVariableA("TMP", m_saved[0].c_str());
        SetEnvironmentVariableA("TEMP", m_saved[1].c_str());
    }

private:
    std::vector<std::string> m_saved;
};

class FailedRunWithoutBackups : public InstallSequence {
protected:
    void SetUp() override
    {
        InstallSequence::SetUp();
        m_shared = m_root + "\\Common\\shared.dat";
        ASSERT_TRUE(CreateDirectoryA((m_root + "\\Common").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(m_install.c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(m_shared, "the users' settings"));
        ASSERT_TRUE(WriteFileBytes(m_install + "\\old.txt", "the user's old file"));
        m_sequence.m_payloadFolder = m_root;
    }
    std::string m_shared;
};

TEST_F(FailedRunWithoutBackups, KeepsATakenOverSharedFileAndAnExistingFileTheExtractorHadNotReplaced)
{
    NoTemporaryFolder noTemp(m_root + "\\missing");
    // The shared file exists: taken over with a copy backup that cannot be made. The archive then ends inside
    // old.txt while it is written under its temporary name: old.txt has no backup either.
    std::vector<TestFile> files = {{m_shared, "shipped settings", true, 3},
                                   {"<InstallPath>\\new.txt", "new"},
                                   {"<InstallPath>\\old.txt", std::string(5000, 'x')}};
    const std::string archive = BuildArchive(files);
    m_sequence.m_archive = WithChecksum(archive.substr(0, archive.size() - 2000));
    EXPECT_FALSE(m_sequence.RunInstallSequence());
    EXPECT_EQ(m_sequence.GetFailureKind(), 6);
    EXPECT_EQ(ReadFileBytes(m_shared), "the users' settings");
    EXPECT_EQ(ReadFileBytes(m_install + "\\old.txt"), "the user's old file");
    EXPECT_EQ(ListFiles(m_install), std::vector<std::string>{"old.txt"});
}

TEST_F(FailedRunWithoutBackups, KeepsATakenOverSharedFileWhenVerificationFails)
{
    NoTemporaryFolder noTemp(m_root + "\\missing");
    EXPECT_FALSE(Run({{m_shared, "shipped settings", true, 3}, {"<InstallPath>\\a.txt", "a", true, 0, true, 1}}));
    EXPECT_EQ(m_sequence.GetFailureKind(), 3);
    EXPECT_EQ(ReadFileBytes(m_shared), "the users' settings");
    EXPECT_EQ(ListFiles(m_install), std::vector<std::string>{"old.txt"});
}

TEST_F(InstallSequence, ADestinationLongerThanAPathFailsBeforeAnyFileIsWritten)
{
    // An installation folder of 240 characters: the help file's path no longer fits in 259.
    m_install = m_root + "\\" + std::string(239 - m_root.size(), 'f');
    ASSERT_EQ(m_install.size(), 240u);
    m_app.m_strInstallFolder = m_install;
    EXPECT_FALSE(Run({{"<InstallPath>\\ReadMe.txt", "fits"}, {"<InstallPath>\\Help\\Manual-English.txt", "cut"}}));
    EXPECT_EQ(m_sequence.GetFailureKind(), 1);
    EXPECT_EQ(m_progress.status, "Installation failed (Error Code 1:000000CE).");
    EXPECT_FALSE(FileExists(m_install));
}

// Another user's running product: its semaphore admits administrators to no more than waiting (here: an
// empty access list). It still counts as running.
TEST(ProductRunningProbe, FindsASemaphoreThatAdmitsNoFullAccess)
{
    const std::string name = "QuReliability.Semaphore." + std::to_string(GetCurrentProcessId());
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:", SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    HANDLE created = CreateSemaphoreA(&attributes, 1, 1, (GetGlobalPrefix() + name).c_str());
    LocalFree(descriptor);
    ASSERT_NE(created, nullptr);
    HANDLE full = OpenSemaphoreA(SEMAPHORE_ALL_ACCESS, FALSE, (GetGlobalPrefix() + name).c_str());
    EXPECT_EQ(full, nullptr);  // the premise
    if (full)
        CloseHandle(full);

    CNamedSemaphore probe;
    EXPECT_TRUE(probe.Open(name.c_str(), true));
    probe.Close();
    CloseHandle(created);
    EXPECT_FALSE(probe.Open(name.c_str(), true));
}

}  // namespace
