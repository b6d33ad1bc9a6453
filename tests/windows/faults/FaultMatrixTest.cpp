// The fault matrix: the demo product installed into scratch folders, on a fresh machine and over an
// installation (whose shared settings the user changed and whose program was replaced), with one fault per
// case. An extraction that fails leaves the machine exactly as it was; a later step that fails leaves the
// documented partial installation. Either way the installer then runs again successfully and the installed
// uninstaller takes the machine back to where it was before the first installation, shared data aside.
#include "FaultSupport.h"
#include "RegistryBackup.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <iterator>
#include <memory>

namespace {

enum class Fault {
    DamagedArchive,
    TruncatedArchive,
    HeldDestination,
    DeniedFolder,
    DiskFullAtOnce,
    DiskFullInProgram,
    DiskFullNearTheEnd,
    KeySaveFails,
    LinkFails,
    RegistrationExitsWith0,
    LogCannotBeWritten,
};

struct FaultCase {
    Fault fault;
    const char* name;
    int failureKind;  // the extraction's error kind, 0 when the extraction succeeds
    const char* failedLine;  // the log line that ends in "Failed", for a later step
};

const FaultCase kCases[] = {
    {Fault::DamagedArchive, "DamagedArchive", 4, nullptr},
    {Fault::TruncatedArchive, "TruncatedArchive", 6, nullptr},
    {Fault::HeldDestination, "HeldDestination", 1, nullptr},
    {Fault::DeniedFolder, "DeniedFolder", 1, nullptr},
    {Fault::DiskFullAtOnce, "DiskFullAtOnce", 1, nullptr},
    {Fault::DiskFullInProgram, "DiskFullInProgram", 1, nullptr},
    {Fault::DiskFullNearTheEnd, "DiskFullNearTheEnd", 1, nullptr},
    {Fault::KeySaveFails, "KeySaveFails", 0, nullptr},
    {Fault::LinkFails, "LinkFails", 0, "Shortcuts Creation..."},
    {Fault::RegistrationExitsWith0, "RegistrationExitsWith0", 0, "Registry Data Writing..."},
    {Fault::LogCannotBeWritten, "LogCannotBeWritten", 0, "Installation Data Writing..."},
};

// The disk fills after this many bytes of extracted files.
DWORD g_bytesLeft = 0;

BOOL WINAPI WriteUntilFull(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    const DWORD part = size < g_bytesLeft ? size : g_bytesLeft;
    g_bytesLeft -= part;
    if (part < size) {
        WriteFile(file, data, part, written, overlapped);
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return WriteFile(file, data, size, written, overlapped);
}

LONG WINAPI FailingSave(HKEY, LPCSTR, LPSECURITY_ATTRIBUTES) { return ERROR_ACCESS_DENIED; }

std::string Flipped(std::string archive)
{
    archive[archive.size() / 2] ^= 0x20;
    return archive;
}

class FaultMatrix : public ::testing::TestWithParam<std::tuple<FaultCase, bool>> {
protected:
    void SetUp() override
    {
        // A folder left immutable by an interrupted earlier run would keep the scratch root forever.
        const std::string scratch = TestRoot() + "\\faults";
        if (FileExists(scratch))
            RunUnix("Z:\\usr\\bin\\chattr -R -i \"" + UnixPath(scratch) + "\"");
        m_roots = std::make_unique<FaultRoots>(FreshFolder("faults"));
        UseTemporaryFolder(m_roots->temp);
        RemoveRegistrations();
        m_files = DemoFiles(*m_roots);
        ASSERT_GE(m_files.size(), 10u);
        m_archive = BuildArchive(m_files);
        m_first = MachineSnapshot::Take(m_roots->root);
    }
    void TearDown() override
    {
        ExtractorWriteCall() = nullptr;
        RemoveRegistrations();
        RemoveTree(m_roots->root);
    }

    const FaultRoots& R() const { return *m_roots; }
    std::string Program() const { return R().install + "\\Plankora.exe"; }
    // An installation of the product that the user has used since: changed shared settings, a program
    // replaced by another build.
    void InstallAndUse()
    {
        const InstallResult first = RunInstall(R(), m_archive);
        ASSERT_TRUE(first.ok) << first.log;
        ASSERT_EQ(first.log.find("Failed"), std::string::npos) << first.log;
        ASSERT_TRUE(WriteFileBytes(R().shared + "\\shared.dat", "the users' own settings"));
        SetFileAttributesA(Program().c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(WriteFileBytes(Program(), ReadFileBytes(Program()) + "another build"));
        SetFileAttributesA(Program().c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    }
    // Something in the way for a fresh machine: made after the first snapshot, taken away again before the
    // installer runs a second time.
    void Obstacle(const std::string& path, bool folder)
    {
        if (FileExists(path))
            return;
        m_obstacles.push_back(path);
        const std::string parent = folder ? path : path.substr(0, path.rfind('\\'));
        SHCreateDirectoryExA(nullptr, parent.c_str(), nullptr);
        ASSERT_TRUE(IsFolder(parent)) << parent;
        if (!folder) {
            ASSERT_TRUE(WriteFileBytes(path, "a stray file"));
        }
    }
    void RemoveObstacles()
    {
        for (const std::string& path : m_obstacles) {
            if (IsFolder(path))
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        }
        // And the folders that only held them.
        for (std::string folder = R().install; folder.size() > R().root.size();
             folder = folder.substr(0, folder.rfind('\\'))) {
            if (m_first.items.count("folder " + folder) == 0)
                RemoveDirectoryA(folder.c_str());
        }
        for (const std::string& path : m_obstacles) {
            for (std::string folder = path.substr(0, path.rfind('\\')); folder.size() > R().root.size();
                 folder = folder.substr(0, folder.rfind('\\'))) {
                if (m_first.items.count("folder " + folder) == 0)
                    RemoveDirectoryA(folder.c_str());
            }
        }
    }

    std::unique_ptr<FaultRoots> m_roots;
    std::vector<TestFile> m_files;
    std::string m_archive;
    MachineSnapshot m_first;  // the machine before the first installation
    std::vector<std::string> m_obstacles;
};

TEST_P(FaultMatrix, NothingIsLostAndTheNextRunConverges)
{
    const FaultCase& c = std::get<0>(GetParam());
    const bool update = std::get<1>(GetParam());
    if (update) {
        ASSERT_NO_FATAL_FAILURE(InstallAndUse());
    }

    std::string archive = m_archive;
    std::string startMenu;
    std::unique_ptr<HeldFile> held;
    std::unique_ptr<ImmutableFolder> denied;
    REGISTRY_SAVE_CALLS savedCalls = detail::RegistrySaveCalls();
    const std::string programBefore = update ? ReadFileBytes(Program()) : std::string();
    switch (c.fault) {
    case Fault::DamagedArchive:
        archive = Flipped(archive);
        break;
    case Fault::TruncatedArchive:
        archive = WithChecksum(archive.substr(0, archive.size() * 2 / 3));
        break;
    case Fault::HeldDestination:
        ASSERT_NO_FATAL_FAILURE(Obstacle(R().install + "\\Docs\\Help.txt", false));
        held = std::make_unique<HeldFile>(QU_HOLD_FILE, R().install + "\\Docs\\Help.txt");
        ASSERT_TRUE(held->IsHeld());
        break;
    case Fault::DeniedFolder:
        ASSERT_NO_FATAL_FAILURE(Obstacle(R().install + "\\Lang\\de", true));
        denied = std::make_unique<ImmutableFolder>(R().install + "\\Lang\\de");
        break;
    case Fault::DiskFullAtOnce:
    case Fault::DiskFullInProgram:
    case Fault::DiskFullNearTheEnd: {
        // What the run writes: over an installation the shared data is kept.
        size_t total = 0;
        for (const TestFile& f : m_files)
            total += f.kind == 3 ? 0 : f.content.size();
        g_bytesLeft = c.fault == Fault::DiskFullAtOnce      ? 0
                      : c.fault == Fault::DiskFullInProgram ? static_cast<DWORD>(m_files[0].content.size() / 2)
                                                            : static_cast<DWORD>(total - 100);
        ExtractorWriteCall() = WriteUntilFull;
        break;
    }
    case Fault::KeySaveFails:
        detail::RegistrySaveCalls().pfnSaveKey = FailingSave;
        break;
    case Fault::LinkFails:
        ASSERT_NO_FATAL_FAILURE(Obstacle(R().root + "\\Blocked", false));
        startMenu = R().root + "\\Blocked\\Sarventa 5";
        break;
    case Fault::RegistrationExitsWith0: {
        std::vector<TestFile> files = m_files;
        files[0].content = ReadFileBytes(WinPath(QU_VERSIONED_PROGRAM));
        archive = BuildArchive(files);
        break;
    }
    case Fault::LogCannotBeWritten:
        if (update) {
            held = std::make_unique<HeldFile>(QU_HOLD_FILE, R().Log());
        } else {
            ASSERT_NO_FATAL_FAILURE(Obstacle(R().Log(), true));
        }
        break;
    }
    const MachineSnapshot before = MachineSnapshot::Take(R().root);

    const InstallResult faulty = RunInstall(R(), archive, startMenu);
    ExtractorWriteCall() = nullptr;
    detail::RegistrySaveCalls() = savedCalls;
    const MachineSnapshot after = MachineSnapshot::Take(R().root);
    held.reset();
    denied.reset();

    EXPECT_EQ(TemporaryItems(after), std::vector<std::string>()) << faulty.log;
    if (c.failureKind != 0) {
        EXPECT_FALSE(faulty.ok) << faulty.log;
        EXPECT_EQ(faulty.failureKind, c.failureKind) << faulty.status;
        EXPECT_TRUE(SameMachine(before, after)) << faulty.log;
    } else {
        // A later step: the installation stands, its failing step is reported alone.
        EXPECT_TRUE(faulty.ok) << faulty.log;
        std::string failedLines;
        for (size_t end = faulty.log.find("Failed\r\n"); end != std::string::npos;
             end = faulty.log.find("Failed\r\n", end + 1))
            failedLines += faulty.log.substr(faulty.log.rfind('\n', end) + 1, end - faulty.log.rfind('\n', end) - 1);
        EXPECT_EQ(failedLines, c.failedLine ? c.failedLine : "") << faulty.log;
        EXPECT_EQ(ReadFileBytes(Program()), c.fault == Fault::RegistrationExitsWith0
                                                ? ReadFileBytes(WinPath(QU_VERSIONED_PROGRAM))
                                                : m_files[0].content);
        EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, ".plk"), c.fault != Fault::RegistrationExitsWith0 || update);
        EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH, "UninstallString"),
                  R().install + "\\Uninstall.exe");
        if (c.fault == Fault::LogCannotBeWritten) {
            // The previous log stays as it was; a fresh machine has none.
            EXPECT_EQ(after.items.count("file " + R().Log()), update ? 1u : 0u);
            if (update) {
                EXPECT_EQ(after.items.at("file " + R().Log()), before.items.at("file " + R().Log()));
            }
        } else {
            EXPECT_TRUE(FileExists(R().Log()));
        }
        if (c.fault == Fault::LinkFails) {
            // No link was made, and over an installation the previous links went with the backups.
            EXPECT_EQ(after.Only(R().root + "\\Menu").items.size(), update ? 2u : 0u)
                << SnapshotDifference(MachineSnapshot(), after.Only(R().root + "\\Menu"));
        }
    }
    if (update) {
        EXPECT_EQ(ReadFileBytes(R().shared + "\\shared.dat"), "the users' own settings");
    }

