// The demo product installed into a scratch root, by the fault tests and by the child program that the
// interruption tests end abruptly: the folders the installation is pointed at, its archive (the demo's
// manifest with the shared data and samples moved below the root) and the installation context.
#pragma once

#include "InstallApp.h"
#include "InstallTestSupport.h"
#include "StartupRules.h"
#include "TestSupport.h"

#include <windows.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct FaultRoots {
    explicit FaultRoots(const std::string& scratch)
        : root(scratch),
          install(scratch + "\\Programs\\Quillon & Partners\\Sarventa 5"),
          menu(scratch + "\\Menu\\Sarventa 5"),
          shared(scratch + "\\Common\\Quillon & Partners\\Sarventa 5"),
          samples(scratch + "\\Desktop\\Sarventa Examples"),
          temp(scratch + "\\Temp")
    {
    }
    std::string root, install, menu, shared, samples, temp;
    std::string Log() const { return install + "\\Uninstall.ulog"; }
};

// The demo product's files with their kinds, destinations below the roots.
inline std::vector<TestFile> DemoFiles(const FaultRoots& roots)
{
    std::vector<TestFile> files;
    std::ifstream manifest(std::string(QU_DEMO_PRODUCT_DIR) + "/payload.manifest");
    std::string line;
    while (std::getline(manifest, line)) {
        if (line.empty() || line[0] == '#' || line[0] == '\r')
            continue;
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');)
            fields.push_back(field);
        // KIND, STORAGE, DESTINATION, SOURCE and the optional signing mark.
        if (fields.size() != 4 && fields.size() != 5)
            continue;
        std::string destination = fields[2];
        const struct {
            const char* placeholder;
            std::string folder;
        } moved[] = {{"<CommonData>\\Quillon & Partners\\Sarventa 5", roots.shared}, {"<SamplePath>", roots.samples}};
        for (const auto& m : moved) {
            if (destination.compare(0, std::strlen(m.placeholder), m.placeholder) == 0)
                destination = m.folder + destination.substr(std::strlen(m.placeholder));
        }
        std::string source = fields[3];
        if (!source.empty() && source.back() == '\r')
            source.pop_back();
        TestFile file;
        file.path = destination;
        file.content = ReadFileBytes(WinPath(std::string(QU_DEMO_PRODUCT_DIR) + "/" + source));
        file.kind = std::stoi(fields[0]);
        files.push_back(file);
    }
    return files;
}

// The context of a run: the chosen folders, the Start-menu links, and over an installation the previous
// log and status "same version" (start-up finds the key and the log beside the uninstaller).
inline void PrepareApp(CInstallApp& app, const FaultRoots& roots)
{
    app.m_strInstallFolder = roots.install;
    app.m_strStartMenuFolder = roots.menu;
    app.m_bStartMenuShortcut = true;
    app.m_bDesktopShortcut = false;
    app.m_nLanguage = 1;
    const bool installed = KeyExists(HKEY_LOCAL_MACHINE, REGISTRATION_KEY_PATH);
    const bool haveLog = installed && FileExists(roots.Log());
    app.m_uninstallLog.Load(haveLog ? roots.Log().c_str() : nullptr, app.GetProductName(false));
    app.m_nInstallStatus = installed ? INSTALL_STATUS_SAME : INSTALL_STATUS_NONE;
}

// The temporary folder of this process and the programs it starts: the scratch root's.
inline void UseTemporaryFolder(const std::string& folder)
{
    CreateDirectoryA(folder.c_str(), nullptr);
    SetEnvironmentVariableA("TMP", folder.c_str());
    SetEnvironmentVariableA("TEMP", folder.c_str());
}
