// Every intercepted system call of an installation, an update and an uninstallation made to fail in turn
// (Injection.h), one run per call, each on the same scratch machine. After each run: nothing that existed
// before is missing or other than before or than after a run without the fault; a failed extraction leaves
// the machine as it was apart from "qu" temporary items; the failure shows. Then the run without the fault
// succeeds and the uninstaller takes the machine back to where it was before the first installation.
//
// QU_INJECT_ALL=1 runs every call of every scenario; otherwise the uninstallation runs every call and the
// others a sample of kSample calls chosen by QU_INJECT_SEED (default: the day's date), printed in the log.
#include "FaultSupport.h"
#include "Injection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <map>
#include <memory>
#include <random>

namespace {

constexpr long kSample = 30;

enum class Scenario { Fresh, Update, Uninstall, UpdateUndo };

const char* ScenarioName(Scenario s)
{
    return s == Scenario::Fresh ? "Fresh" : s == Scenario::Update ? "Update" : s == Scenario::Uninstall ? "Uninstall"
                                                                                                       : "UpdateUndo";
}

// Whether the item name has a "qu*.tmp" component: a temporary item of the extractor or of the log (its
// private backup folder and what it holds, the payload copy).
bool IsTemporary(const std::string& name)
{
    for (size_t end = name.size(); end != std::string::npos && end > 0;) {
        const size_t slash = name.rfind('\\', end - 1);
        if (slash == std::string::npos)
            break;
        const std::string part = name.substr(slash + 1, end - slash - 1);
        if (part.size() > 6 && (part[0] | 0x20) == 'q' && (part[1] | 0x20) == 'u' &&
            lstrcmpiA(part.c_str() + part.size() - 4, ".tmp") == 0)
            return true;
        end = slash;
    }
    return false;
}

// A scenario run at every call (function null), or at one named call: the rank-th call of function within
// the scenario's calls (counted from the end when negative), a defect that the runs found.
struct Case {
    Scenario scenario;
    const char* name;
    const char* function;
    int rank;
};

const Case kScenarios[] = {{Scenario::Fresh, "Fresh", nullptr, 0},
                           {Scenario::Update, "Update", nullptr, 0},
                           {Scenario::Uninstall, "Uninstall", nullptr, 0},
                           {Scenario::UpdateUndo, "UpdateUndo", nullptr, 0}};

const Case kRegressions[] = {
    // The undo deleted this run's file before moving the backup back: a failing move left no file there.
    {Scenario::UpdateUndo, "UndoCannotMoveBackupBack", "MoveFileExA", -1},
    // The undo cleared the backup's attributes and set them again after the move: a failure of either left
    // the read-only program writable.
    {Scenario::UpdateUndo, "UndoCannotReadAttributes", "GetFileAttributesA", -1},
    {Scenario::UpdateUndo, "UndoCannotSetAttributes", "SetFileAttributesA", -1},
};

// The registration run of a fault-free run in this process, as the installer's sequence meets it: whether
// its process started (the error when not) and the exit code the sequence read. The sequence is linked into
// this program, so its calls go through this program's import table.
struct RegistrationRun {
    bool recording = false;
    int starts = 0;
    DWORD error = 0, exitCode = 0;
    decltype(&::CreateProcessA) createProcess = nullptr;
    decltype(&::GetExitCodeProcess) getExitCode = nullptr;

