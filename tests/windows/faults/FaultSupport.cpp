#include "FaultSupport.h"

#include <algorithm>
#include <cstdio>

InstallResult RunInstall(const FaultRoots& roots, const std::string& archive, const std::string& startMenu)
{
    CInstallApp app;
    PrepareApp(app, roots);
    if (!startMenu.empty())
        app.m_strStartMenuFolder = startMenu;
    RecordingProgress progress;
    TestSequence sequence(app, progress);
    sequence.m_archive = archive;
    InstallResult result;
    result.ok = sequence.RunInstallSequence();
    result.failureKind = sequence.GetFailureKind();
    result.log = progress.log;
    result.status = progress.status;
    return result;
}

namespace {

// CreateProcessA, once more when Wine could not start the process (ERROR_INTERNAL_ERROR, seen now and then on
// a loaded machine before the program runs at all); any other failure stands.
bool StartProcess(const char* application, std::string& command, DWORD flags, const char* folder,
                  PROCESS_INFORMATION& pi)
{
    for (int attempt = 1;; ++attempt) {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        if (CreateProcessA(application, &command[0], nullptr, nullptr, FALSE, flags, nullptr, folder, &si, &pi))
            return true;
        const DWORD error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == 2)
            return SetLastError(error), false;
        std::printf("%s did not start: error %lu; once more\n", command.c_str(), error);
        Sleep(200);
    }
}

}  // namespace

DWORD RunInstallChild(const FaultRoots& roots, const std::string& archivePath, long stop)
{
    const std::string eventName = "QuFaultChild." + std::to_string(GetCurrentProcessId());
    KernelHandle reached(CreateEventA(nullptr, TRUE, FALSE, eventName.c_str()));
    std::string command = "\"" QU_INSTALL_CHILD "\" \"" + roots.root + "\" \"" + archivePath + "\" " +
                          std::to_string(stop) + " " + eventName;
    PROCESS_INFORMATION pi = {};
    if (!StartProcess(nullptr, command, 0, nullptr, pi)) {
        std::printf("install-child.exe did not start: error %lu\n", GetLastError());
        return 0xFFFFFFFF;
    }
    KernelHandle process(pi.hProcess), thread(pi.hThread);
    const HANDLE waits[] = {reached.Get(), process.Get()};
    const DWORD which = WaitForMultipleObjects(2, waits, FALSE, 120000);
    if (which != WAIT_OBJECT_0 + 1) {
        TerminateProcess(process.Get(), 99);
        WaitForSingleObject(process.Get(), 30000);
        return which == WAIT_OBJECT_0 ? STILL_ACTIVE : 0xFFFFFFFE;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.Get(), &code);
    return code;
}

namespace {

const std::pair<HKEY, const char*> kProductKeys[] = {
    {HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH}, {HKEY_CLASSES_ROOT, ".plk"}, {HKEY_CLASSES_ROOT, "Plankora.Document"}};

// Folders and files with their attributes.
void CopyTree(const std::string& from, const std::string& to)
{
    CreateDirectoryA(to.c_str(), nullptr);
    ForEachInTree(from, [&](const std::string& path, const WIN32_FIND_DATAA& entry) {
        const std::string copy = to + path.substr(from.size());
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CreateDirectoryA(copy.c_str(), nullptr);
        else
            CopyFileA(path.c_str(), copy.c_str(), FALSE);
    });
}

}  // namespace

void SavedMachine::Save(const FaultRoots& roots, const std::string& copy)
{
    m_copy = copy;
    CopyTree(roots.root, m_copy);
    m_keys.clear();
    for (const auto& key : kProductKeys) {
        KeySnapshot snapshot;
        if (KeySnapshot::Take(key.first, key.second, snapshot))
            m_keys.emplace_back(key.second, snapshot);
    }
}

void SavedMachine::Put(const FaultRoots& roots) const
{
    RemoveRegistrations();
    RemoveTree(roots.root);
    CopyTree(m_copy, roots.root);
    for (const auto& key : kProductKeys) {
        for (const auto& saved : m_keys) {
            if (saved.first == key.second)
                saved.second.Put(key.first, key.second);
        }
    }
}

void RemoveRegistrations()
{
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH);
    SHDeleteKeyA(HKEY_CLASSES_ROOT, ".plk");
    SHDeleteKeyA(HKEY_CLASSES_ROOT, "Plankora.Document");
}