    // The next run, with the fault gone, converges; the uninstaller then removes everything but the shared
    // data.
    RemoveObstacles();
    const InstallResult again = RunInstall(R(), m_archive);
    ASSERT_TRUE(again.ok) << again.log;
    EXPECT_EQ(again.log.find("Failed"), std::string::npos) << again.log;
    EXPECT_EQ(ReadFileBytes(Program()), m_files[0].content);
    EXPECT_EQ(TemporaryItems(MachineSnapshot::Take(R().root)), std::vector<std::string>());
    EXPECT_EQ(RunUninstaller(R()), 0u);
    const std::string shared = R().root + "\\Common";
    MachineSnapshot end = MachineSnapshot::Take(R().root).Without(shared);
    if (c.fault == Fault::LogCannotBeWritten && !update) {
        // No log lists the folders that the first run made: the second run found them, and the uninstaller
        // leaves them, empty.
        for (auto item = end.items.begin(); item != end.items.end();)
            item = item->first.compare(0, 7, "folder ") == 0 && !m_first.items.count(item->first) ? end.items.erase(item)
                                                                                                 : std::next(item);
    }
    EXPECT_TRUE(SameMachine(m_first.Without(shared), end));
    EXPECT_TRUE(FileExists(R().shared + "\\shared.dat"));
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, ::testing::Combine(::testing::ValuesIn(kCases), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<FaultMatrix::ParamType>& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "_Update" : "_Fresh");
                         });

}  // namespace