    std::string Describe() const
    {
        if (starts == 0)
            return "no registration run";
        if (error)
            return "the registration run did not start, error " + std::to_string(error);
        return "the registration run ended with exit code " + std::to_string(static_cast<int>(exitCode));
    }
    // Not started although the program is there, or an end that is neither of the program's own answers (-10
    // done, 1 failed).
    bool Abnormal() const
    {
        return starts == 1 && (error ? error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND
                                     : exitCode != 0xFFFFFFF6 && exitCode != 1);
    }
} g_registration;

BOOL WINAPI RecordedCreateProcess(LPCSTR application, LPSTR command, LPSECURITY_ATTRIBUTES process,
                                  LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                                  LPCSTR folder, LPSTARTUPINFOA startup, LPPROCESS_INFORMATION info)
{
    const BOOL started = g_registration.createProcess(application, command, process, thread, inherit, flags,
                                                      environment, folder, startup, info);
    const DWORD error = started ? 0 : GetLastError();
    if (g_registration.recording && command && std::strstr(command, " /Register /Background")) {
        ++g_registration.starts;
        g_registration.error = error;
        g_registration.exitCode = 0;
    }
    SetLastError(error);
    return started;
}

BOOL WINAPI RecordedGetExitCode(HANDLE process, LPDWORD code)
{
    const BOOL read = g_registration.getExitCode(process, code);
    if (g_registration.recording && read && code)
        g_registration.exitCode = *code;
    return read;
}

// Records the registration runs of the fault-free runs made while it lives.
class RecordRegistration {
public:
    RecordRegistration()
    {
        if (!g_registration.createProcess) {
            g_registration.createProcess = reinterpret_cast<decltype(&::CreateProcessA)>(
                ReplaceImport("CreateProcessA", reinterpret_cast<void*>(&RecordedCreateProcess)));
            g_registration.getExitCode = reinterpret_cast<decltype(&::GetExitCodeProcess)>(
                ReplaceImport("GetExitCodeProcess", reinterpret_cast<void*>(&RecordedGetExitCode)));
        }
        g_registration.starts = 0;
        g_registration.recording = g_registration.createProcess && g_registration.getExitCode;
    }
    ~RecordRegistration() { g_registration.recording = false; }
    RecordRegistration(const RecordRegistration&) = delete;
    RecordRegistration& operator=(const RecordRegistration&) = delete;
};

struct Outcome {
    DWORD code = 0;  // the uninstaller's exit code
    bool ok = false;
    int kind = 0;
    std::string status, log;
};

class InjectedRuns : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        m_roots = std::make_unique<FaultRoots>(FreshFolder("injection"));
        UseTemporaryFolder(m_roots->temp);
        RemoveRegistrations();
        m_files = DemoFiles(*m_roots);
        m_archive = BuildArchive(m_files);
        m_archivePath = FreshFolder("injection-payload") + "\\payload.bin";
        ASSERT_TRUE(WriteFileBytes(m_archivePath, m_archive));
        m_first = MachineSnapshot::Take(m_roots->root);
        if (GetParam().scenario == Scenario::Fresh)
            return;
        // An installation that the user has used: changed shared data, a program replaced by another build
        // and read-only; the uninstaller scenario's uninstaller is the build that counts its calls.
        const InstallResult first = RunInstall(R(), m_archive);
        ASSERT_TRUE(first.ok) << first.log;
        ASSERT_TRUE(WriteFileBytes(R().shared + "\\shared.dat", "the users' own settings"));
        const std::string program = R().install + "\\Plankora.exe", uninstaller = R().install + "\\Uninstall.exe";
        SetFileAttributesA(program.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(WriteFileBytes(program, ReadFileBytes(program) + "another build"));
        SetFileAttributesA(program.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
        if (GetParam().scenario == Scenario::Uninstall) {
            SetFileAttributesA(uninstaller.c_str(), FILE_ATTRIBUTE_NORMAL);
            ASSERT_TRUE(CopyFileA(QU_UNINSTALL_INJECT, uninstaller.c_str(), FALSE));
            SetFileAttributesA(uninstaller.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
        }
        m_installed.Save(R(), FreshFolder("injection-installed"));
    }
    void TearDown() override
    {
        m_control.Stop();
        RemoveRegistrations();
        RemoveTree(m_roots->root);
        RemoveTree(TestRoot() + "\\injection-payload");
        RemoveTree(TestRoot() + "\\injection-installed");
    }
    const FaultRoots& R() const { return *m_roots; }
    bool Installs() const { return GetParam().scenario != Scenario::Uninstall; }

    void Prepare()
    {
        if (m_installed.Saved()) {
            m_installed.Put(R());
        } else {
            RemoveRegistrations();
            RemoveTree(R().root);
            CreateDirectoryA(R().root.c_str(), nullptr);
        }
        UseTemporaryFolder(R().temp);
    }

    // One run of the installer's sequence in install-child.exe, or of the installed uninstaller, with the
    // calls at the given positions failing (0: none).
    Outcome Run(long failAt, long alsoFailAt = 0)
    {
        Outcome outcome;
        m_control.Prepare(failAt, alsoFailAt, !Installs());
        if (Installs()) {
            const DWORD code = RunInstallChild(R(), m_archivePath, 0);
            const std::string result = ReadFileBytes(m_archivePath + ".result");
            DeleteFileA((m_archivePath + ".result").c_str());
            outcome.ok = code < 1000000;
            const size_t first = result.find('\n'), second = result.find('\n', first + 1);
            if (second != std::string::npos) {
                outcome.kind = std::atoi(result.c_str());
                outcome.status = result.substr(first + 1, second - first - 1);
                outcome.log = result.substr(second + 1);
            } else {
                ADD_FAILURE() << "install-child.exe wrote no result, exit code " << code;
            }
        } else {
            outcome.code = RunUninstaller(R());
            outcome.ok = outcome.code == 0;
        }
        m_control.Stop();
        return outcome;
    }

    // The fault taken away: the installer runs to its end, the uninstaller then leaves the machine as before
    // the first installation, apart from what the faulty run left that no log knows.
    void Converge(const MachineSnapshot& left)
    {
        if (!Installs() && FileExists(R().install + "\\Uninstall.exe") && FileExists(R().Log())) {
            EXPECT_EQ(RunUninstaller(R()), 0u);
        }
        InstallResult again;
        std::string registration;
        {
            RecordRegistration record;
            again = RunInstall(R(), m_archive);
            ASSERT_TRUE(again.ok) << again.log;
            // Under Wine on a busy machine a process start fails now and then. When the registration run is the
            // only failure, the uninstall key's two required values are written, and its process did not start
            // although the program is there, or ended without either of the program's own answers, that is
            // named in the output and the run made once more, which must succeed in full.
            const size_t failed = again.log.find("Failed");
            if (failed != std::string::npos && again.log.find("Failed", failed + 1) == std::string::npos &&
                again.log.rfind("Registry Data Writing", failed) == again.log.rfind('\n', failed) + 1 &&
                g_registration.Abnormal() &&
                !GetString(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH, "DisplayName").empty() &&
                !GetString(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH, "UninstallString").empty()) {
                std::printf("Converge: %s; once more\n", g_registration.Describe().c_str());
                again = RunInstall(R(), m_archive);
                ASSERT_TRUE(again.ok) << again.log;
            }
            registration = g_registration.Describe();
        }
        EXPECT_EQ(again.log.find("Failed"), std::string::npos)
            << registration << RegistrationState() << "\n" << again.log;
        EXPECT_EQ(registration, "the registration run ended with exit code -10");
        const DWORD uninstalled = RunUninstaller(R());
        const std::string shared = R().root + "\\Common";
        MachineSnapshot end = MachineSnapshot::Take(R().root).Without(shared);
        for (auto item = end.items.begin(); item != end.items.end();) {
            const bool leftover = !m_first.items.count(item->first) &&
                                  (item->first.compare(0, 7, "folder ") == 0 ||
                                   (IsTemporary(item->first) && left.items.count(item->first)));
            item = leftover ? end.items.erase(item) : std::next(item);
        }
        // The uninstaller's exit code tells a step it reports as failed (1) from a change made after it (0).
        EXPECT_TRUE(SameMachine(m_first.Without(shared), end)) << "the uninstaller's exit code " << uninstalled;
        if (m_installed.Saved()) {
            EXPECT_EQ(ReadFileBytes(R().shared + "\\shared.dat"), "the users' own settings");
        }
    }

    // What the registry step left, and what a second registration run returns: which part of the step failed.
    std::string RegistrationState() const
    {
        std::string state = "\nDisplayName \"" + GetString(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH, "DisplayName") +
                            "\", UninstallString \"" +
                            GetString(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH, "UninstallString") + "\", .plk \"" +
                            GetString(HKEY_CLASSES_ROOT, ".plk", nullptr) + "\", open command \"" +
                            GetString(HKEY_CLASSES_ROOT, "Plankora.Document\\shell\\open\\command", nullptr) + "\"";
        const std::string program = R().install + "\\Plankora.exe";
        std::string command = "\"" + program + "\" /Register /Background";
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        DWORD code = 0xFFFFFFFF;
        if (CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            KernelHandle process(pi.hProcess), thread(pi.hThread);
            WaitForSingleObject(process.Get(), 60000);
            GetExitCodeProcess(process.Get(), &code);
        }
        return state + "; registration run again: exit code " + std::to_string(static_cast<int>(code));
    }

    // Every item that existed before the faulty run is as before it or as wanted (after the run without the
    // fault, or as before for a failed extraction); only a run that completed adds anything but temporary
    // items. Returns the number of temporary items it left.
    int CheckOldOrNew(const MachineSnapshot& before, const MachineSnapshot& after, const MachineSnapshot& wanted,
                      const Outcome& outcome)
    {
        int temporary = 0;
        std::map<std::string, int> all;
        for (const auto* s : {&before, &after, &wanted})
            for (const auto& item : s->items)
                all[item.first];
        for (const auto& entry : all) {
            const std::string& name = entry.first;
            auto value = [&name](const MachineSnapshot& s) {
                const auto found = s.items.find(name);
                return found == s.items.end() ? std::string("missing") : found->second;
            };
            const std::string was = value(before), is = value(after), good = value(wanted);
            if (was == "missing" && IsTemporary(name)) {
                temporary += is != "missing";
                continue;
            }
            // A link file's bytes change with every save (the times of its target): its "link" item is compared.
            if (is == was || is == good || (was == "missing" && outcome.ok) ||
                (name.compare(0, 5, "file ") == 0 && EndsWithNoCase(name, ".lnk") && is != "missing" &&
                 (was != "missing" || outcome.ok)))
                continue;
            if (Excused(name, was, is, good, after, outcome))
                continue;
            ADD_FAILURE() << name << ": before " << was << "; after " << is << "; wanted " << good;
        }
        return temporary;
    }

    // The documented ways in which an item that existed goes or changes although the run did not complete it.
    bool Excused(const std::string& name, const std::string& was, const std::string& is, const std::string& good,
                 const MachineSnapshot& after, const Outcome& outcome) const
    {
        // A link that the previous installation made is moved away before its new one is made: when that fails,
        // the previous link is gone with the backups that a completed run discards.
        if (is == "missing" && outcome.ok && Installs() && EndsWithNoCase(name, ".lnk") &&
            outcome.log.find("Shortcuts Creation...Failed") != std::string::npos)
            return true;
        // A completed run writes its own log; the read-only protection of the programs it wrote is not reported.
        const auto content = [](const std::string& text) { return text.substr(0, text.rfind(", attributes")); };
        if (outcome.ok && Installs() &&
            (EndsWithNoCase(name, "\\Uninstall.ulog") ||
             (EndsWithNoCase(name, ".exe") && content(is) == content(good))))
            return true;
        // The uninstaller that could not hand over to its copy, or the folders that held it: they go at the next
        // restart, or after the exit code was given.
        const std::string path = name.substr(name.find(' ') + 1);
        if (!Installs() && ((R().install + "\\").compare(0, path.size() + 1, path + "\\") == 0 ||
                            path == R().install + "\\Uninstall.exe"))
            return true;
        // An old file whose backup could not be put back after a failed run: the backup stays, in the folder that
        // the status names.
        for (const auto& item : after.items) {
            const std::string folder = item.first.substr(5, item.first.rfind('\\') - 5);
            if (is == "missing" && !outcome.ok && Installs() && IsTemporary(item.first) && item.second == was &&
                outcome.status.find(folder) != std::string::npos)
                return true;
        }
        return false;
    }

    // The positions to run: every call, or a sample fixed by the seed.
    std::vector<long> Positions(long total, long from = 1)
    {
        std::vector<long> all;
        for (long i = from; i <= total; ++i)
            all.push_back(i);
        const char* every = std::getenv("QU_INJECT_ALL");
        if ((every && every[0] == '1') || GetParam().scenario == Scenario::Uninstall ||
            static_cast<long>(all.size()) <= kSample)
            return all;
        const char* seedText = std::getenv("QU_INJECT_SEED");
        const std::time_t now = std::time(nullptr);
        const std::tm* day = std::gmtime(&now);
        const unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10))
                                       : static_cast<unsigned>((day->tm_year + 1900) * 10000 + (day->tm_mon + 1) * 100 +
                                                               day->tm_mday);
        std::printf("%s: sample of %ld of %zu calls, QU_INJECT_SEED=%u (QU_INJECT_ALL=1 runs them all)\n",
                    ScenarioName(GetParam().scenario), kSample, all.size(), seed);
        std::mt19937 random(seed);
        std::shuffle(all.begin(), all.end(), random);
        all.resize(kSample);
        std::sort(all.begin(), all.end());
        return all;
    }

