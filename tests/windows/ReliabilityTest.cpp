// Nothing of the user's is lost and nothing is cut short: a failed run where backups cannot be made, a
// destination that does not fit a path.
#include "Checksum.h"
#include "Hash33.h"
#include "InstallTestSupport.h"
#include "NamedObjects.h"
#include "Security.h"

#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// The temporary folder points somewhere that does not exist for as long as it lives: every backup fails.
using NoTemporaryFolder = ScopedTemporaryFolder;

// Wine makes no link through CreateSymbolicLink, but reports a Unix symbolic link as a reparse point: the
// links are made and removed by ln and rm, started as Unix programs.
// A link at path to target; true once the system sees it as a reparse point.
bool MakeLink(const std::string& target, const std::string& path)
{
    if (!RunUnix("Z:\\bin\\ln -s \"" + UnixPath(target) + "\" \"" + UnixPath(path) + "\""))
        return false;
    for (int k = 0; k < 100; ++k) {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return true;
        Sleep(50);
    }
    return false;
}

void RemoveLink(const std::string& path)
{
    RunUnix("Z:\\bin\\rm -f \"" + UnixPath(path) + "\"");
    for (int k = 0; k < 100 && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; ++k)
        Sleep(50);
}

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
    // old.txt, which cannot be backed up, fails before the archive's end is reached.
    EXPECT_EQ(m_sequence.GetFailureKind(), 1);
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

// An existing file whose backup cannot be made is never replaced: its entry fails with the backup's error
// before anything is written, whatever fails later would otherwise have deleted it with no backup to restore.
TEST_F(FailedRunWithoutBackups, AnExistingFileThatCannotBeBackedUpIsNotReplaced)
{
    NoTemporaryFolder noTemp(m_root + "\\missing");
    for (const bool laterFailure : {true, false}) {
        SCOPED_TRACE(laterFailure);
        std::vector<TestFile> files = {{"<InstallPath>\\old.txt", "new"}};
        if (laterFailure)
            files.push_back({"<InstallPath>\\a.txt", "a", true, 0, true, 1});
        EXPECT_FALSE(Run(files));
        EXPECT_EQ(m_sequence.GetFailureKind(), 1);
        EXPECT_EQ(m_progress.status.rfind("Installation failed (Error Code 1:0000", 0), 0u) << m_progress.status;
        EXPECT_NE(m_progress.log.find("old.txt\"...Failed"), std::string::npos) << m_progress.log;
        EXPECT_EQ(ReadFileBytes(m_install + "\\old.txt"), "the user's old file");
        EXPECT_EQ(ListFiles(m_install), std::vector<std::string>{"old.txt"});
    }
}

// Written in place (no room for a temporary name in the folder), a file that cannot be opened keeps its
// attributes: it is still the user's file, and the rollback leaves it as it is.
TEST_F(InstallSequence, AFailedInPlaceOpenKeepsTheReadOnlyAttribute)
{
    m_install = m_root + "\\" + std::string(246 - m_root.size(), 'f');
    ASSERT_EQ(m_install.size(), 247u);
    m_app.m_strInstallFolder = m_install;
    const std::string file = m_install + "\\a.txt";
    ASSERT_TRUE(CreateDirectoryA(m_install.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(file, "the user's"));
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    {
        FileHandle held(CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        EXPECT_FALSE(Run({{"<InstallPath>\\a.txt", "new"}}));
    }
    EXPECT_EQ(m_progress.status, "Installation failed (Error Code 1:00000020).");
    EXPECT_NE(GetFileAttributesA(file.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(ReadFileBytes(file), "the user's");
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
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

// The run's private folder: the system and administrators with full access, inherited by everything inside,
// nothing inherited from the user's temporary folder. (Wine keeps no access list on files: checked in memory.)
TEST(PrivateFolder, AdmitsOnlyTheSystemAndAdministrators)
{
    PSECURITY_DESCRIPTOR descriptor = BuildPrivateFolderSecurity();
    ASSERT_NE(descriptor, nullptr);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl);
    std::vector<std::string> seen;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &ace));
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(allowed->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_EQ(allowed->Mask, static_cast<DWORD>(FILE_ALL_ACCESS));
        char* text = nullptr;
        ASSERT_TRUE(ConvertSidToStringSidA(&allowed->SidStart, &text));
        seen.push_back(text);
        LocalFree(text);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"S-1-5-18", "S-1-5-32-544"}));
    LocalFree(descriptor);
}

