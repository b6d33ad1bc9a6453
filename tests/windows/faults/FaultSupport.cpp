#include "FaultSupport.h"

#include <algorithm>

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
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!job || !CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                roots.install.c_str(), &si, &pi))
        return 0xFFFFFFFF;
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
    // The copy in its folder "Uninstall-*" of the temporary folder waits for the next restart.
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((roots.temp + "\\Uninstall-*").c_str(), &data));
    if (find) {
        do
            RemoveTree(roots.temp + "\\" + data.cFileName);
        while (FindNextFileA(find.Get(), &data));
    }
    // The deletions the uninstaller scheduled for the next restart, of files below the scratch root.
    TakePendingRenames([&roots](const std::string& source) {
        std::string a = source, b = roots.root;
        CharUpperBuffA(&a[0], static_cast<DWORD>(a.size()));
        CharUpperBuffA(&b[0], static_cast<DWORD>(b.size()));
        return a.find(b) != std::string::npos;
    });
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