    std::unique_ptr<FaultRoots> m_roots;
    std::vector<TestFile> m_files;
    std::string m_archive, m_archivePath;
    MachineSnapshot m_first;  // before the first installation
    SavedMachine m_installed;
    InjectionControl m_control;
};

TEST_P(InjectedRuns, NothingIsLostAtAnyCall)
{
    const Scenario scenario = GetParam().scenario;
    const auto start = std::chrono::steady_clock::now();
    // The run without a fault: how many calls it makes, and the machine it leaves.
    Prepare();
    const MachineSnapshot before = MachineSnapshot::Take(R().root);
    const Outcome counted = Run(0);
    ASSERT_TRUE(counted.ok) << counted.log;
    const long total = m_control.Calls();
    ASSERT_GT(total, 10);
    ASSERT_LT(total, InjectionRecord::kMaxCalls);
    const MachineSnapshot good = MachineSnapshot::Take(R().root);
    std::vector<std::string> trace;
    for (long i = 1; i <= total; ++i)
        trace.push_back(m_control.FunctionAt(i));

    // The undo scenario: the first failure is the extraction's last write, then each call of the undo fails.
    long first = 0, from = 1, undoTotal = total;
    if (scenario == Scenario::UpdateUndo) {
        const long links = static_cast<long>(std::find(trace.begin(), trace.end(), "CoCreateInstance") - trace.begin());
        for (long i = 1; i <= links; ++i)
            first = trace[i - 1] == "WriteFile" ? i : first;
        ASSERT_GT(first, 0);
        Prepare();
        const Outcome failed = Run(first);
        ASSERT_FALSE(failed.ok);
        undoTotal = m_control.Calls();
        from = first + 1;
        for (long i = total + 1; i <= undoTotal; ++i)
            trace.push_back("");
        for (long i = from; i <= undoTotal; ++i)
            trace[i - 1] = m_control.FunctionAt(i);
        std::printf("UpdateUndo: first failure at %s, %ld calls of the undo\n", m_control.Describe(first).c_str(),
                    undoTotal - first);
    }
    std::vector<long> positions = Positions(undoTotal, from);
    if (const char* function = GetParam().function) {
        std::vector<long> calls;
        for (long i = from; i <= undoTotal; ++i) {
            if (trace[i - 1] == function)
                calls.push_back(i);
        }
        const int rank = GetParam().rank;
        ASSERT_GE(static_cast<int>(calls.size()), rank < 0 ? -rank : rank) << function;
        positions = {calls[rank < 0 ? calls.size() + rank : rank - 1]};
    }
    std::printf("%s: N = %ld calls (%ld runs)\n", ScenarioName(scenario), undoTotal - from + 1,
                static_cast<long>(positions.size()));
    std::map<std::string, std::string> effects;  // function: what failing it did
    for (const long i : positions) {
        Prepare();
        const Outcome outcome = Run(first ? first : i, first ? i : 0);
        const std::string failed = m_control.Failed();
        SCOPED_TRACE(std::string(ScenarioName(scenario)) + ": " + failed + " of " + std::to_string(total));
        const MachineSnapshot after = MachineSnapshot::Take(R().root);
        if (scenario != Scenario::Fresh) {
            EXPECT_EQ(ReadFileBytes(R().shared + "\\shared.dat"), "the users' own settings");
        }
        const int temporary = CheckOldOrNew(before, after, outcome.ok || !Installs() ? good : before, outcome);
        std::string effect;
        if (Installs() && !outcome.ok) {
            // A failed extraction: the machine as before, the failure in the status line.
            EXPECT_NE(outcome.kind, 0);
            EXPECT_NE(outcome.status.find("Installation failed"), std::string::npos) << outcome.status;
            effect = "extraction failed (" + outcome.status + ")";
        } else if (Installs()) {
            std::string failedLines;
            for (size_t end = outcome.log.find("Failed\r\n"); end != std::string::npos;
                 end = outcome.log.find("Failed\r\n", end + 1))
                failedLines += outcome.log.substr(outcome.log.rfind('\n', end) + 1,
                                                  end - outcome.log.rfind('\n', end) - 1);
            effect = failedLines.empty() ? "completed, nothing shown" : "completed, " + failedLines + "Failed";
        } else {
            // The uninstaller: a run that left anything of the installation behind says so.
            if (outcome.code == 0) {
                Outcome strict = outcome;
                strict.ok = false;
                CheckOldOrNew(good, after, good, strict);
            }
            effect = "exit code " + std::to_string(outcome.code);
        }
        if (temporary)
            effect += ", " + std::to_string(temporary) + " temporary items left";
        std::printf("%s: %s\n", failed.c_str(), effect.c_str());
        const std::string function = failed.substr(0, failed.find(' '));
        if (effects[function].find(effect) == std::string::npos)
            effects[function] += (effects[function].empty() ? "" : "; ") + effect;
        Converge(after);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %zu runs in %.0f s (%.2f s a run)\n", ScenarioName(scenario), positions.size(), seconds,
                seconds / static_cast<double>(positions.size() + 1));
    for (const auto& e : effects)
        std::printf("| %s | %s | %s |\n", ScenarioName(scenario), e.first.c_str(), e.second.c_str());
}

const auto kCaseName = [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); };
INSTANTIATE_TEST_SUITE_P(Scenarios, InjectedRuns, ::testing::ValuesIn(kScenarios), kCaseName);
INSTANTIATE_TEST_SUITE_P(Regressions, InjectedRuns, ::testing::ValuesIn(kRegressions), kCaseName);

}  // namespace
