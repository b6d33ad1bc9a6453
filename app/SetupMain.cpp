// setup.exe until the wizard exists: start-up with its checks and messages, then the payload unpacked
// into the proposed installation folder without further user interface. Exit code: the start-up result
// (1-5) when start-up stops, else 0 on success or INSTALL_FAILURE_BASE plus the extractor's error kind (an
// error text goes to stderr), so that the two ranges cannot be confused.
#include "InstallApp.h"
#include "PayloadExtractor.h"

#include <cstdio>

namespace {

constexpr int INSTALL_FAILURE_BASE = 10;

class CInterimSetupApp : public CInstallApp {
public:
    bool InitInstance() override
    {
        m_nExitCode = StartUp();
        if (m_nExitCode == STARTUP_DONE)
            m_nExitCode = Install();
        return false;
    }

private:
    int Install()
    {
        std::string error;
        if (!CopyPayloadToTemp(error)) {
            std::fprintf(stderr, "setup: the payload cannot be copied: %s\n", error.c_str());
            return INSTALL_FAILURE_BASE + EXTRACT_ERROR_SYSTEM;
        }
        PayloadExtractor extractor;
        extractor.SetInstallFolder(m_strInstallFolder);
        extractor.SetSamplesFolder("Sarventa Examples");
        const bool ok = extractor.Extract(m_strPayloadFile.c_str());
        DeletePayloadFile();
        if (!ok) {
            std::fprintf(stderr, "setup: extraction failed: %d:%08lX\n", extractor.GetErrorKind(),
                         static_cast<unsigned long>(extractor.GetSystemError()));
            return INSTALL_FAILURE_BASE + extractor.GetErrorKind();
        }
        return 0;
    }
};

CInterimSetupApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) { return AfxWinMain(hInstance); }