bool IsInside(const std::string& path, const std::string& folder)
{
    return path.size() > folder.size() && lstrcmpiA(path.substr(0, folder.size()).c_str(), folder.c_str()) == 0;
}

// Backups and the key backup wait in a private "qu" folder of the run inside the temporary folder, which goes
// once they have gone.
TEST_F(InstallSequence, BackupsWaitInAPrivateFolderOfTheRunThatGoesWithThem)
{
    const std::string file = m_root + "\\old.txt";
    ASSERT_TRUE(WriteFileBytes(file, "old"));
    for (bool rollback : {true, false}) {
        CUninstallLog log;
        log.AddFile(file.c_str(), 0, rollback);
        const std::string backup = log.GetLast()->strBackup;
        const std::string folder = CUninstallLog::GetBackupFolder();
        ASSERT_FALSE(folder.empty());
        EXPECT_TRUE(IsInside(folder, m_temp));
        EXPECT_EQ(folder.substr(std::string(m_temp).size(), 2), "qu");
        EXPECT_TRUE(IsInside(backup, folder)) << backup;
        EXPECT_EQ(CUninstallLog::BackupFile(nullptr, false).substr(0, folder.size()), folder);
        if (rollback)
            log.Rollback();
        else
            log.Save(nullptr, m_install, m_menu);
        EXPECT_FALSE(FileExists(folder)) << rollback;
        EXPECT_EQ(ReadFileBytes(file), rollback ? "old" : "");
        WriteFileBytes(file, "old");
    }
}

// The payload copy is written in the run's private folder and held from its creation to its deletion: nobody
// else may write, rename or delete it, so the archive that is verified is the one that is extracted.
TEST(PayloadCopy, IsHeldSoThatNobodyElseCanChangeIt)
{
    CInstallApp app;
    std::string error;
    ASSERT_TRUE(app.CopyPayloadToTemp(error)) << error;
    const std::string file = app.m_strPayloadFile;
    EXPECT_TRUE(IsInside(file, CUninstallLog::GetBackupFolder())) << file;
    HANDLE writer = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);
    EXPECT_FALSE(DeleteFileA(file.c_str()));
    EXPECT_FALSE(MoveFileA(file.c_str(), (file + ".moved").c_str()));
    // The extractor's readers share writing and can read it.
    const std::string bytes = "QU test payload bytes";
    EXPECT_EQ(ComputeFileChecksum(file.c_str(), false, true), Hash33(bytes.data(), bytes.size()));
    const std::string folder = CUninstallLog::GetBackupFolder();
    app.DeletePayloadFile();
    EXPECT_FALSE(FileExists(file));
    EXPECT_FALSE(FileExists(folder));
}