DWORD RunUninstaller(const FaultRoots& roots)
{
    const std::string exe = roots.install + "\\Uninstall.exe";
    KernelHandle job(CreateJobObjectA(nullptr, nullptr));
    std::string command = "\"" + exe + "\" /S";
    PROCESS_INFORMATION pi = {};
    if (!job || !StartProcess(exe.c_str(), command, CREATE_SUSPENDED, roots.install.c_str(), pi)) {
        std::printf("Uninstall.exe did not start: error %lu\n", GetLastError());
        return 0xFFFFFFFF;
    }
    KernelHandle process(pi.hProcess), thread(pi.hThread);
    AssignProcessToJobObject(job.Get(), process.Get());
    ResumeThread(thread.Get());
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process.Get(), 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.Get(), &code);
    for (int i = 0; i < 600; ++i) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
        if (!QueryInformationJobObject(job.Get(), JobObjectBasicAccountingInformation, &info, sizeof info, nullptr) ||
            info.ActiveProcesses == 0)
            break;
        Sleep(50);
    }
    // The uninstaller's copy owns the installer mutex until it has removed the original program and ends: on
    // a busy machine it can outlast the wait above (Wine's job count), and what follows needs it finished.
    KernelHandle mutex(OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE,
                                  (std::string("Global\\") + INSTALLER_MUTEX_NAME).c_str()));
    if (mutex) {
        const DWORD wait = WaitForSingleObject(mutex.Get(), 60000);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED)
            ReleaseMutex(mutex.Get());
    }
    // The copy in its folder "Uninstall-*" of the temporary folder waits for the next restart.
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((roots.temp + "\\Uninstall-*").c_str(), &data));
    if (find) {
        do
            RemoveTree(roots.temp + "\\" + data.cFileName);
        while (FindNextFileA(find.Get(), &data));
    }
    // The deletions the uninstaller scheduled for the next restart, of items below the scratch root: taken
    // out of the system's list and made now, in their order, as the restart would.
    std::vector<std::string> scheduled;
    // Below the root only: a folder beside it whose name begins with the root's ("injection" and
    // "injection-installed") is not. The entries name their items as "\??\<path>".
    const std::string below = roots.root + "\\";
    TakePendingRenames([&below, &scheduled](const std::string& source) {
        const std::string path = source.compare(0, 4, "\\??\\") == 0 ? source.substr(4) : source;
        const bool match =
            path.size() > below.size() && lstrcmpiA(path.substr(0, below.size()).c_str(), below.c_str()) == 0;
        if (match)
            scheduled.push_back(path);
        return match;
    });
    for (const std::string& item : scheduled) {
        SetFileAttributesA(item.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileA(item.c_str()))
            RemoveDirectoryA(item.c_str());
    }
    return code;
}

std::vector<std::string> TemporaryItems(const MachineSnapshot& snapshot)
{
    std::vector<std::string> names;
    for (const auto& item : snapshot.items) {
        const std::string& name = item.first;
        const size_t slash = name.rfind('\\');
        if (slash == std::string::npos || name.compare(0, 5, "link ") == 0)
            continue;
        const std::string leaf = name.substr(slash + 1);
        if (leaf.size() > 6 && (leaf[0] == 'q' || leaf[0] == 'Q') && (leaf[1] == 'u' || leaf[1] == 'U') &&
            lstrcmpiA(leaf.c_str() + leaf.size() - 4, ".tmp") == 0)
            names.push_back(name);
    }
    return names;
}

namespace {

// Whether a file can be made in folder now. A Unix program started through Wine runs on its own: its
// effect is awaited rather than its end. A probe that the folder turned immutable under (between its making
// and its deletion) is deleted by the next call once the folder can be changed again.
bool CanWriteIn(const std::string& folder)
{
    const std::string probe = folder + "\\probe.tmp";
    // A probe made just before chattr's change landed could not be deleted then: it goes now.
    DeleteFileA(probe.c_str());
    const HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    DeleteFileA(probe.c_str());
    return true;
}

}  // namespace

ImmutableFolder::ImmutableFolder(const std::string& path) : m_path(path)
{
    RunUnix("Z:\\usr\\bin\\chattr -R +i \"" + UnixPath(path) + "\"");
    for (int k = 0; k < 200 && CanWriteIn(path); ++k)
        Sleep(25);
}

ImmutableFolder::~ImmutableFolder()
{
    RunUnix("Z:\\usr\\bin\\chattr -R -i \"" + UnixPath(m_path) + "\"");
    for (int k = 0; k < 200 && !CanWriteIn(m_path); ++k)
        Sleep(25);
}
