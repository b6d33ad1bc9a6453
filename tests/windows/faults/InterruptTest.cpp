// Interrupted installations: the install sequence run by a child process (install-child.exe) that is ended
// with TerminateProcess at points spread over the whole run, on a fresh machine and over an installation.
// Whatever the interruption leaves, the next run completes, the product works, its log lists every file,
// and the uninstaller removes everything but the shared data. What each point left is printed as a table.
#include "FaultSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <utility>
#include <memory>

namespace {

constexpr long kPoints = 10;  // interruption points per case

// The version of the installed program from its version resource, "a.b.c.d"; empty when it has none.
std::string FileVersion(const std::string& path)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0)
        return std::string();
    std::vector<char> data(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info)
        return std::string();
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." + std::to_string(LOWORD(info->dwFileVersionMS)) +
           "." + std::to_string(HIWORD(info->dwFileVersionLS)) + "." + std::to_string(LOWORD(info->dwFileVersionLS));
}

// One line of the table: what the interrupted run left compared with the machine before it.
std::string Summary(const MachineSnapshot& before, const MachineSnapshot& after, const FaultRoots& roots)
{
    int added = 0, removed = 0, changed = 0, keys = 0;
    std::string temporary;
    for (const std::string& name : TemporaryItems(after)) {
        if (before.items.count(name))
            continue;
        const std::string where = name.compare(name.find(' ') + 1, roots.temp.size(), roots.temp) == 0
                                      ? "temp"
                                      : name.substr(name.find(' ') + 1 + roots.root.size() + 1);
        temporary += (temporary.empty() ? "" : ", ") + name.substr(0, name.find(' ')) + " " +
                     (where == "temp" ? "Temp\\" + name.substr(name.rfind('\\') + 1) : where);
    }
    for (const auto& item : after.items) {
        const auto found = before.items.find(item.first);
        const bool key = item.first.compare(0, 4, "key ") == 0 || item.first.compare(0, 6, "value ") == 0;
        if (found == before.items.end())
            (key ? keys : added) += 1;
        else if (found->second != item.second)
            (key ? keys : changed) += 1;
    }
    for (const auto& item : before.items) {
        if (!after.items.count(item.first))
            (item.first.compare(0, 4, "key ") == 0 || item.first.compare(0, 6, "value ") == 0 ? keys : removed) += 1;
    }
    char line[512];
    std::snprintf(line, sizeof line, "added %d, removed %d, changed %d, registry items %d; temporary: %s", added,
                  removed, changed, keys, temporary.empty() ? "none" : temporary.c_str());
    return line;
}

class InterruptedInstallation : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        m_roots = std::make_unique<FaultRoots>(FreshFolder("interrupted"));
        UseTemporaryFolder(m_roots->temp);
        RemoveRegistrations();
        m_files = DemoFiles(*m_roots);
        m_archive = BuildArchive(m_files);
        m_archivePath = FreshFolder("interrupted-payload") + "\\payload.bin";
        ASSERT_TRUE(WriteFileBytes(m_archivePath, m_archive));
    }
    void TearDown() override
    {
        RemoveRegistrations();
        RemoveTree(m_roots->root);
        RemoveTree(TestRoot() + "\\interrupted-payload");
        RemoveTree(TestRoot() + "\\interrupted-installed");
    }
    // The machine of one point: empty, or with the product installed and used. The installation is made
    // once and then copied with its keys.
    void Prepare(bool update)
    {
        RemoveRegistrations();
        RemoveTree(m_roots->root);
        CreateDirectoryA(m_roots->root.c_str(), nullptr);
        UseTemporaryFolder(m_roots->temp);
        if (!update)
            return;
        if (!m_installed.Saved()) {
            const InstallResult first = RunInstall(*m_roots, m_archive);
            ASSERT_TRUE(first.ok) << first.log;
            ASSERT_TRUE(WriteFileBytes(m_roots->shared + "\\shared.dat", "the users' own settings"));
            m_installed.Save(*m_roots, FreshFolder("interrupted-installed"));
            return;
        }
        m_installed.Put(*m_roots);
    }

    SavedMachine m_installed;  // the scratch root with the product installed and used

    std::unique_ptr<FaultRoots> m_roots;
    std::vector<TestFile> m_files;
    std::string m_archive;
    std::string m_archivePath;
};

