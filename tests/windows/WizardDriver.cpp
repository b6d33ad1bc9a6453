// wizard-driver [OPTIONS] SETUP_EXE: runs setup.exe and walks its wizard by control ids, printing each page
// as it is reached and the log box after the run. Without options it walks the quick path (Next, Next,
// Install, Next, Exit).
//   --language N    choose entry N (from 0) of the language page's list first; a message box is answered OK
//   --advanced      the advanced path: folder and shortcut pages
//   --about         open the About box on the language page
//   --browse        press Browse on the folder page (implies --advanced)
//   --no-install    Exit on the summary instead of installing (the question answered Yes)
//   --shots DIR     write a picture of each page and dialog as DIR\STEP.bmp (language, about, method,
//                   folder, browse, shortcut, summary, log, information)
// Exit code: that of setup.exe, or 2 when the wizard did not appear, the installation did not complete, a
// dialog asked for did not appear or a picture could not be written.
#include "QuickInstall.h"

#include "WindowDriver.h"
#include "WindowPicture.h"
#include "resource.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: wizard-driver [--language N] [--advanced] [--about] [--browse] [--no-install] "
                         "[--shots DIR] SETUP_EXE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    WizardWalk walk;
    std::string shots, setup;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--language") == 0 && i + 1 < argc) {
            char* end = nullptr;
            walk.languageItem = static_cast<int>(std::strtol(argv[++i], &end, 10));
            if (*end || walk.languageItem < 0)
                return Usage();
        } else if (std::strcmp(arg, "--advanced") == 0) {
            walk.bAdvanced = true;
        } else if (std::strcmp(arg, "--about") == 0) {
            walk.bAbout = true;
        } else if (std::strcmp(arg, "--browse") == 0) {
            walk.bAdvanced = walk.bBrowse = true;
        } else if (std::strcmp(arg, "--no-install") == 0) {
            walk.bInstall = false;
        } else if (std::strcmp(arg, "--shots") == 0 && i + 1 < argc) {
            shots = argv[++i];
        } else if (arg[0] == '-' || !setup.empty()) {
            return Usage();
        } else {
            setup = arg;
        }
    }
    if (setup.empty())
        return Usage();

    bool picturesWritten = true;
    const QuickInstallResult run = RunQuickInstallation(
        setup,
        [&](HWND window, const char* step) {
            if (GetWindow(window, GW_OWNER))
                std::printf("wizard: %s dialog '%s'\n", step, GetWindowTextString(window).c_str());
            else
                std::printf("wizard: %s page, buttons '%s' '%s' '%s'\n", step, GetItemText(window, IDC_BACK).c_str(),
                            GetItemText(window, IDOK).c_str(), GetItemText(window, IDCANCEL).c_str());
            if (!shots.empty()) {
                const std::string path = shots + "\\" + step + ".bmp";
                if (!SaveWindowPicture(window, path)) {
                    std::printf("wizard: could not write %s\n", path.c_str());
                    picturesWritten = false;
                }
            }
            std::fflush(stdout);
        },
        walk);
    if (!run.log.empty())
        std::printf("\n== Log box\n%s\n", run.log.c_str());
    const bool done = run.bShown && run.bWalked && (run.bCompleted || !walk.bInstall);
    std::printf("wizard: %s; setup.exe exit code %lu\n",
                !run.bShown              ? "no wizard appeared"
                : !run.bWalked           ? "a dialog asked for did not appear"
                : !walk.bInstall         ? "left before installing"
                : run.bCompleted         ? "installation complete"
                                         : "installation failed",
                static_cast<unsigned long>(run.exitCode));
    return done && picturesWritten ? static_cast<int>(run.exitCode) : 2;
}
