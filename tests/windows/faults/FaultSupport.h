// Helpers of the fault tests: installing, uninstalling and ending processes on the scratch roots.
#pragma once

#include "FaultInstall.h"
#include "Handles.h"
#include "MachineSnapshot.h"

#include <string>
#include <vector>

// One run of the install sequence in process with a fresh installation context (the installer mutex is
// released again when it returns).
struct InstallResult {
    bool ok = false;
    int failureKind = 0;
    std::string log;
    std::string status;
};
InstallResult RunInstall(const FaultRoots& roots, const std::string& archive, const std::string& startMenu = "");

// The installed uninstaller run silently inside a job object until every process of the job has ended; its
// copy in the temporary folder and the deletions it scheduled for the next restart are cleared after it.
DWORD RunUninstaller(const FaultRoots& roots);

// Runs install-child.exe on the archive file until it reaches point stop (0: to its end); returns its exit
// code, or STILL_ACTIVE once it has been ended at the point.
DWORD RunInstallChild(const FaultRoots& roots, const std::string& archivePath, long stop);

// An installation made once and put back before each run: a copy of the scratch root (attributes included)
// and of the product's keys.
class SavedMachine {
public:
    bool Saved() const { return !m_copy.empty(); }
    void Save(const FaultRoots& roots, const std::string& copy);
    void Put(const FaultRoots& roots) const;

private:
    std::string m_copy;
    std::vector<std::pair<std::string, KeySnapshot>> m_keys;
};

// Removes the product's uninstall key and the .plk document type.
void RemoveRegistrations();


// Items whose name is one of the "qu" temporary names (the extractor's files, backups, the private folder,
// the payload copy).
std::vector<std::string> TemporaryItems(const MachineSnapshot& snapshot);

// A folder that nobody may change, nor any file in it (the file system's immutable flag, which binds root
// too), for as long as this lives.
class ImmutableFolder {
public:
    explicit ImmutableFolder(const std::string& path);
    ~ImmutableFolder();
    ImmutableFolder(const ImmutableFolder&) = delete;
    ImmutableFolder& operator=(const ImmutableFolder&) = delete;

private:
    std::string m_path;
};
