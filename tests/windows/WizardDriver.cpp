// wizard-driver SETUP_EXE: runs setup.exe and walks its wizard's quick path by control ids (Next, Next,
// Install, Next, Exit), printing each page as it is reached and the log box after the run. Exit code: that
// of setup.exe, or 2 when the wizard did not appear or the installation did not complete.
#include "QuickInstall.h"

#include "WindowDriver.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: wizard-driver SETUP_EXE\n");
        return 2;
    }
    const QuickInstallResult run = RunQuickInstallation(argv[1], [](HWND frame, const char* step) {
        std::printf("wizard: %s page, buttons '%s' '%s' '%s'\n", step, GetItemText(frame, 3).c_str(),
                    GetItemText(frame, IDOK).c_str(), GetItemText(frame, IDCANCEL).c_str());
        std::fflush(stdout);
    });
    if (!run.log.empty())
        std::printf("\n== Log box\n%s\n", run.log.c_str());
    std::printf("wizard: %s; setup.exe exit code %lu\n",
                !run.bShown ? "no wizard appeared" : run.bCompleted ? "installation complete" : "installation failed",
                static_cast<unsigned long>(run.exitCode));
    return run.bShown && run.bCompleted ? static_cast<int>(run.exitCode) : 2;
}