// A link below a placeholder's folder could lead the elevated writes, and the access granted, elsewhere: the
// entry fails before anything goes through it. (Wine shows only links to folders as reparse points; a link to a
// file looks like the file there, so the file case is the same check on the last component, untested.)
TEST_F(InstallSequence, ALinkBelowAPlaceholderFolderFailsTheEntryBeforeAnythingGoesThroughIt)
{
    const std::string elsewhere = m_root + "\\elsewhere";
    const std::string link = m_install + "\\Help";
    ASSERT_TRUE(CreateDirectoryA(m_install.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(elsewhere.c_str(), nullptr));
    auto removeLink = MakeScopeGuard([&] { RemoveLink(link); });
    ASSERT_TRUE(MakeLink(elsewhere, link));
    EXPECT_FALSE(Run({{"<InstallPath>\\a.txt", "a"}, {"<InstallPath>\\Help\\Manual.txt", "manual"}}));
    EXPECT_EQ(m_progress.status, "Installation failed (Error Code 1:00000780).");
    EXPECT_TRUE(ListFiles(elsewhere).empty());
    EXPECT_FALSE(FileExists(m_install + "\\a.txt"));
    // Access goes to an item itself, never through a link.
    EXPECT_FALSE(GrantUsersAccess(link.c_str(), GENERIC_READ, 0));
    EXPECT_TRUE(GrantUsersAccess(elsewhere.c_str(), GENERIC_READ, 0));
}

// A second name of a file elsewhere on the volume (a hard link a standard user may put where shared data
// goes) would lead a write in place and the access granted to shared data to that file: the entry fails
// before anything reaches it.
TEST_F(InstallSequence, AFileWithASecondNameFailsTheEntryBeforeAnythingReachesIt)
{
    const std::string target = m_root + "\\not-theirs.dat";
    ASSERT_TRUE(WriteFileBytes(target, "someone else's"));
    ASSERT_TRUE(CreateDirectoryA(m_install.c_str(), nullptr));
    ASSERT_TRUE(CreateHardLinkA((m_install + "\\shared.dat").c_str(), target.c_str(), nullptr));
    for (const int kind : {3, 0}) {
        EXPECT_FALSE(Run({{"<InstallPath>\\a.txt", "a"}, {"<InstallPath>\\shared.dat", "shipped", true, kind}}));
        EXPECT_EQ(m_progress.status, "Installation failed (Error Code 1:00000780).") << kind;
        EXPECT_EQ(ReadFileBytes(target), "someone else's");
        EXPECT_EQ(ListFiles(m_install), std::vector<std::string>{"shared.dat"});
    }
}

// A standard user who owns the shared data folder can put a second name of someone else's file there after
// the entry's link check (an opportunistic lock on their file tells them when the backup copy opens it). A
// write in place (no temporary name can be made in the folder) must not reach that file.
TEST_F(InstallSequence, ASecondNameMadeAfterTheCheckIsNotWrittenInPlace)
{
    m_install = m_root + "\\" + std::string(246 - m_root.size(), 'f');
    m_app.m_strInstallFolder = m_install;
    const std::string target = m_root + "\\not-theirs.dat";
    const std::string file = m_install + "\\shared.dat";
    ASSERT_TRUE(WriteFileBytes(target, "someone else's"));
    ASSERT_TRUE(CreateDirectoryA(m_install.c_str(), nullptr));
    for (const bool existing : {true, false}) {
        SCOPED_TRACE(existing);
        DeleteFileA(file.c_str());
        if (existing) {
            ASSERT_TRUE(WriteFileBytes(file, "the user's"));
        }
        m_progress.onStatusPath = [&](const std::string&) {
            DeleteFileA(file.c_str());
            CreateHardLinkA(file.c_str(), target.c_str(), nullptr);
        };
        Run({{"<InstallPath>\\shared.dat", "shipped", true, existing ? 0 : 3}});
        m_progress.onStatusPath = nullptr;
        EXPECT_EQ(ReadFileBytes(target), "someone else's");
    }
    DeleteFileA(file.c_str());
}

// The same user can also swap a checked folder for a link after the check: the temporary file, the rename
// over the name and the access granted then land in the folder the link leads to.
TEST_F(InstallSequence, AFolderSwappedForALinkAfterTheCheckIsNotWrittenThrough)
{
    const std::string elsewhere = m_root + "\\elsewhere";
    const std::string data = m_install + "\\Data";
    ASSERT_TRUE(CreateDirectoryA(m_install.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(data.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(elsewhere.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(elsewhere + "\\shared.dat", "someone else's"));
    auto removeLink = MakeScopeGuard([&] { RemoveLink(data); });
    m_progress.onStatusPath = [&](const std::string&) {
        if (MoveFileA(data.c_str(), (data + ".old").c_str()))
            MakeLink(elsewhere, data);
    };
    Run({{"<InstallPath>\\Data\\shared.dat", "shipped", true, 3}});
    m_progress.onStatusPath = nullptr;
    EXPECT_EQ(ReadFileBytes(elsewhere + "\\shared.dat"), "someone else's");
}

// The checked folders stay held through the verification, after which a failure deletes by name.
TEST_F(InstallSequence, ACheckedFolderCannotBeSwappedDuringTheVerification)
{
    const std::string data = m_install + "\\Data";
    ASSERT_TRUE(CreateDirectoryA(m_install.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(data.c_str(), nullptr));
    bool verifying = false, moved = false;
    m_progress.onStatusText = [&](const std::string& text) {
        if (text.compare(0, 12, "Data Control") != 0)
            return;
        verifying = true;
        moved = MoveFileA(data.c_str(), (data + ".old").c_str()) != FALSE;
        if (moved)
            MoveFileA((data + ".old").c_str(), data.c_str());
    };
    Run({{"<InstallPath>\\Data\\shared.dat", "shipped", true, 3}});
    m_progress.onStatusText = nullptr;
    EXPECT_TRUE(verifying);
    EXPECT_FALSE(moved);
}

}  // namespace