TEST_P(InterruptedInstallation, TheNextRunConvergesFromEveryPoint)
{
    const bool update = GetParam();
    ASSERT_NO_FATAL_FAILURE(Prepare(false));
    const MachineSnapshot empty = MachineSnapshot::Take(m_roots->root);
    // A whole run first: how many points it has.
    ASSERT_NO_FATAL_FAILURE(Prepare(update));
    const DWORD total = RunInstallChild(*m_roots, m_archivePath, 0);
    ASSERT_LT(total, 1000000u) << "the child's run failed";
    ASSERT_GT(total, static_cast<DWORD>(kPoints));
    std::printf("%s: %lu points\n", update ? "update" : "fresh", static_cast<unsigned long>(total));

    const std::string shared = m_roots->root + "\\Common";
    for (long k = 0; k < kPoints; ++k) {
        const long point = 1 + k * (static_cast<long>(total) - 1) / (kPoints - 1);
        SCOPED_TRACE("point " + std::to_string(point) + " of " + std::to_string(total));
        ASSERT_NO_FATAL_FAILURE(Prepare(update));
        const MachineSnapshot before = MachineSnapshot::Take(m_roots->root);
        ASSERT_EQ(RunInstallChild(*m_roots, m_archivePath, point), static_cast<DWORD>(STILL_ACTIVE));
        const MachineSnapshot left = MachineSnapshot::Take(m_roots->root);
        const std::string childLog = ReadFileBytes(m_archivePath + ".log");
        std::string step = childLog.substr(childLog.rfind('\n', childLog.size() - 2) + 1);
        if (step.compare(0, 13, "Copying File ") == 0)
            step = "Copying " + step.substr(step.rfind('\\') + 1);
        if (update) {
            // Nothing of the installation is missing: every file is the old one or the complete new one (the
            // same bytes here), whatever its attributes.
            EXPECT_EQ(ReadFileBytes(m_roots->shared + "\\shared.dat"), "the users' own settings");
            for (const auto& item : before.Only(m_roots->install).items) {
                if (item.first.compare(0, 5, "file ") != 0 || item.first == "file " + m_roots->Log())
                    continue;
                const auto found = left.items.find(item.first);
                if (found == left.items.end()) {
                    ADD_FAILURE() << item.first << " is gone";
                    continue;
                }
                EXPECT_EQ(found->second.substr(0, found->second.rfind(',')),
                          item.second.substr(0, item.second.rfind(',')))
                    << item.first;
            }
        }

        const InstallResult again = RunInstall(*m_roots, m_archive);
        ASSERT_TRUE(again.ok) << again.log;
        EXPECT_EQ(again.log.find("Failed"), std::string::npos) << again.log;
        EXPECT_EQ(FileVersion(m_roots->install + "\\Plankora.exe"), "5.23.9.1");
        CUninstallLog log;
        log.Load(m_roots->Log().c_str(), "Sarventa 5.23i");
        for (TestFile file : m_files) {
            if (file.path.compare(0, 13, "<InstallPath>") == 0)
                file.path = m_roots->install + file.path.substr(13);
            bool listed = false;
            for (const LOG_RECORD* r = log.GetOldFirst(); r; r = r->pNext)
                listed = listed || (r->nKind == LR_FILE && r->bDone && r->strPath == file.path);
            EXPECT_TRUE(listed) << file.path;
        }
        // A temporary file of the extractor left in a folder that the log lists keeps that folder: the
        // uninstaller reports it (exit code 1).
        const std::vector<std::string> temporary = TemporaryItems(left);
        bool blocked = false;
        for (const std::string& name : temporary)
            blocked = blocked || (update && name.find(m_roots->temp) == std::string::npos);
        EXPECT_EQ(RunUninstaller(*m_roots), blocked ? 1u : 0u);

        // What stays after the uninstaller, shared data aside: folders that the interrupted run made and no
        // log lists, and the interrupted run's temporary files. Nothing else.
        MachineSnapshot end = MachineSnapshot::Take(m_roots->root).Without(shared);
        int folders = 0, files = 0;
        for (auto item = end.items.begin(); item != end.items.end();) {
            const bool leftover = empty.items.count(item->first) == 0 &&
                                  (item->first.compare(0, 7, "folder ") == 0 ||
                                   std::find(temporary.begin(), temporary.end(), item->first) != temporary.end());
            if (leftover)
                (item->first.compare(0, 7, "folder ") == 0 ? folders : files) += 1;
            item = leftover ? end.items.erase(item) : std::next(item);
        }
        EXPECT_TRUE(SameMachine(empty.Without(shared), end));
        if (update) {
            EXPECT_EQ(ReadFileBytes(m_roots->shared + "\\shared.dat"), "the users' own settings");
        }
        std::printf("| %s | %ld | %s | %s | %d folders, %d temporary items |\n", update ? "update" : "fresh", point,
                    step.substr(0, step.find_last_not_of("\r\n") + 1).c_str(), Summary(before, left, *m_roots).c_str(),
                    folders, files);
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, InterruptedInstallation, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Update" : "Fresh");
                         });

}  // namespace
